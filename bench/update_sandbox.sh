# Shared by the update benchmarks (sourced, not run): a private sandbox with
# its own HOME and XDG folders, a copy of the installer bundle (its helpers
# optionally wrapped so that they log their runs, or traced with perf), an
# older sealed browser installed and running, and the pseudo-terminal driver
# (installer_pty.py) that confirms at once.
#
# After `sandbox_begin BUILD_DIR`:
#   $sandbox            the private folder; removed, with every process running
#                       from inside it, on exit (kept with KEEP_SANDBOX=1)
#   $installer_bundle   the copy of QuorvaneInstaller.app
#   $helpers_log        one line per helper run: NAME START END STATUS ARGUMENTS
#   $apps               the folder of the installation (not ~/Applications, so
#                       that the installer never looks at build copies in /tmp)
#   $destination        $apps/Quorvane浏览器.app
#   $seal_tool          the build's codesign helper, unwrapped, for sealing test bundles
#
# Run as root, the installer, the browsers and the helpers run under a user id
# of their own that no account and no process has (setpriv): the installer
# only sees the browsers of its own user, so other people's installer tests on
# this machine and these runs cannot see, refuse for or quit each other's
# browsers. Run as anyone else, it waits for such tests to end first.

readonly browser_name="Quorvane浏览器"
bench_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
readonly bench_dir

# Ends, by pid, what runs from inside the sandbox (the browsers the installer
# launched), then removes the sandbox.
sandbox_end() {
  local proc exe pids=()
  for proc in /proc/[0-9]*; do
    exe=$(readlink "$proc/exe" 2>/dev/null) || continue
    [[ $exe == "$sandbox"/* ]] && pids+=("${proc#/proc/}")
  done
  ((${#pids[@]})) && kill -KILL "${pids[@]}" 2>/dev/null
  local pid
  for pid in "${pids[@]}"; do
    while [[ -e /proc/$pid ]] && [[ $(awk '{ print $3 }' "/proc/$pid/stat" 2>/dev/null) != Z ]]; do sleep 0.01; done
  done
  [[ -n ${KEEP_SANDBOX:-} ]] || rm -rf -- "$sandbox"
}

# As the sandbox's own user: the uid, and the command prefix that runs as it.
choose_user() {
  run_as=()
  bench_uid=$(id -u)
  [[ $bench_uid == 0 ]] || return 0
  local uid
  for ((uid = 61000 + $$ % 1000; uid < 62000; uid++)); do
    getent passwd "$uid" >/dev/null && continue
    [[ -n $(ps -o pid= -U "$uid" 2>/dev/null) ]] && continue
    bench_uid=$uid
    run_as=(setpriv --reuid="$uid" --regid="$uid" --clear-groups --)
    return 0
  done
  echo "no free user id between 61000 and 62000" >&2
  exit 1
}

# Gives everything in the sandbox to its user.
hand_over() { [[ $bench_uid == "$(id -u)" ]] || chown -R "$bench_uid:$bench_uid" "$sandbox"; }

# Without a user of its own, the installer would see the browsers that other
# people's installer tests start as the same user (and refuse: "several copies
# running"), and theirs would see ours: wait until no such browser, no other
# installer and no installer test program has run for a few seconds.
wait_for_foreign_browsers() {
  ((${#run_as[@]} == 0)) || return 0
  local waited=0 quiet=0 proc exe found
  while ((quiet < 5)); do
    found=""
    for proc in /proc/[0-9]*; do
      exe=$(readlink "$proc/exe" 2>/dev/null) || continue
      [[ $exe != "$sandbox"/* ]] || continue
      if [[ $exe == */installer_*tests || $exe == */ctest || $exe == */QuorvaneInstaller.app/Contents/MacOS/* ]] ||
         { [[ $exe == *.app/Contents/MacOS/* ]] && grep -qs com.quorvane.browser "${exe%/MacOS/*}/Info.plist"; }; then
        found="${proc#/proc/} $exe"
      fi
    done
    if [[ -z $found ]]; then
      ((++quiet))
    else
      quiet=0
      ((waited == 0)) && echo "waiting for installer tests outside the sandbox to end: $found" >&2
      ((++waited < 900)) || { echo "still running after 15 minutes: $found" >&2; return 1; }
    fi
    ((quiet >= 5)) || sleep 1
  done
}

sandbox_begin() {
  local build_dir=$1 name
  [[ -x $build_dir/QuorvaneInstaller.app/Contents/MacOS/QuorvaneInstaller ]] ||
    { echo "no installer in $build_dir (build it first)" >&2; exit 1; }
  for name in cp codesign lsregister; do
    [[ -x $build_dir/QuorvaneInstaller.app/Contents/Helpers/$name ]] ||
      { echo "no $name helper in $build_dir (build it first)" >&2; exit 1; }
  done
  [[ -d $build_dir/QuorvaneInstaller.app/Contents/Resources/$browser_name.app/Contents/_CodeSignature ]] ||
    { echo "no sealed shipped browser in $build_dir (build seal_shipped_browser)" >&2; exit 1; }
  # Not named like the build folders the installer searches in /tmp.
  sandbox=$(cd "$(mktemp -d "${TMPDIR:-/tmp}/installer-bench.XXXXXX")" && pwd -P)
  trap sandbox_end EXIT
  mkdir -m 700 "$sandbox/home" "$sandbox/runtime"
  mkdir -p "$sandbox/home/.local/share" "$sandbox/home/.config" "$sandbox/home/.cache"
  seal_tool="$build_dir/QuorvaneInstaller.app/Contents/Helpers/codesign"
  installer_bundle="$sandbox/QuorvaneInstaller.app"
  cp -a "$build_dir/QuorvaneInstaller.app" "$installer_bundle"
  helpers_log="$sandbox/helpers.log"
  : >"$helpers_log"
  apps="$sandbox/apps"
  mkdir "$apps"
  destination="$apps/$browser_name.app"
  python=/usr/bin/python3
  [[ -x $python ]] || python=$(command -v python3)
  choose_user
  hand_over
  wait_for_foreign_browsers
}

# Replaces each helper of the installer copy with a script that runs the real
# one and appends "NAME START END STATUS ARGUMENTS" to $helpers_log.
wrap_helpers() {
  local helpers="$installer_bundle/Contents/Helpers" name
  mkdir "$helpers/real"
  for name in cp codesign lsregister; do
    mv "$helpers/$name" "$helpers/real/$name"
    cat >"$helpers/$name" <<EOF
#!/bin/bash
start=\$EPOCHREALTIME
'$helpers/real/$name' "\$@"
status=\$?
end=\$EPOCHREALTIME
printf '%s %s %s %s %s\n' $name "\$start" "\$end" "\$status" "\$*" >>'$helpers_log'
exit "\$status"
EOF
    chmod 755 "$helpers/$name"
  done
}

# What one wrapper adds around its helper (starting bash, and its exit), in
# seconds: the median over some runs of a wrapped `true`, seen from outside
# minus what the wrapper logs.
wrapper_cost() {
  local probe="$sandbox/probe" log="$sandbox/probe.log" outside=() start end inner_start inner_end i
  mkdir -p "$probe/real"
  ln -s /bin/true "$probe/real/true"
  cat >"$probe/true" <<EOF
#!/bin/bash
start=\$EPOCHREALTIME
'$probe/real/true' "\$@"
status=\$?
end=\$EPOCHREALTIME
printf '%s %s %s %s %s\n' true "\$start" "\$end" "\$status" "\$*" >>'$log'
exit "\$status"
EOF
  chmod 755 "$probe/true"
  for ((i = 0; i < 21; i++)); do
    : >"$log"
    start=$EPOCHREALTIME
    "$probe/true"
    end=$EPOCHREALTIME
    read -r _ inner_start inner_end _ <"$log"
    outside+=("$(awk -v a="$start" -v b="$end" -v c="$inner_start" -v d="$inner_end" 'BEGIN { printf "%.6f", (b - a) - (d - c) }')")
  done
  printf '%s\n' "${outside[@]}" | sort -g | sed -n 11p
}

# A sealed copy of the shipped browser at $2 that says it is version $1.
make_browser() {
  local version=$1 at=$2
  cp -a "$installer_bundle/Contents/Resources/$browser_name.app" "$at"
  sed -i "s|<string>2\.1\.0</string>|<string>$version</string>|" "$at/Contents/Info.plist"
  "$seal_tool" -s - -f --deep "$at"
}

# Starts the browser of bundle $1 as its own session and waits until it runs
# its executable; sets $browser_pid.
start_browser() {
  local executable="$1/Contents/MacOS/$browser_name" i
  "${run_as[@]}" setsid "$executable" </dev/null >/dev/null 2>&1 &
  browser_pid=$!
  for ((i = 0; i < 500; i++)); do
    [[ $(readlink "/proc/$browser_pid/exe" 2>/dev/null) == "$executable" ]] && return 0
    sleep 0.01
  done
  echo "the old browser did not start" >&2
  return 1
}

# The pids of the browsers running from $destination.
destination_browsers() {
  local proc
  for proc in /proc/[0-9]*; do
    [[ $(readlink "$proc/exe" 2>/dev/null) == "$destination/Contents/MacOS/$browser_name" ]] && echo "${proc#/proc/}"
  done
  return 0
}

# Quits, by pid, the browsers running from $destination, as a user would.
stop_destination_browsers() {
  local pid
  for pid in $(destination_browsers); do
    kill -TERM "$pid" 2>/dev/null || continue
    while [[ -e /proc/$pid ]] && [[ $(awk '{ print $3 }' "/proc/$pid/stat" 2>/dev/null) != Z ]]; do sleep 0.01; done
  done
  return 0
}

# Runs the installer copy on a pseudo-terminal, driver flags first, then "--"
# and the installer's arguments; the driver's key=value lines go to $1. The
# driver runs under the command $driver_prefix when set (a tracer).
driver_prefix=()
run_installer() {
  local out=$1 flags=()
  shift
  while [[ $1 != -- ]]; do flags+=("$1"); shift; done
  shift
  "${driver_prefix[@]}" "${run_as[@]}" "$python" "$bench_dir/installer_pty.py" "${flags[@]}" "$sandbox" \
    "$installer_bundle/Contents/MacOS/QuorvaneInstaller" "$@" >"$out"
}

# The value of key $2 in the driver's output $1.
field() { sed -n "s/^$2=//p" "$1" | head -1 | awk '{ print $1 }'; }

# A fresh update: the old version $1 installed at $destination and running,
# the helper log empty; sets $old_pid.
prepare_update() {
  stop_destination_browsers
  rm -rf -- "$destination"
  make_browser "$1" "$destination"
  : >"$helpers_log"
  hand_over
  wait_for_foreign_browsers
  start_browser "$destination"
  old_pid=$browser_pid
}

# One update from 2.0 to the shipped browser, confirmed at once; the driver's
# output goes to $1 (with ended_$old_pid, when the old browser ended), its
# flags follow; the helpers' runs are then in $helpers_log. Tried again when
# someone else's browser appeared meanwhile and the installer refused for it;
# fails when the update did not go through.
update_once() {
  local out=$1 attempt
  shift
  for ((attempt = 1; ; attempt++)); do
    prepare_update 2.0
    run_installer "$out" --watch-pid="$old_pid" "$@" -- --source "$installer_bundle/Contents/Resources/$browser_name.app" \
      --destination "$destination"
    if [[ $(field "$out" exit) == 0 && $(field "$out" alerts) == 1 && -n $(destination_browsers) ]] &&
       grep -q '<string>2.1.0</string>' "$destination/Contents/Info.plist"; then
      return 0
    fi
    if ((attempt < 3)) && grep -q '检测到多份正在运行的浏览器' "$sandbox/screen.txt"; then
      echo "another browser ran meanwhile; trying again" >&2
      continue
    fi
    echo "the update did not go through:" >&2
    cat "$out" "$sandbox/screen.txt" "$helpers_log" >&2
    return 1
  done
}

# Fills $apps, beside the installation, with 200 entries of which 20 are
# sealed browser copies older than 2.1.0 ("Quorvane浏览器 1.N.app", N 0..19),
# so retirement takes them. The other 180 never need a signature check:
#    40 sealed browser bundles under names that are not the browser's
#    40 right names on non-bundles: 15 files, 10 empty folders, 10 folders with
#       another application's Info.plist, 5 links to one of the 20 copies
#    40 other applications (a folder with an Info.plist and an executable)
#    60 other files and folders
populate_neighbours() {
  local i name
  make_browser 1.0 "$sandbox/template.app"
  for ((i = 0; i < 20; i++)); do make_browser "1.$i" "$apps/$browser_name 1.$i.app"; done
  for ((i = 0; i < 40; i++)); do
    case $((i % 5)) in
      0) name="$browser_name copy $i.app" ;;
      1) name="$browser_name-1.$i.app" ;;
      2) name="$browser_name 1.$i.app.old" ;;
      3) name="$browser_name v1.$i.app" ;;
      4) name="Old $browser_name 1.$i.app" ;;
    esac
    cp -a "$sandbox/template.app" "$apps/$name"
  done
  for ((i = 0; i < 15; i++)); do echo "not a bundle" >"$apps/$browser_name 1.$((100 + i)).app"; done
  for ((i = 0; i < 10; i++)); do mkdir "$apps/$browser_name 1.$((200 + i)).app"; done
  for ((i = 0; i < 10; i++)); do
    mkdir -p "$apps/$browser_name 1.$((300 + i)).app/Contents/MacOS"
    sed 's|com\.quorvane\.browser|com.example.other|' "$sandbox/template.app/Contents/Info.plist" \
      >"$apps/$browser_name 1.$((300 + i)).app/Contents/Info.plist"
  done
  for ((i = 0; i < 5; i++)); do ln -s "$browser_name 1.$i.app" "$apps/$browser_name 1.$((400 + i)).app"; done
  for ((i = 0; i < 40; i++)); do
    mkdir -p "$apps/Other $i.app/Contents/MacOS"
    sed "s|com\.quorvane\.browser|com.example.other$i|" "$sandbox/template.app/Contents/Info.plist" \
      >"$apps/Other $i.app/Contents/Info.plist"
    printf '#!/bin/sh\n' >"$apps/Other $i.app/Contents/MacOS/$browser_name"
    chmod 755 "$apps/Other $i.app/Contents/MacOS/$browser_name"
  done
  for ((i = 0; i < 30; i++)); do echo "notes $i" >"$apps/notes $i.txt"; done
  for ((i = 0; i < 30; i++)); do mkdir "$apps/folder $i"; done
  rm -rf -- "$sandbox/template.app"
  hand_over
}

# How disturbed the machine was while measuring: the share of the time during
# which some runnable task waited for a processor (0 % on an idle machine).
cpu_stall() { sed -n 's/^some .*total=//p' /proc/pressure/cpu 2>/dev/null || echo 0; }
pressure_begin() { stall_start=$(cpu_stall) stall_since=$EPOCHREALTIME; }
pressure_report() {
  awk -v a="$stall_start" -v b="$(cpu_stall)" -v s="$stall_since" -v e="$EPOCHREALTIME" 'BEGIN {
    printf "CPU pressure while measuring: %.0f %% of the time a task waited for a processor\n", (b - a) / 1e6 / (e - s) * 100 }'
}

# Traces the driver and everything it starts with the scheduler's exec and
# exit tracepoints (and the installer's SIGTERM and renameat2), which cost the
# traced processes nothing; answers whether perf can do that here (as root).
trace_with_perf() {
  perf_data="$sandbox/perf.data"
  [[ $(id -u) == 0 ]] && command -v perf >/dev/null || return 1
  HOME=$sandbox perf record -q -N -B -k CLOCK_MONOTONIC -e sched:sched_process_exec \
    -o "$perf_data" -- true >/dev/null 2>&1 || return 1
  driver_prefix=(env HOME="$sandbox" perf record -q -N -B -k CLOCK_MONOTONIC
    -e sched:sched_process_exec -e sched:sched_process_exit -e syscalls:sys_enter_pidfd_send_signal
    -e syscalls:sys_enter_kill -e syscalls:sys_enter_renameat2 -e syscalls:sys_enter_rename
    -o "$perf_data" --)
}

# From the trace of the last run (driver output $1, for its clock), lines in
# the helper log's form, NAME START END - -: every process that executed a
# helper of the bundle copy (a wrapped one as "real/NAME"), from its exec to
# its exit; and, as "@WHAT T T", when the installer was executed, sent its
# first SIGTERM, made its first renameat2 (the exchange) and executed the new
# browser, and each of its rename calls (the Trash's moves) as "@rename".
helpers_from_trace() {
  HOME=$sandbox perf script -i "$perf_data" 2>/dev/null |
    awk -v helpers="$installer_bundle/Contents/Helpers/" -v offset="$(field "$1" monotonic_offset)" \
        -v installer="$installer_bundle/Contents/MacOS/QuorvaneInstaller" \
        -v browser="$destination/Contents/MacOS/$browser_name" '
      function stamp(   i) { for (i = 3; i <= NF; i++) if ($i ~ /^[0-9]+\.[0-9]+:$/) return substr($i, 1, length($i) - 1) + offset }
      / sched:sched_process_exec: / {
        t = stamp()
        file = $0; sub(/.*filename=/, "", file); sub(/ pid=[0-9]+ old_pid=[0-9]+$/, "", file)
        pid = $0; sub(/.* pid=/, "", pid); sub(/ old_pid=.*/, "", pid)
        if (index(file, helpers) == 1) { name[pid] = substr(file, length(helpers) + 1); from[pid] = t; order[++n] = pid }
        if (file == installer && !installer_at) { installer_at = t; installer_pid = pid }
        if (file == browser && !browser_at) browser_at = t
      }
      / syscalls:sys_enter_(kill|pidfd_send_signal): .*sig: 0x0*f($|,| )/ {
        if ($2 == installer_pid && !signal_at) signal_at = stamp()
      }
      / syscalls:sys_enter_renameat2: / { if ($2 == installer_pid && !exchange_at) exchange_at = stamp() }
      / syscalls:sys_enter_rename: / { if ($2 == installer_pid) renames[++r] = stamp() }
      / sched:sched_process_exit: / {
        t = stamp()
        pid = $0; sub(/.* pid=/, "", pid); sub(/ prio=.*/, "", pid)
        if (pid in name && !(pid in to)) to[pid] = t
      }
      END {
        if (installer_at) printf "@installer %.6f %.6f - -\n", installer_at, installer_at
        if (signal_at) printf "@signal %.6f %.6f - -\n", signal_at, signal_at
        if (exchange_at) printf "@exchange %.6f %.6f - -\n", exchange_at, exchange_at
        if (browser_at) printf "@browser %.6f %.6f - -\n", browser_at, browser_at
        for (i = 1; i <= r; i++) printf "@rename %.6f %.6f - -\n", renames[i], renames[i]
        for (i = 1; i <= n; i++) { p = order[i]; printf "%s %.6f %.6f - -\n", name[p], from[p], to[p] }
      }'
}

# Puts the real helpers back in place of the wrappers.
unwrap_helpers() {
  local helpers="$installer_bundle/Contents/Helpers" name
  for name in cp codesign lsregister; do mv -f "$helpers/real/$name" "$helpers/$name"; done
  rmdir "$helpers/real"
}
