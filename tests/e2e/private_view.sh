#!/bin/sh
# Runs one end-to-end test in a view of the system of its own, so that tests
# can run side by side: the installer takes every running browser of its user
# for the old one and looks for build copies in /tmp.
#
#   private_view.sh COMMAND [ARGUMENT...]   runs COMMAND in the view
#   private_view.sh --probe                 exit 0 when a view can be made here
#
# The view: a PID namespace with its own /proc (only the test's processes are
# seen, and all of them end with the test, also when it is killed), a /tmp of
# its own bound from a fresh real folder (not a tmpfs: the Trash takes items
# from it by rename only when it shares the mount of the sandbox's home), and
# no network, since X servers' abstract sockets are per network namespace and
# two displays of the same number would otherwise collide.
#
# As root the namespaces are made directly. Otherwise a user namespace maps the
# user to root to make them, and a second one maps the user back, so the test
# and what it starts run under the user's own identity. Where neither works,
# --probe fails and the build keeps these tests taking turns instead.
set -eu

uid=$(id -u)
gid=$(id -g)

in_view() {
  if [ "$uid" -eq 0 ]; then
    unshare --pid --fork --kill-child --mount-proc --net "$@"
  else
    unshare --map-root-user --pid --fork --kill-child --mount-proc --net "$@"
  fi
}

# Inside: bind the private folder over /tmp, run the command as a child (this
# shell is the namespace's init and reaps the orphans the test leaves, as init
# does), and answer its status.
# shellcheck disable=SC2016 # expanded by the shell inside
inside='
  set -e
  mount --bind "$1" /tmp
  shift
  if [ "$1" -ne 0 ]; then
    drop="unshare --map-user=$1 --map-group=$2 --"
  else
    drop=
  fi
  shift 2
  $drop "$@" &
  wait $!'

if [ "${1-}" = --probe ]; then
  probe=$(mktemp -d "${TMPDIR:-/tmp}/installer-view.XXXXXX")
  status=0
  # shellcheck disable=SC2016 # expanded by the shell inside
  in_view /bin/sh -c "$inside" sh "$probe" "$uid" "$gid" /bin/sh -c \
    'test "$(id -u)" = "$1" && test "$$" -le 3 && touch /tmp/seen' \
    sh "$uid" >/dev/null 2>&1 || status=$?
  [ -e "$probe/seen" ] || status=1
  rm -rf "$probe"
  exit "$status"
fi

view=$(mktemp -d "${TMPDIR:-/tmp}/installer-view.XXXXXX")
chmod 1777 "$view"
status=0
in_view /bin/sh -c "$inside" sh "$view" "$uid" "$gid" "$@" || status=$?
rm -rf "$view" || true
exit "$status"
