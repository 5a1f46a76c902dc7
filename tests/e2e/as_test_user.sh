#!/bin/sh
# Runs a command as an ordinary user, as real browsers insist: the current
# user, or, for root, the dedicated user qrvx-tests (made when missing), with
# the caller's environment but that user's identity and no capabilities.
#
#   as_test_user.sh [--copy PATH]... COMMAND [ARGUMENT...]
#
# That user may not reach the build tree (a clone below a private folder, as a
# home folder or mktemp -d is), and no parent of it is opened up for it: each
# PATH is copied into a folder of the user's own in /tmp, which is its working
# and temporary folder too, and an ARGUMENT or $E2E_INSTALLER_BUNDLE that
# names a PATH names its copy. For the current user the copies are not needed.
set -eu
user=qrvx-tests
if [ "$(id -u)" -ne 0 ]; then
  while [ "$1" = --copy ]; do shift 2; done
  exec "$@"
fi
if ! id -u "$user" >/dev/null 2>&1; then
  # Another test may make it at the same moment.
  useradd --system --user-group --no-create-home --home-dir /nonexistent \
    --shell /usr/sbin/nologin "$user" 2>/dev/null || id -u "$user" >/dev/null
fi
# Not named like the build folders the installer looks for in /tmp.
lane=$(mktemp -d /tmp/installer-lane.XXXXXX)
trap 'rm -rf "$lane" || true' EXIT
copies=0
while [ "$1" = --copy ]; do
  original=$2
  copies=$((copies + 1))
  copy="$lane/$copies/$(basename "$original")"
  mkdir "$lane/$copies"
  cp -a "$original" "$copy"
  [ "${E2E_INSTALLER_BUNDLE-}" != "$original" ] || export E2E_INSTALLER_BUNDLE="$copy"
  for argument in "$@"; do
    shift
    [ "$argument" != "$original" ] || argument=$copy
    set -- "$@" "$argument"
  done
  shift 2
done
chown -R "$user:$user" "$lane"
cd "$lane"
setpriv --reuid="$user" --regid="$user" --init-groups --inh-caps=-all \
  env HOME=/nonexistent USER="$user" LOGNAME="$user" TMPDIR="$lane" "$@"
