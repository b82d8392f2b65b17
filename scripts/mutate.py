#!/usr/bin/env python3
"""Seeds one small fault at a time into the code that needs no display (flipped
comparisons, swapped operators, constants off by one), rebuilds the unit
tests, runs them, and reports which faults no test caught. With --io, the
files that do I/O instead (files, sockets, processes, D-Bus, HTTP), checked by
the unit, widget and process tests, the last running the real program.

    scripts/mutate.py [--build DIR] [--per-file N] [--seed S] [--io] [--tests T,...] [FILE...]

--tests narrows the run to the named test programs (e.g. controller_tests), for
a quick look at what one program's cases catch in the files they cover.

The build folder must be configured already (scripts/build.sh). Each fault is
taken back before the next; an interrupted run restores the file it was in.
A fault that does not compile counts for nothing either way.
"""
import argparse
import os
import random
import re
import signal
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
PURE = [
    "Sources/kernel/CPULoad.cpp", "Sources/kernel/MemoryLoad.cpp",
    "Sources/kernel/NetstatScanner.cpp", "Sources/kernel/ProcStat.cpp",
    "Sources/graphs/PlotGeometry.cpp", "Sources/statwindow/StatWindowLayout.cpp",
    "Sources/statwindow/FadeCurve.cpp", "Sources/settings/SettingsText.cpp",
    "Sources/windowsystem/wayland/LayerPlacement.cpp", "netstat/NetDev.cpp",
    "Sources/kernel/DiskStats.cpp", "Sources/remote/NodeMetrics.cpp",
    "Sources/kernel/TemperatureSensors.cpp", "Sources/settings/PropertyList.cpp",
    "Sources/settings/NSUserDefaults-QVExt.cpp", "Sources/app/CommandLine.cpp",
    "Sources/kernel/GPUCards.cpp", "Sources/remote/HttpResponse.cpp",
    "Sources/remote/PrometheusAnswer.cpp",
]
IO = [
    "Sources/session/RegularFile.cpp", "Sources/settings/UserDefaults.cpp",
    "Sources/settings/SettingsFile.cpp", "Sources/session/SingleCopy.cpp", "netstat/main.cpp",
    "Sources/windowsystem/gnome/ShellCompanion.cpp", "Sources/remote/RemoteHost.cpp",
    "Sources/remote/HttpClient.cpp", "Sources/remote/QuietSocket.cpp",
    "Sources/remote/PrometheusFleet.cpp",
]
TARGETS = ["graph_tests", "window_tests", "settings_tests", "netstat_tests", "controller_tests"]
# Built with them: the helper, which netstat_tests also runs as a program.
ALSO_BUILT = ["quorvel-netstat"]
# The process tests run the real program; the test that needs Prometheus and
# its exporters is left to the suite.
IO_TARGETS = TARGETS + ["process_tests"]
IO_ALSO_BUILT = ALSO_BUILT + ["quorvel"]
IO_FILTER = "--gtest_filter=-*OnThisMachine.*"
# What each kind of token may become.
SWAPS = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "==",
         "+": "-", "-": "+", "&&": "||", "||": "&&"}
TOKEN = re.compile(r"(?<![<>=!&|+\-])(<=|>=|==|!=|&&|\|\||<|>|\+|-)(?![<>=&|+\-])|\b(\d+)\b")


def candidates(text):
    """(offset, old, new) for each place a fault can go: code only, not
    comments, strings, includes or templates' angle brackets."""
    found = []
    offset = 0
    for line in text.splitlines(keepends=True):
        code = line.split("//")[0]
        stripped = code.strip()
        if stripped.startswith("#") or '"' in code or "template" in code or "<Q" in code:
            offset += len(line)
            continue
        for m in TOKEN.finditer(code):
            if m.group(1):
                old = m.group(1)
                if old in ("<", ">") and re.search(r"\w<\w|>\(|::<|<\w+>", code):
                    continue  # most likely a template argument list
                found.append((offset + m.start(1), old, SWAPS[old]))
            else:
                old = m.group(2)
                found.append((offset + m.start(2), old, str(int(old) + 1)))
        offset += len(line)
    return found


def run(cmd, **kw):
    return subprocess.run(cmd, cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          text=True, **kw)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build")
    parser.add_argument("--per-file", type=int, default=4)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--io", action="store_true")
    parser.add_argument("--tests", default="")
    parser.add_argument("files", nargs="*")
    args = parser.parse_args()
    # Killed (a time-out, a session ending): the fault in place is taken back
    # as on Ctrl-C.
    signal.signal(signal.SIGTERM, signal.default_int_handler)
    files = args.files or (IO if args.io else PURE)
    targets = IO_TARGETS if args.io else TARGETS
    if args.tests:
        targets = args.tests.split(",")
    also_built = IO_ALSO_BUILT if args.io else ALSO_BUILT
    rng = random.Random(args.seed)
    build_cmd = ["cmake", "--build", args.build, "-j2", "--target", *targets, *also_built]
    if run(build_cmd).returncode != 0:
        sys.exit("the unmutated tree does not build")
    binaries = [str(Path(args.build) / "tests" / target) for target in targets]

    def tests_pass():
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        try:
            return all(run([binary, "--gtest_brief=1", IO_FILTER], env=env,
                           timeout=300).returncode == 0 for binary in binaries)
        except subprocess.TimeoutExpired:
            return False  # a fault that hangs a test is caught

    caught = survived = 0
    for name in files:
        path = ROOT / name
        original = path.read_text()
        places = candidates(original)
        rng.shuffle(places)
        try:
            for offset, old, new in places[: args.per_file]:
                path.write_text(original[:offset] + new + original[offset + len(old):])
                line = original.count("\n", 0, offset) + 1
                if run(build_cmd).returncode != 0:
                    print(f"  {name}:{line} {old} -> {new}: does not build")
                    continue
                if not tests_pass():
                    caught += 1
                    print(f"  {name}:{line} {old} -> {new}: caught")
                else:
                    survived += 1
                    print(f"  {name}:{line} {old} -> {new}: SURVIVED")
        finally:
            path.write_text(original)
    run(build_cmd)
    total = caught + survived
    print(f"{caught} of {total} faults caught" + (f" ({100 * caught // total} %)" if total else ""))


if __name__ == "__main__":
    main()
