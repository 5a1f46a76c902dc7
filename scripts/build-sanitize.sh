#!/usr/bin/env bash
# Configures (the preset `sanitize`) and builds the sanitizer build into
# build/sanitize (or $BUILD_DIR/sanitize): with clang, under AddressSanitizer and
# UndefinedBehaviorSanitizer, what its tests run (the unit tests with the
# helpers they call, and the fuzz targets), or only the targets named.
# Usage: build-sanitize.sh [TARGET...]
set -euo pipefail
project_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$project_dir/scripts/dependencies.sh"
sanitize_dir=${BUILD_DIR:-$project_dir/build}/sanitize
targets=("$@")
if ((${#targets[@]} == 0)); then targets=(sanitizer_tests); fi
# Unoptimized (the preset's Debug): it builds in half the time, and the
# sanitizers see the same faults.
cmake -S "$project_dir" --preset sanitize -B "$sanitize_dir" \
  -DCMAKE_COMPILE_WARNING_AS_ERROR="${QRVX_WARNINGS_AS_ERRORS:-OFF}" >/dev/null
cmake --build "$sanitize_dir" -j "$(nproc)" --target "${targets[@]}"
