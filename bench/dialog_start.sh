#!/usr/bin/env bash
# Measures, for one build or two side by side in one run (alternating):
#  - the installer's CPU time (user + system, from wait4) over a start with
#    no display and no terminal that ends in the failure report on standard
#    error (an unknown argument), RUNS runs (default 21);
#  - under a virtual display of its own (xvfb-run), the wall time from the
#    start of the installer, whose first act is the failure alert, to its
#    dialog window being shown (mapped and viewable, polled with xdotool
#    every ~10 ms) and drawn (a capture of it no longer one colour, polled
#    with ImageMagick's import), DIALOG_RUNS runs (default 7).
# Usage: bench/dialog_start.sh BUILD_DIR [OTHER_BUILD_DIR]
set -euo pipefail
builds=()
for build in "$@"; do builds+=("$(cd "$build" && pwd)/QuorvaneInstaller.app/Contents/MacOS/QuorvaneInstaller"); done
[[ ${#builds[@]} -gt 0 ]] || { echo "usage: $0 BUILD_DIR [OTHER_BUILD_DIR]" >&2; exit 2; }
sandbox=$(mktemp -d)
trap 'rm -rf "$sandbox"' EXIT
mkdir -p "$sandbox/home"
export BENCH_SANDBOX=$sandbox RUNS=${RUNS:-21} DIALOG_RUNS=${DIALOG_RUNS:-7}

python=/usr/bin/python3
[[ -x $python ]] || python=$(command -v python3)
xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" "$python" - "${builds[@]}" <<'PY'
import os, statistics, subprocess, sys, time
installers = sys.argv[1:]
sandbox = os.environ["BENCH_SANDBOX"]
base = {"HOME": sandbox + "/home", "PATH": "/usr/bin:/bin", "LANG": "C.UTF-8",
        "XDG_DATA_HOME": sandbox + "/home/.local/share",
        "XDG_CONFIG_HOME": sandbox + "/home/.config", "XDG_RUNTIME_DIR": sandbox}
display = {name: os.environ[name] for name in ("DISPLAY", "XAUTHORITY")}

def start(installer, environment):
    return subprocess.Popen([installer, "--bogus", "x"], env=environment, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            start_new_session=True)  # no controlling terminal

def startup_cpu(installer):
    process = start(installer, base)
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = os.waitstatus_to_exitcode(status)
    assert process.returncode == 1, process.returncode
    return (usage.ru_utime + usage.ru_stime) * 1000

def windows():
    return subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^QuorvaneInstaller$"],
                          capture_output=True, text=True).stdout.split()

def until_dialog(installer):
    began = time.monotonic()
    process = start(installer, {**base, **display})
    while not (shown := windows()):
        time.sleep(0.005)
        if process.poll() is not None: raise SystemExit("no dialog from " + installer)
    mapped = (time.monotonic() - began) * 1000
    while drawn_colours(shown[0]) <= 1: time.sleep(0.005)
    drawn = (time.monotonic() - began) * 1000
    subprocess.run(["xdotool", "windowfocus", "--sync", shown[0], "key", "Return"], check=True)
    process.wait(timeout=30)
    while windows(): time.sleep(0.01)
    return mapped, drawn

def drawn_colours(window):
    capture = subprocess.run(["import", "-window", window, "png:-"], capture_output=True).stdout
    colours = subprocess.run(["identify", "-format", "%k", "-"], input=capture,
                             capture_output=True).stdout
    return int(colours or b"0")

def pressure():
    with open("/proc/pressure/cpu") as f: return float(f.readline().split("total=")[1]) / 1e6

cpu = {i: [] for i in installers}
shown = {i: [] for i in installers}
before = (pressure(), time.monotonic())
for run in range(int(os.environ["RUNS"])):
    for installer in (installers if run % 2 == 0 else installers[::-1]):
        cpu[installer].append(startup_cpu(installer))
for run in range(int(os.environ["DIALOG_RUNS"])):
    for installer in (installers if run % 2 == 0 else installers[::-1]):
        shown[installer].append(until_dialog(installer))
stall = (pressure() - before[0]) / (time.monotonic() - before[1]) * 100
for installer in installers:
    c = cpu[installer]
    print(installer)
    print(f"  start-up CPU, no display: median {statistics.median(c):.1f} ms "
          f"({min(c):.1f}-{max(c):.1f}, {len(c)} runs)")
    for index, what in ((0, "shown"), (1, "drawn")):
        s = [times[index] for times in shown[installer]]
        print(f"  start to dialog {what}:    median {statistics.median(s):.0f} ms "
              f"({min(s):.0f}-{max(s):.0f}, {len(s)} runs): " + " ".join(f"{x:.0f}" for x in s))
print(f"CPU pressure over the measurement: {stall:.0f} %")
PY
