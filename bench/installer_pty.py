"""Runs the installer on a pseudo-terminal in a private sandbox and answers
every alert with Return as soon as its buttons are drawn; prints what it saw
as key=value lines (times are CLOCK_REALTIME seconds, like bash's
EPOCHREALTIME, so they line up with the helper wrappers' logs; monotonic_offset
converts CLOCK_MONOTONIC stamps, such as perf's, to them).

  python3 installer_pty.py [--memory] [--hold-exit] [--watch-pid=PID] SANDBOX INSTALLER [ARGUMENT...]

--memory     samples VmHWM, VmRSS, RssAnon and RssFile of the installer process
             (its own address space, every thread; no helper, no browser) every 2 ms.
--watch-pid  notes when process PID (not a child: the running old browser) ends.
--hold-exit  runs the installer under strace, which holds it for 0.3 s at its
             exit_group, so the last sample is taken after all its work.

Used by the bench/*.sh scripts; not a test.
"""
import os
import pty
import pwd
import select
import sys
import time


def environment(sandbox):
    home = sandbox + "/home"
    try:
        user = pwd.getpwuid(os.getuid()).pw_name
    except KeyError:
        user = str(os.getuid())
    return {"HOME": home, "USER": user, "LOGNAME": user, "PATH": "/usr/local/bin:/usr/bin:/bin",
            "LANG": "C.UTF-8", "XDG_DATA_HOME": home + "/.local/share",
            "XDG_CONFIG_HOME": home + "/.config", "XDG_CACHE_HOME": home + "/.cache",
            "XDG_RUNTIME_DIR": sandbox + "/runtime"}


def memory_of(pid):
    """(VmHWM, VmRSS, RssAnon, RssFile) in kB, or None once the address space is gone."""
    keys = ("VmHWM", "VmRSS", "RssAnon", "RssFile")
    try:
        with open(f"/proc/{pid}/status") as status:
            fields = dict(line.split(":", 1) for line in status if line.startswith(keys))
        return tuple(int(fields[key].split()[0]) for key in keys)
    except (OSError, KeyError, ValueError):
        return None


def traced_child(tracer, program):
    """The pid of strace's child once it runs `program` (strace forks test
    children of its own first)."""
    wanted = os.path.realpath(program)
    for _ in range(5000):
        try:
            with open(f"/proc/{tracer}/task/{tracer}/children") as children:
                for pid in children.read().split():
                    try:
                        if os.readlink(f"/proc/{pid}/exe") == wanted:
                            return int(pid)
                    except OSError:
                        pass
        except OSError:
            pass
        time.sleep(0.001)
    raise SystemExit("strace started no installer")


def main():
    arguments = sys.argv[1:]
    sample = "--memory" in arguments
    hold = "--hold-exit" in arguments
    watched = [int(a.split("=", 1)[1]) for a in arguments if a.startswith("--watch-pid=")]
    arguments = [a for a in arguments
                 if a not in ("--memory", "--hold-exit") and not a.startswith("--watch-pid=")]
    # A pidfd turns readable when its process ends: the moment, without polling.
    watching = {os.pidfd_open(pid): pid for pid in watched}
    ended_at = {}
    sandbox, installer, *installer_arguments = arguments
    program = [installer, *installer_arguments]
    if hold:
        program = ["/usr/bin/strace", "-qq", "-o", "/dev/null", "-e", "trace=exit_group",
                   "-e", "inject=exit_group:delay_enter=300000", *program]

    started = time.time()
    pid, terminal = pty.fork()
    if pid == 0:
        os.execve(program[0], program, environment(sandbox))
    installer_pid = traced_child(pid, installer) if hold else pid

    screen = b""
    alerts, answers = [], []
    peak = None
    while True:
        ready, _, _ = select.select([terminal, *watching], [], [], 0.002 if sample else 1.0)
        for descriptor in [d for d in ready if d in watching]:
            ended_at[watching.pop(descriptor)] = time.time()
            os.close(descriptor)
        ready = [d for d in ready if d == terminal]
        if sample:
            now = memory_of(installer_pid)
            if now:
                # The high-water mark only grows; the split is that of the largest RSS seen.
                if peak is None or now[1] > peak[1]:
                    peak = now
                peak = (max(peak[0], now[0]),) + peak[1:]
        if not ready:
            continue
        try:
            chunk = os.read(terminal, 65536)
        except OSError:
            break
        if not chunk:
            break
        screen += chunk
        while screen.count(b"Buttons:") > len(alerts):
            alerts.append(time.time())
            os.write(terminal, b"\r")
            answers.append(time.time())
    _, status, usage = os.wait4(pid, 0)
    ended = time.time()

    # For tools that stamp events with CLOCK_MONOTONIC (perf -k).
    print(f"monotonic_offset={time.time() - time.monotonic():.6f}")
    print(f"start={started:.6f}")
    print(f"end={ended:.6f}")
    print(f"exit={os.waitstatus_to_exitcode(status)}")
    print(f"alerts={len(alerts)}")
    for index, (shown, answered) in enumerate(zip(alerts, answers)):
        print(f"alert{index}={shown:.6f}")
        print(f"answer{index}={answered:.6f}")
    for pid, moment in ended_at.items():
        print(f"ended_{pid}={moment:.6f}")
    if not hold:
        # wait4 reports the larger of the installer's own peak and that of
        # the biggest child it reaped (a helper), as /usr/bin/time does.
        print(f"wait4_maxrss_kb={usage.ru_maxrss}")
    if peak:
        print(f"installer_vmhwm_kb={peak[0]}")
        print(f"installer_vmrss_max_kb={peak[1]}")
        print(f"installer_rss_anon_kb={peak[2]}")
        print(f"installer_rss_file_kb={peak[3]}")
    with open(sandbox + "/screen.txt", "wb") as transcript:
        transcript.write(screen)


main()
