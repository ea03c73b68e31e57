# Sourced by the shell tests: a scratch folder in $work, removed when the test ends, and
# `fail MESSAGE`, which ends the test with the message on standard error.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }
