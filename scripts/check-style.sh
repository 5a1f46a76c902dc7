#!/usr/bin/env bash
# Checks the lines a change touches against the project's style: clang-format
# (.clang-format) on every touched C++ and Objective-C++ line, and clang-tidy
# (.clang-tidy) on the touched lines of the C++ sources the build compiles
# (it needs build/compile_commands.json, or $BUILD_DIR's; left out without).
#   scripts/check-style.sh [BASE]
# BASE is the commit the change starts from: by default the parent of HEAD,
# so that on a clean clone CI checks the last commit; a clone without one
# has nothing to compare with and passes with a message. Fix the format with
#   git diff -U0 BASE | clang-format-diff-14 -p1 -i
set -euo pipefail
project_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=$(realpath -m "${BUILD_DIR:-$project_dir/build}")
cd "$project_dir"
base=${1:-HEAD~1}
if ! git rev-parse -q --verify "$base^{commit}" >/dev/null; then
  echo "check-style: no commit $base to compare with; nothing checked" >&2
  exit 0
fi
sources=('*.cpp' '*.h' '*.mm')
status=0

format_changes=$(git diff -U0 --no-color "$base" -- "${sources[@]}" | clang-format-diff-14 -p1)
if [[ -n $format_changes ]]; then
  echo "$format_changes"
  echo "check-style: lines changed since $base differ from .clang-format (above)" >&2
  status=1
fi

if [[ -f $build_dir/compile_commands.json ]]; then
  # Only the sources this build compiles, with the flags it gives them:
  # clang-tidy guesses wrong flags for the rest (the POSIX layer's Apple files,
  # the fuzz targets of the sanitizer build). Headers are checked through the
  # sources that include them.
  mapfile -t compiled < <(python3 -c '
import json, os, sys
for entry in json.load(open(sys.argv[1])):
    path = os.path.realpath(os.path.join(entry["directory"], entry["file"]))
    print(os.path.relpath(path, os.path.realpath(sys.argv[2])))
' "$build_dir/compile_commands.json" "$project_dir" | grep -v '^\.\./' | sort -u)
  if ((${#compiled[@]})) && ! git diff -U0 --no-color "$base" -- "${compiled[@]}" |
    clang-tidy-diff-14.py -p1 -path "$build_dir" -quiet -j "$(nproc)" \
      -extra-arg=-Wno-unknown-warning-option >"$build_dir/clang-tidy.log" 2>&1; then
    status=1
  fi
  if grep -q 'warning:\|error:' "$build_dir/clang-tidy.log"; then
    grep -A3 'warning:\|error:' "$build_dir/clang-tidy.log"
    echo "check-style: clang-tidy found the above in lines changed since $base" >&2
    status=1
  fi
else
  echo "check-style: no $build_dir/compile_commands.json; clang-tidy left out" >&2
fi
((status == 0)) && echo "check-style: the lines changed since $base keep the style" >&2
exit "$status"
