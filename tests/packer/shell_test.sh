# Sourced by the shell tests: a scratch folder in $work, removed when the test ends, and
# `fail MESSAGE`, which ends the test with the message on standard error.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

# `packs_like_the_build PACK BUILD WHAT`: PACK, started from another folder ($work/elsewhere)
# with no Wine on the PATH, packs BUILD's sample into the same bytes as BUILD's own pack
# (under the same file name, which the setup's version resource carries).
packs_like_the_build() {
  local pack=$1 build=$2 what=$3
  mkdir -p "$work/elsewhere" "$work/expected"
  (cd "$work/elsewhere" && env -i PATH=/nonexistent "$pack" \
     "$build/bin/sample/alpha.ini" -o alpha-setup.exe > pack.out 2>&1) ||
    fail "$what: $(cat "$work/elsewhere/pack.out")"
  "$build/bin/pack" "$build/bin/sample/alpha.ini" -o "$work/expected/alpha-setup.exe" > /dev/null
  cmp "$work/elsewhere/alpha-setup.exe" "$work/expected/alpha-setup.exe" ||
    fail "$what packs otherwise"
}
