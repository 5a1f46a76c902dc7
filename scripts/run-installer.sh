#!/usr/bin/env bash
# Builds the installer bundle (and no test) and runs the installer on the
# browser bundle it ships: with no arguments it installs that bundle into
# ~/Applications. Arguments are passed on.
set -euo pipefail
project_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$project_dir/scripts/build.sh" installer_bundle
build_dir=${BUILD_DIR:-$project_dir/build}
exec "$build_dir/QuorvaneInstaller.app/Contents/MacOS/QuorvaneInstaller" "$@"
