#!/usr/bin/env bash
# Builds everything and runs every test; then builds the unit tests and the
# fuzz targets again under the sanitizers (build/sanitize) and runs those.
set -euo pipefail
project_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$project_dir/scripts/build.sh"
build_dir=${BUILD_DIR:-$project_dir/build}
status=0
ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)" || status=$?
"$project_dir/scripts/build-sanitize.sh"
ctest --test-dir "$build_dir/sanitize" --output-on-failure -j "$(nproc)" || status=$?
exit "$status"
