#!/usr/bin/env bash
# The tests whose rows differ in a publisher's build, run against one: the
# tree of scripts/build.sh configured once more with a throw-away key, so that
# only what the key changes is built again (the requirement, the signing of
# the test bundles and of the shipped browser, and the links), then configured
# back without it; its next build puts the ad hoc tree back.
set -euo pipefail
project_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$project_dir/scripts/dependencies.sh"
build_dir=$(realpath -m "${BUILD_DIR:-$project_dir/build}")
# Not under /tmp: each end-to-end test sees a /tmp of its own.
key_dir="$build_dir/throwaway-publisher"
rm -rf "$key_dir"
mkdir -p "$key_dir"
echo "Publisher's build, key fingerprint $("$project_dir/scripts/publisher-key.sh" "$key_dir/publisher.pem")"
status=0
cmake "$build_dir" -DQRVX_PUBLISHER_KEY="$key_dir/publisher.pem" >/dev/null
cmake --build "$build_dir" -j "$(nproc)" --target installer_unit_tests installer_e2e_tests || status=$?
if [[ $status -eq 0 ]]; then
  cd "$project_dir"
  ctest --test-dir "$build_dir" -R '^(InstallTest\.|e2e\.BundleVerification\.)' \
    -j "$(($(nproc) * 3))" --output-on-failure || status=$?
fi
cmake "$build_dir" -DQRVX_PUBLISHER_KEY= >/dev/null
rm -rf "$key_dir"
exit "$status"
