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
# does), and answer its status. What the test runs from may itself lie in /tmp
# (a clone built there): the folders of /tmp named in $keep are bound again
# into the private one, reached through a bind of the whole /tmp that is
# detached before the test starts (an empty .outside folder stays).
# shellcheck disable=SC2016 # expanded by the shell inside
inside='
  set -e
  outside="$1/.outside"
  mkdir "$outside"
  mount --bind /tmp "$outside"
  mount --rbind "$1" /tmp
  for name in $keep; do
    mkdir -p "/tmp/$name"
    mount --bind "/tmp/.outside/$name" "/tmp/$name"
  done
  umount -l /tmp/.outside
  # Still the mount point of the first bind, below the private /tmp: empty.
  rmdir /tmp/.outside 2>/dev/null || true
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
    'test "$(id -u)" = "$1" && grep -q outside /proc/1/cmdline && touch /tmp/seen' \
    sh "$uid" >/dev/null 2>&1 || status=$?
  [ -e "$probe/seen" ] || status=1
  rm -rf "$probe"
  exit "$status"
fi

# The first folder below /tmp of each place the test needs: where it runs,
# what it runs and the sources beside this script.
keep=
for place in "$PWD" "$1" "$(cd "$(dirname "$0")" && pwd)"; do
  case $place in
    /tmp/?*)
      name=${place#/tmp/}
      name=${name%%/*}
      case " $keep " in *" $name "*) ;; *) keep="$keep $name" ;; esac
      ;;
  esac
done
export keep

view=$(mktemp -d "${TMPDIR:-/tmp}/installer-view.XXXXXX")
chmod 1777 "$view"
status=0
in_view /bin/sh -c "$inside" sh "$view" "$uid" "$gid" "$@" || status=$?
rm -rf "$view" || true
exit "$status"
