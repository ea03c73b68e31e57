#!/usr/bin/env bash
# Prints the benchmark table: sizes, pack (pack.exe under Wine and the native pack), start-up,
# install and uninstall times, peak memory. Every figure is min / median / max over
# BENCH_RUNS runs; every ratio is taken within this run on this Wine prefix. Settings:
# BENCH_RUNS (5), BENCH_SIZE_MB (200), BENCH_FILES (2000), BENCH_FOLDERS (20), and
# BENCH_LARGE_MB (1024): the product both packers pack once for their peak resident set.
set -euo pipefail
build=${1:-build}
runs=${BENCH_RUNS:-5}
size_mb=${BENCH_SIZE_MB:-200}
files=${BENCH_FILES:-2000}
folders=${BENCH_FOLDERS:-20}
large_mb=${BENCH_LARGE_MB:-1024}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-session.sh" "$build"
bin="$wine_build_dir/bin"
work="$wine_build_dir/bench"
drive="$WINEPREFIX/drive_c"
results="$work/results.txt"

ms_now() { date +%s%N | cut -c1-13; }
record() { echo "$1 $2" >> "$results"; }
driver() { wine "$bin/bench_driver.exe" "$@" | tr -d '\r'; }
# measure NAME COMMAND...: records NAME_ms, the wall time, and NAME_rss_kib, the largest
# resident set the command reached (GNU time, which starts it from a small process of its
# own, so no parent's pages count).
measure() {
  local name=$1 start; shift
  start=$(ms_now)
  /usr/bin/time -f "%M" -o "$work/peak.txt" "$@" > /dev/null
  record "${name}_ms" $(( $(ms_now) - start ))
  record "${name}_rss_kib" "$(cat "$work/peak.txt")"
}

rm -rf "$work" "$drive/bench"
mkdir -p "$work" "$drive/bench"
: > "$results"

echo "Generating the products ($size_mb MB in $files files, and 1 KB) ..."
python3 "$here/bench/make_product.py" "$work/big" --size-bytes $((size_mb * 1024 * 1024)) \
  --files "$files" --folders "$folders" --name BenchBig
python3 "$here/bench/make_product.py" "$work/small" --size-bytes 1024 --files 2 --folders 1 \
  --name BenchSmall
wine "$bin/pack.exe" "$work/small/product.ini" -o "$work/setup-small.exe" >/dev/null
# The same 600 small files in 300 folders and in 3: how the uninstall's time grows with the
# number of folders it removes.
for shape in deep:300 flat:3; do
  python3 "$here/bench/make_product.py" "$work/${shape%%:*}" --size-bytes $((600 * 1024)) \
    --files 600 --folders "${shape##*:}" --name "Bench${shape%%:*}"
  wine "$bin/pack.exe" "$work/${shape%%:*}/product.ini" -o "$work/setup-${shape%%:*}.exe" >/dev/null
done

record stub_bytes "$(stat -c %s "$bin/setup-stub.exe")"
record uninstaller_bytes "$(stat -c %s "$bin/uninstall.exe")"

for run in $(seq 1 "$runs"); do
  echo "Run $run of $runs ..."
  # Each timed step starts with no dirty pages left over from the one before.
  sync
  measure pack wine "$bin/pack.exe" "$work/big/product.ini" -o "$work/setup-big.exe"
  sync
  # Under the same file name, which the setup's version resource carries.
  mkdir -p "$work/native"
  measure native_pack "$bin/pack" "$work/big/product.ini" -o "$work/native/setup-big.exe"
  cmp -s "$work/setup-big.exe" "$work/native/setup-big.exe" && record same_setup 1 || record same_setup 0
  rm -rf "$work/native"
  rm -rf "$work/copy"; sync
  start=$(ms_now); cp -r "$work/big/files" "$work/copy"
  record cp_ms $(( $(ms_now) - start ))
  rm -rf "$work/copy"; sync

  # One untimed start first: the first Wine process after heavy disk work is slow whatever
  # it starts. Then the two products, in turns first.
  driver startup "$work/setup-small.exe" >/dev/null
  for product in $([ $((run % 2)) -eq 0 ] && echo "small big" || echo "big small"); do
    driver startup "$work/setup-$product.exe" | sed "s/^startup_ms/startup_${product}_ms/" >> "$results"
  done

  # The process's own baseline (Wine's runtime), to tell it apart from what the payload adds.
  driver install "$work/setup-small.exe" "C:\\bench\\small$run" |
    sed -n 's/^peak_working_set/peak_working_set_small/p' >> "$results"
  driver uninstall "C:\\bench\\small$run" >/dev/null
  mkdir -p "$drive/bench"
  sync
  driver install "$work/setup-big.exe" "C:\\bench\\inst$run" >> "$results"
  driver uninstall "C:\\bench\\inst$run" >> "$results"
  rm -rf "$drive/bench/inst$run"
  mkdir -p "$drive/bench"  # the uninstall removed C:\bench once it was empty

  for shape in $([ $((run % 2)) -eq 0 ] && echo "deep flat" || echo "flat deep"); do
    driver install "$work/setup-$shape.exe" "C:\\bench\\$shape$run" >/dev/null
    driver uninstall "C:\\bench\\$shape$run" |
      sed -n "s/^uninstall_ms/uninstall_${shape}_ms/p" >> "$results"
    mkdir -p "$drive/bench"
  done

  driver rawwrite "Z:$(echo "$work/big/files" | tr / '\\')" "C:\\bench\\raw$run" >> "$results"
  driver rawdelete "C:\\bench\\raw$run" >> "$results"
done

# The large product: both packers stream it, so their memory stays flat. Three rounds, in
# turns first, beside cp of the same files.
echo "Generating and packing the large product ($large_mb MB) ..."
python3 "$here/bench/make_product.py" "$work/large" --size-bytes $((large_mb * 1024 * 1024)) \
  --files 64 --folders 4 --name BenchLarge
for round in 1 2 3; do
  for step in $([ $((round % 2)) -eq 0 ] && echo "cp native wine" || echo "native wine cp"); do
    rm -rf "$work/copy" "$work/setup-large.exe"; sync
    case $step in
      native) measure large_native_pack "$bin/pack" "$work/large/product.ini" -o "$work/setup-large.exe" ;;
      wine) measure large_pack wine "$bin/pack.exe" "$work/large/product.ini" -o "$work/setup-large.exe" ;;
      cp) start=$(ms_now); cp -r "$work/large/files" "$work/copy"
          record large_cp_ms $(( $(ms_now) - start )) ;;
    esac
  done
done
rm -rf "$work/copy" "$work/setup-large.exe" "$work/large"

# The uninstaller's temporary copy waits for a restart that never comes here.
wine reg delete 'HKLM\System\CurrentControlSet\Control\Session Manager' \
  /v PendingFileRenameOperations /f >/dev/null 2>&1 || true
rm -rf "$drive/bench"

python3 "$here/bench/report.py" "$results" "$size_mb" "$files" "$large_mb"
