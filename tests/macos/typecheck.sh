#!/usr/bin/env bash
# Type-checks every Objective-C++ file of the macOS backend, the Apple-only
# files of the POSIX layer, the shipped browser's Mac program and the
# backend's tests on Linux: clang parses each one in syntax-only mode against GNUstep's AppKit and Foundation
# headers, with apple_sdk_extras.h declaring what GNUstep lacks. Proves that
# the code parses and that its calls match the declarations, nothing about
# behaviour. Missing tools are a failure, never a skip.
#
# Usage: typecheck.sh [SOURCE_ROOT]   (default: two folders above this script)
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "${1:-$here/../..}" && pwd)"
extras="$here/apple_sdk_extras.h"

fail() {
  echo "macos_backend_typecheck: $*" >&2
  exit 1
}

for tool in clang++ gcc gnustep-config; do
  command -v "$tool" >/dev/null ||
    fail "$tool not found; install the packages of scripts/dependencies.sh"
done
gnustep_headers="$(gnustep-config --variable=GNUSTEP_SYSTEM_HEADERS)"
[[ -f "$gnustep_headers/AppKit/AppKit.h" && -f "$gnustep_headers/Foundation/Foundation.h" ]] ||
  fail "GNUstep AppKit/Foundation headers not found under '$gnustep_headers'"
[[ -f /usr/include/Block.h ]] || fail "/usr/include/Block.h (the blocks runtime) not found"
# The GNU Objective-C runtime headers ship with the gcc of the machine.
gcc_include="$(gcc -print-file-name=include)"
[[ -f "$gcc_include/objc/objc.h" ]] ||
  fail "GNU Objective-C runtime headers not found in $gcc_include"

shopt -s nullglob
backend=("$root"/platform/macos/*.mm)
((${#backend[@]})) || fail "no Objective-C++ files in $root/platform/macos"
sources=("${backend[@]}" "$root"/platform/posix/apple/*.cpp "$root"/browser/*.mm "$here"/*_test.mm)

shim="$(mktemp -d)"
trap 'rm -rf "$shim"' EXIT
# GNUstep asks for <objc/blocks_runtime.h>; Debian ships the blocks runtime as <Block.h>.
mkdir -p "$shim/objc" "$shim/dispatch" "$shim/CoreFoundation" "$shim/CommonCrypto" "$shim/sys"
ln -s /usr/include/Block.h "$shim/objc/blocks_runtime.h"
# Apple headers GNUstep has no counterpart of, and sys/xattr.h, whose Linux
# namesake declares other signatures; what the backend uses of them is
# declared in apple_sdk_extras.h, included ahead of every file.
for header in dispatch/dispatch.h CoreFoundation/CoreFoundation.h CommonCrypto/CommonDigest.h sys/xattr.h; do
  echo "// Stands in for <$header>; see apple_sdk_extras.h." >"$shim/$header"
done

# GNUstep's own flags: its definitions and language options, its header
# folders as system folders (their warnings are not ours), no dependency
# files, no "." on the include path.
gnustep_flags=()
for flag in $(gnustep-config --objc-flags); do
  case "$flag" in
    -D* | -fexceptions | -fobjc-exceptions | -fno-strict-aliasing | -pthread)
      gnustep_flags+=("$flag")
      ;;
    -I*)
      folder="${flag#-I}"
      if [[ "$folder" != "." && -d "$folder" ]]; then gnustep_flags+=(-isystem "$folder"); fi
      ;;
  esac
done

# QRVX_SHIPPED_BROWSER: the path the Apple build gives the tests.
common=(clang++ -x objective-c++ -std=c++20 -fsyntax-only -fblocks -Wall -Wextra -ferror-limit=0
  -I"$shim" -isystem "$gcc_include" "${gnustep_flags[@]}" -I"$root" -include "$extras"
  -DQRVX_SHIPPED_BROWSER='"/Q.app"')

# Pass 1, types: the GNU runtime GNUstep was built for, without ARC (the two
# cannot be combined); clang then only notes that __bridge casts do nothing.
types=("${common[@]}" -fobjc-runtime=gcc -Werror -Wno-arc-bridge-casts-disallowed-in-nonarc)

# Pass 2, ARC rules (bridged casts, ownership of out-parameters and of
# Objective-C pointers in C++ objects): ARC needs a runtime that has it, and
# under that runtime one inline function of the GNU runtime's header cannot
# parse. That diagnostic alone is expected; any other error or warning fails.
arc=("${common[@]}" -fobjc-runtime=gnustep-2.0 -fobjc-arc)
runtime_artifact="^$gcc_include/objc/runtime\.h:[0-9]+:[0-9]+: error: "
runtime_artifact+="member reference base type 'id' is not a structure or union\$"

arc_check() {
  local output unexpected
  output="$("${arc[@]}" "$1" 2>&1)" && return 0
  unexpected="$(grep -Ev "$runtime_artifact" <<<"$output" | grep -E '(error|warning):' || true)"
  if [[ -n "$unexpected" ]] || ! grep -Eq "$runtime_artifact" <<<"$output"; then
    echo "$output" >&2
    return 1
  fi
}

# A compiler run takes a few seconds of processor time; one that hangs ends
# here, however busy the machine is.
ulimit -t 300
failed=0
for source in "${sources[@]}"; do
  case "$source" in
    "$root"/*) name="${source#"$root"/}" ;;
    *) name="tests/macos/${source##*/}" ;;
  esac
  if "${types[@]}" "$source" && arc_check "$source"; then
    echo "ok      $name"
  else
    echo "FAILED  $name"
    failed=1
  fi
done
((failed == 0)) || fail "type errors above"
echo "macos_backend_typecheck: ${#sources[@]} files type-check against GNUstep and" \
  "$(basename "$extras"), with and without ARC"
