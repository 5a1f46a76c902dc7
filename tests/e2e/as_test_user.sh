#!/bin/sh
# Runs a command as an ordinary user, as real browsers insist: the current
# user, or, for root, the dedicated user qrvx-tests (made when missing), with
# the caller's environment but that user's identity and no capabilities.
set -eu
user=qrvx-tests
if [ "$(id -u)" -ne 0 ]; then exec "$@"; fi
if ! id -u "$user" >/dev/null 2>&1; then
  # Another test may make it at the same moment.
  useradd --system --user-group --no-create-home --home-dir /nonexistent \
    --shell /usr/sbin/nologin "$user" 2>/dev/null || id -u "$user" >/dev/null
fi
exec setpriv --reuid="$user" --regid="$user" --init-groups --inh-caps=-all \
  env HOME=/nonexistent USER="$user" LOGNAME="$user" "$@"
