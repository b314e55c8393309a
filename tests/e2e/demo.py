#!/usr/bin/env python3
"""The demo: a Wine prefix seeded with the Orvo toolkit's traces (its services, files, registry
keys and temporary folder, and the decoys beside them) with programs running under the names
of those Yes ends and those it must leave, a BEFORE listing, one run of the real
OrvoCleanup.exe answered Yes, OK, Done under Xvfb, the boxes and debug lines it produced, and
an AFTER listing of what went and what was left."""

from __future__ import annotations

import argparse
import shutil
import sys
import tempfile
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree free of __pycache__
sys.path.insert(0, str(Path(__file__).resolve().parent))
import winebox  # noqa: E402


# The Windows version the demo's prefix reports to the program.
VERSION = "win10"


def print_listing(title: str, states) -> None:
    print(f"\n===== {title} =====")
    for trace, state in states:
        print(f"   {trace.label}: {state or 'absent'}")


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__)
    winebox.add_program_arguments(parser)
    parser.add_argument("--log", type=Path, required=True, help="the demo's log file")
    args = parser.parse_args()

    log = winebox.Log(args.log.resolve(), echo=True)
    work = Path(tempfile.mkdtemp(prefix="orvo-demo."))
    prefix_path = work / "prefix"
    print(f"Booting a 64-bit Wine prefix in {prefix_path} (20 s natively, a few minutes "
          f"in the emulated machine)...", flush=True)
    winebox.boot_template(prefix_path, log)
    with winebox.Display(log) as display:
        prefix = winebox.Prefix(prefix_path, log, display)
        prefix.start_server()
        processes = winebox.Processes(prefix, winebox.sleeper_of(args), winebox.TRACES)
        try:
            winebox.seed(prefix, args, version=VERSION)
            processes.start()
            before = winebox.listing(prefix)
            print_listing("BEFORE", before)

            exe = winebox.DOWNLOADS + "\\OrvoCleanup.exe"
            prefix.host_path(winebox.DOWNLOADS).mkdir(parents=True, exist_ok=True)
            shutil.copy2(args.exe, prefix.host_path(exe))
            script = winebox.SCRIPTS["yes"]
            print(f"\n===== RUN: {exe}, answering "
                  f"{', '.join(step.key for step in script)} =====", flush=True)
            run = winebox.run_program(prefix, exe, winebox.DOWNLOADS, script)
            print(f"exit code {run.exit_code} after {run.seconds:.1f} s")
            print("boxes seen (from the relay trace):")
            for box in run.boxes:
                print(f"   {winebox.describe_box(box)}")
            lines = winebox.program_debug_lines(run)
            print(f"debug log of the program ({len(lines)} lines):")
            for line in lines:
                print(f"   {line.text}")
            if not lines:
                print("   (none)")
            problems = (run.problems + winebox.check_boxes(run, script) +
                        winebox.check_dll_guard(run) + run.crashes)
            if run.exit_code != 0:
                problems.append(f"exit code {run.exit_code}")

            going = [t for t in winebox.TRACES if not isinstance(t, winebox.ValueTrace) and
                     winebox.expected_present(t, "yes", VERSION) is False]
            after = winebox.listing(prefix, winebox.TRACES, going)
            print_listing("AFTER", after)
            print("\n===== WHAT CHANGED =====")
            was = dict(before)
            for trace, state in after:
                if isinstance(trace, winebox.ValueTrace):
                    wanted = winebox.expected_value(trace, ["yes"], VERSION)
                    verdict = ("gone" if state is None else "left" if state == was[trace]
                               else "changed")
                    note = "" if state == wanted else f"   <-- UNEXPECTED (wanted {wanted})"
                    if state != wanted:
                        problems.append(f"{trace.label}: {state}, wanted {wanted}")
                    print(f"   {verdict:<7} {trace.label}{note}")
                    continue
                must_stay = winebox.expected_present(trace, "yes", VERSION)
                verdict = "left" if state else "gone"
                if must_stay is None:
                    note = "   (either is fine)"
                elif (state is not None) != must_stay:
                    note = "   <-- UNEXPECTED"
                    problems.append(f"{trace.label}: {verdict}")
                elif must_stay and state != was[trace]:
                    verdict, note = "changed", f"   <-- UNEXPECTED (was {was[trace]})"
                    problems.append(f"{trace.label}: {state}, was {was[trace]}")
                else:
                    note = ""
                print(f"   {verdict:<7} {trace.label}{note}")
        finally:
            processes.close()
            prefix.stop()
            shutil.rmtree(work, ignore_errors=True)
    if problems:
        print("\nThe run did not go as the program should:")
        for problem in problems:
            print(f"   - {problem}")
        return 1
    print("\nThe run went as it should.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
