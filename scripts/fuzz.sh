#!/usr/bin/env bash
# Fuzzes one target for longer than the test run does, building it first:
#   scripts/fuzz.sh TARGET SECONDS [LIBFUZZER_OPTION...]
# for example `scripts/fuzz.sh property_list 3600 -jobs=2`. TARGET is one of
# tests/fuzz/corpus/*: arguments, version, browser_name, dock_url,
# property_list. The corpus grows across runs in
# build/sanitize/fuzz-long/TARGET/corpus (or under $BUILD_DIR), starting from
# the seeds in tests/fuzz/corpus/TARGET; an input that fails is kept in
# .../findings, and `build/sanitize/tests/fuzz/fuzz_TARGET FILE` runs it again.
set -euo pipefail
project_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
if (($# < 2)) || [[ ! -d $project_dir/tests/fuzz/corpus/$1 ]]; then
  echo "usage: $0 TARGET SECONDS [LIBFUZZER_OPTION...]; targets:" \
    "$(cd "$project_dir/tests/fuzz/corpus" && echo *)" >&2
  exit 2
fi
target=$1 seconds=$2
shift 2
"$project_dir/scripts/build-sanitize.sh" "fuzz_$target"
sanitize_dir=${BUILD_DIR:-$project_dir/build}/sanitize
exec "$project_dir/tests/fuzz/run_fuzzer.sh" "$sanitize_dir/tests/fuzz/fuzz_$target" \
  "$project_dir/tests/fuzz/corpus/$target" "$sanitize_dir/fuzz-long/$target" "$seconds" "$@"
