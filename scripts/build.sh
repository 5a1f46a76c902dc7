#!/usr/bin/env bash
# Configures (the preset `default`) and builds the project into build/ (or
# $BUILD_DIR): everything, or only the targets named. QRVX_WARNINGS_AS_ERRORS=ON,
# as CI sets it, fails on any warning.
# Usage: build.sh [TARGET...]
set -euo pipefail
project_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$project_dir/scripts/dependencies.sh"
build_dir=${BUILD_DIR:-$project_dir/build}
targets=()
if (($# > 0)); then targets=(--target "$@"); fi
cmake -S "$project_dir" --preset default -B "$build_dir" \
  -DCMAKE_COMPILE_WARNING_AS_ERROR="${QRVX_WARNINGS_AS_ERRORS:-OFF}" >/dev/null
cmake --build "$build_dir" -j "$(nproc)" "${targets[@]}"
