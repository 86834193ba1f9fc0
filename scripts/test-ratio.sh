#!/usr/bin/env bash
# Counts the non-blank lines of the code (C++ of src/ and tools/) and of its tests (the C++, Python and
# shell files of tests/), and prints their ratio. The team aims for tests of roughly a quarter to a
# third of the code, and at most 0.40.
#
#   scripts/test-ratio.sh [REPO_DIR]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"
count() {  # $1: file endings, then the folders
    local endings=$1
    shift
    git ls-files -co --exclude-standard -- "$@" | grep -E "\.($endings)\$" | xargs -r cat | grep -cvE '^\s*$'
}
code=$(count 'cpp|h' src tools)
tests=$(count 'cpp|h|py|sh' tests)
awk -v c="$code" -v t="$tests" \
    'BEGIN { printf "non-blank lines: code %d, tests %d, ratio %.2f (at most 0.40)\n", c, t, t / c }'
