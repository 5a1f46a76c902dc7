#!/usr/bin/env bash
# Builds everything and runs every test; then builds the unit tests and the
# fuzz targets again under the sanitizers (build/sanitize) and runs those.
# A CI log is read from its end: it ends with the output of each test that
# failed, in either build, and their names.
set -euo pipefail
project_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$project_dir/scripts/build.sh"
build_dir=$(realpath -m "${BUILD_DIR:-$project_dir/build}")
cd "$project_dir"  # where ctest finds the presets
status=0
rm -f "$build_dir/fault-points.tsv" "$build_dir"/{,sanitize/}Testing/Temporary/LastTestsFailed.log
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
if "$project_dir/scripts/build-sanitize.sh"; then
  ctest --preset sanitize --test-dir "$build_dir/sanitize" -j "$(nproc)" || status=$?
else
  status=$?
fi

failed=()
for tree in "$build_dir" "$build_dir/sanitize"; do
  list=$tree/Testing/Temporary/LastTestsFailed.log
  [[ -s $list ]] || continue
  while IFS=: read -r _ name; do
    failed+=("$name ($tree)")
    echo "Output of the failed test $name ($tree):"
    awk -v name="$name" '$2 == "Test:" && $3 == name { shown = 1; next }
         shown && /^<end of output>/ { exit }
         shown' "$tree/Testing/Temporary/LastTest.log"
  done <"$list"
done
if ((${#failed[@]})); then
  echo "Failed tests:"
  printf '  %s\n' "${failed[@]}"
fi
exit "$status"
