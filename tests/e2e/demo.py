#!/usr/bin/env python3
"""The demo: a Wine prefix seeded with the Orvo toolkit's traces, a BEFORE listing, one run of
the real OrvoCleanup.exe answered Yes, OK, Done under Xvfb, the boxes and debug lines it
produced, and an AFTER listing of what went and what was left."""

from __future__ import annotations

import argparse
import shutil
import sys
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree free of __pycache__
sys.path.insert(0, str(Path(__file__).resolve().parent))
import winebox  # noqa: E402


def print_listing(title: str, prefix: winebox.Prefix) -> None:
    print(f"\n===== {title} =====")
    for trace in winebox.TRACES:
        print(f"-- {trace.label}")
        for line in trace.show(prefix):
            print(f"   {line}")


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__)
    winebox.add_program_arguments(parser)
    parser.add_argument("--work", type=Path, required=True, help="folder for the demo prefix")
    args = parser.parse_args()

    log = winebox.Log(args.work.resolve() / "demo.log", echo=True)
    prefix_path = args.work.resolve() / "prefix"
    print(f"Booting a 64-bit Wine prefix in {prefix_path} (about 20 s)...", flush=True)
    winebox.boot_template(prefix_path, log)
    with winebox.Display(log) as display:
        prefix = winebox.Prefix(prefix_path, log, display)
        prefix.start_server()
        try:
            winebox.seed(prefix, args.service, args.seed_dacl)
            print_listing("BEFORE", prefix)

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

            print_listing("AFTER", prefix)
            print("\n===== WHAT CHANGED =====")
            for trace in winebox.TRACES:
                state = trace.state(prefix, expect_gone=not winebox.expected_present(trace, "yes"))
                must_stay = winebox.expected_present(trace, "yes")
                verdict = ("left" if state else "gone") + (
                    "" if (state is not None) == must_stay else "   <-- UNEXPECTED")
                if (state is not None) != must_stay:
                    problems.append(f"{trace.label}: {'left' if state else 'gone'}")
                print(f"   {verdict:<5} {trace.label}")
        finally:
            prefix.stop()
    if problems:
        print("\nThe run did not go as the program should:")
        for problem in problems:
            print(f"   - {problem}")
        return 1
    print("\nThe run went as it should.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
