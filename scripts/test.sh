#!/usr/bin/env bash
# Builds everything and runs every test.
set -euo pipefail
project_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$project_dir/scripts/build.sh"
build_dir=${BUILD_DIR:-$project_dir/build}
ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)"
