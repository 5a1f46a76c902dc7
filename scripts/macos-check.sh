#!/usr/bin/env bash
# On a Mac, the proof that the Apple build works there: builds the installer
# as shipped and checks its bundles (the real codesign, both architectures,
# macOS 12), builds and runs the tests, then installs the shipped browser into
# a temporary folder and quits it. That last step shows the confirmation alert
# and waits for Return; --no-interactive (or QRVX_NO_INTERACTIVE=1) leaves it
# out, as CI does.
#
# Needs the Xcode command-line tools, CMake >= 3.25 and GoogleTest
# (brew install cmake googletest). Builds into build-mac/ and build-mac-tests/.
set -euo pipefail

interactive=1
[[ "${QRVX_NO_INTERACTIVE:-}" == 1 ]] && interactive=0
case "${1:-}" in
  --no-interactive) interactive=0 ;;
  "") ;;
  *)
    echo "usage: $0 [--no-interactive]" >&2
    exit 2
    ;;
esac

fail() {
  echo "macos-check: $*" >&2
  exit 1
}
step() { printf '\n== %s\n' "$*"; }

[[ "$(uname -s)" == Darwin ]] || fail "runs on macOS only"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
jobs="$(sysctl -n hw.ncpu)"
browser_name="Quorvane浏览器"
installer="$root/build-mac/QuorvaneInstaller.app"
browser="$installer/Contents/Resources/$browser_name.app"

step "Build as shipped (the preset apple: arm64 and x86_64, macOS 12 onwards)"
cd "$root"  # where cmake, ctest and cpack find the presets
cmake --preset apple
cmake --build --preset apple -j "$jobs"

step "The shipped bundles"
codesign --verify --deep --strict --verbose=2 "$browser"
for executable in "$installer/Contents/MacOS/QuorvaneInstaller" \
  "$browser/Contents/MacOS/$browser_name"; do
  architectures="$(lipo -archs "$executable")"
  [[ " $architectures " == *" arm64 "* && " $architectures " == *" x86_64 "* ]] ||
    fail "$executable is built for $architectures only"
  minimum="$(vtool -show-build "$executable" | awk '$1 == "minos" { print $2 }' | sort -u)"
  [[ "$minimum" == 12.0 ]] || fail "$executable needs macOS $minimum"
done
plist_value() { plutil -extract "$2" raw -o - "$1/Contents/Info.plist"; }
for bundle in "$installer" "$browser"; do
  [[ "$(plist_value "$bundle" LSMinimumSystemVersion)" == 12.0 ]] ||
    fail "$bundle does not declare macOS 12"
done
[[ "$(plist_value "$installer" CFBundleDevelopmentRegion)" == zh_CN ]] ||
  fail "the installer does not declare Chinese as its development region"
echo "sealed; arm64 and x86_64; macOS 12 onwards; development region zh_CN"

step "The disk image"
# Hosted Mac runners fail `hdiutil create` now and then with "Resource
# busy" while the system still holds the new image; a later try succeeds.
for attempt in 1 2 3; do
  cpack --preset apple && break
  ((attempt < 3)) || fail "cpack could not make the disk image"
  echo "cpack failed (attempt $attempt); trying again" >&2
  sleep 10
done
image="$(ls "$root"/build-mac/QuorvaneInstaller-*-Darwin.dmg)"
hdiutil verify "$image"
echo "$image"

# Homebrew's GoogleTest holds this Mac's architecture only, so the tests are
# built for that one.
step "Tests ($(uname -m))"
cmake -S "$root" -B "$root/build-mac-tests" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_OSX_ARCHITECTURES="$(uname -m)"
cmake --build "$root/build-mac-tests" -j "$jobs"
ctest --test-dir "$root/build-mac-tests" --output-on-failure

if ((interactive == 0)); then
  step "Installation left out (--no-interactive)"
  exit 0
fi

step "Install the shipped browser into a temporary folder, then quit it"
folder="$(mktemp -d /tmp/qrvx-macos-check.XXXXXX)"
trap 'rm -rf "$folder"' EXIT
installed="$folder/$browser_name.app"
echo "Press Return at the installer's alert to confirm."
"$installer/Contents/MacOS/QuorvaneInstaller" --destination "$installed"
pgrep -f "$installed/Contents/MacOS/" >/dev/null || fail "the installed browser is not running"
# The quit request the installer itself sends to an old browser, addressed to
# this copy by its path: another running copy of the browser is left alone.
osascript -e 'on run argv' \
  -e 'tell application (POSIX file (item 1 of argv) as text) to quit' -e 'end run' "$installed"
for _ in $(seq 50); do
  pgrep -f "$installed/Contents/MacOS/" >/dev/null || break
  sleep 0.2
done
! pgrep -f "$installed/Contents/MacOS/" >/dev/null || fail "the installed browser did not quit"
echo "installed into $installed, started, and quit on request"
