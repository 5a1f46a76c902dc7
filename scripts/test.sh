#!/usr/bin/env bash
# Builds everything and runs every test; then builds the unit tests and the
# fuzz targets again under the sanitizers (build/sanitize) and runs those.
set -euo pipefail
project_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$project_dir/scripts/build.sh"
build_dir=$(realpath -m "${BUILD_DIR:-$project_dir/build}")
cd "$project_dir"  # where ctest finds the presets
status=0
rm -f "$build_dir/fault-points.tsv"
# Three tests a processor: most end-to-end tests spend their time waiting out
# a launch watch, each in a view of its own, and hardly use a processor.
ctest --preset default --test-dir "$build_dir" -j "$(($(nproc) * 3))" || status=$?
if [[ -s $build_dir/fault-points.tsv ]]; then
  echo "Fault sweep points run (scenario, fault, call, invocation, reached, outcome, invariant):"
  cat "$build_dir/fault-points.tsv"
fi
# What the real-browser lane checked (or why it skipped), which ctest keeps
# only in its log when the tests pass.
if [[ -f $build_dir/Testing/Temporary/LastTest.log ]]; then
  echo "Real browsers:"
  awk '/^[0-9]+\/[0-9]+ Test: browsers\./ { shown = 1; next }
       shown && /^<end of output>/ { shown = 0 }
       shown && NF && !/^(\[|Running main|Note:|-+$|Output:|Command:|Directory:|"browsers)/' \
    "$build_dir/Testing/Temporary/LastTest.log"
fi
"$project_dir/scripts/build-sanitize.sh"
ctest --preset sanitize --test-dir "$build_dir/sanitize" -j "$(nproc)" || status=$?
exit "$status"
