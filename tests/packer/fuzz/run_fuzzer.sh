#!/usr/bin/env bash
# Runs one fuzz target for a while over its seed corpus: what it finds new goes to a
# scratch corpus (the seeds in the source tree stay as they are), a crash or a leak ends the
# run with exit code 1 and leaves the input that caused it in ARTIFACTS (default: the
# current folder) as crash-..., leak-... or timeout-...; turn it into a test.
# Usage: run_fuzzer.sh FUZZER SEED_FOLDER SECONDS [ARTIFACTS]
set -euo pipefail
fuzzer=$1
seeds=$2
seconds=$3
artifacts=${4:-.}
corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
mkdir -p "$artifacts"
# A reader that takes longer than 10 s on one input, or more than 2 GB, counts as a find.
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$artifacts/$(basename "$fuzzer")-" "$corpus" "$seeds"
