#!/usr/bin/env bash
# Builds everything and runs every test; then builds the unit tests and the
# fuzz targets again under the sanitizers (build/sanitize) and runs those.
set -euo pipefail
project_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$project_dir/scripts/build.sh"
build_dir=${BUILD_DIR:-$project_dir/build}
status=0
rm -f "$build_dir/fault-points.tsv"
ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)" || status=$?
if [[ -s $build_dir/fault-points.tsv ]]; then
  echo "Fault sweep points run (scenario, fault, call, invocation, reached, outcome, invariant):"
  cat "$build_dir/fault-points.tsv"
fi
"$project_dir/scripts/build-sanitize.sh"
ctest --test-dir "$build_dir/sanitize" --output-on-failure -j "$(nproc)" || status=$?
exit "$status"
