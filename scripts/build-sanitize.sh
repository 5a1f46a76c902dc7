#!/usr/bin/env bash
# Configures and builds the sanitizer build into build/sanitize (or
# $BUILD_DIR/sanitize): with clang, under AddressSanitizer and
# UndefinedBehaviorSanitizer, what its tests run (the unit tests with the
# helpers they call, and the fuzz targets), or only the targets named.
# Usage: build-sanitize.sh [TARGET...]
set -euo pipefail
project_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$project_dir/scripts/dependencies.sh"
sanitize_dir=${BUILD_DIR:-$project_dir/build}/sanitize
targets=("$@")
if ((${#targets[@]} == 0)); then targets=(sanitizer_tests); fi
# Unoptimized: it builds in half the time, and the sanitizers see the same faults.
cmake -S "$project_dir" -B "$sanitize_dir" -DQRVX_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=/usr/bin/clang -DCMAKE_CXX_COMPILER=/usr/bin/clang++ >/dev/null
cmake --build "$sanitize_dir" -j "$(nproc)" --target "${targets[@]}"
