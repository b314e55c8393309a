#!/usr/bin/env python3
"""End-to-end tests: the real OrvoCleanup.exe in seeded Wine prefixes, boxes answered by key
presses under Xvfb, then the boxes, the exit code, the debug output, the programs it started,
the registry keys and values, the services, the files and the running processes checked. Each
case's prefix reports the Windows version the case is about to the program. One template
prefix is booted per run and copied for each case."""

from __future__ import annotations

import argparse
import dataclasses
import re
import shutil
import sys
import tempfile
import time
import traceback
from pathlib import Path
from typing import Optional

sys.dont_write_bytecode = True  # keep the source tree free of __pycache__
sys.path.insert(0, str(Path(__file__).resolve().parent))
import winebox  # noqa: E402


# Library names for which Wine's loader really maps a copy planted beside the program
# (found with plant_control.exe: for version, winmm, uxtheme, imagehlp, dbghelp, comctl32,
# shlwapi, secur32, wtsapi32 and others Wine maps its own library whatever is planted).
PLANTED_DLLS = ["dwmapi.dll", "userenv.dll", "cryptbase.dll", "propsys.dll", "profapi.dll",
                "srvcli.dll", "wkscli.dll", "msftedit.dll", "textshaping.dll"]

# Debug lines the program must write, in order, for each first answer (patterns matched
# against the program's OutputDebugString lines), and lines it must not write. Cancel ends
# before any step, so it writes nothing; No leaves the vendor key alone; Yes deletes it with
# its subtree and says how that ended (0 on a first run, 2 on a cleaned prefix, 5 when a key
# below it resists).
EXPECTED_LOG: dict[str, list[str]] = {
    "cancel": [],
    "no": [],
    "yes": [
        r"^\tmodRegistry\\fDeleteSubkeys passed: HKLM\\Software\\Tarnwick$",
        r"^\tmodRegistry\\fDeleteKey: $",
        r"^\t\t- Key: HKLM\\Software\\Tarnwick$",
        r"^\t\t- lResult(: 0 SUCCESS|: 2 NOT FOUND| \(0=Success 2=Not Found\): 5)$",
    ],
}
UNEXPECTED_LOG: dict[str, list[str]] = {
    "cancel": [r"."],
    "no": [r"HKLM\\Software\\Tarnwick$"],  # the vendor key itself, named in no line
    "yes": [],
}

# The shell-extension removal of No and Yes. The per-verb removal calls, in the order the
# program makes them: each routine once for each of its classes.
REMOVAL_CALLS = [
    ("InstAutoPelmEdition", ["AllFilesystemObjects"]),
    ("InstQsearch", ["AllFilesystemObjects"]),
    ("InstCopyPath", ["AllFilesystemObjects"]),
    ("InstFindTarget", ["lnkfile"]),
    ("InstCopyMoveTo", ["AllFilesystemObjects"]),
    ("InstOpenInNotepad", ["AllFilesystemObjects", "Unknown"]),
    ("InstCMDHere", ["*", "Directory", "Drive", "Directory\\Background"]),
    ("InstDefrag", ["AllFilesystemObjects"]),
    ("InstSecureDelete", ["AllFilesystemObjects"]),
    ("InstUploadToVT", ["AllFilesystemObjects"]),
    ("InstUnlockFile", ["AllFilesystemObjects"]),
    ("InstTakeOwner", ["AllFilesystemObjects"]),
    ("InstRunWithParms", ["exefile", "comfile", "batfile", "cmdfile", "vbsfile", "vbefile",
                          "wshfile", "wsffile", "Msi.Package", "Msi.Patch", "scrfile"]),
    ("InstWorkWithFile", ["AllFilesystemObjects"]),
    ("InstRegSearch", ["AllFilesystemObjects"]),
    ("InstFindDups", ["AllFilesystemObjects"]),
    ("InstIsDLLLoaded", ["dllfile"]),
    ("InstRegSvr", ["dllfile", "ocxfile", "ax_auto_file"]),
]
REMOVAL_CALL_LOG = [rf"^\t{routine}: Type={re.escape(cls)} Uninstall=True$"
                    for routine, classes in REMOVAL_CALLS for cls in classes]
# The saved default verb of "Unknown" written back (once, on the first run in a prefix).
WRITING_BACK = r"^\t\t- Writing back original default value for:  Unknown - openas$"
RESTORE_LOG = [r"^\tFixDefaults$", r"^\tFixDefaults: Info$", WRITING_BACK]
REMOVE_ALL_LOG = [r"^\tRemoveAll: bLoadConfig=False$", r"^\tRemove All: bforceaction=True$"]
TOOL_STARTED = r"^\tRemove All: Removing with original tool in: "
TOOL_CLEARED = r"^\tRemove All: Successfully removed shell extensions using original tool\.$"
TOOL_FAILED = (r"^\tRemove All: Failed to remove shell extensions using original tool\.  "
               r"Using this tool for removal\.\.\.$")
TOOL_NOT_FOUND = r"^\tRemove All: Original tool not found\.  Using this tool for removal\.\.\.$"
TOOL_REFUSED = r"^\t\t- Not run: .*TarnwickShellExtensions\.exe is outside the Program Files"
BUILT_IN_REMOVAL = r"^\tRemove All: Removing Shell Extensions\.\.\.$"
# A routine that caught a failure, or a removal call without its class.
CAUGHT_FAILURE = r"VB Error|Resuming after error|Aborting to avoid registry damage"


@dataclasses.dataclass
class Case:
    name: str
    answer: str  # the first box's answer: "cancel", "no" or "yes"
    about: str
    reuse: Optional[str] = None  # run again in the prefix an earlier case left
    planted: bool = False  # plant probe DLLs beside the program, then run the control
    screenshots: bool = False
    # Seed below the vendor key a key nothing in the prefix can delete (owned by SYSTEM, empty
    # DACL): the deletion ladder runs to its end, past the unsigned subinacl.exe double beside
    # the program (refused, and named in the log) to reg.exe by its full path; reg.exe doubles
    # beside the program and in the current folder must never run.
    sealed: bool = False
    # Plant a link to a folder outside the temporary folder inside it (winebox.FOLDER_LINK).
    # Under Wine the link stays, and with it the folders that hold it, so the cases without
    # it are the ones that show the whole temporary folder goes.
    folder_link: bool = False
    # Hold a file of the temporary folder open from another process for the whole run
    # (winebox.HELD_FILE): the program records it, and the folder that holds it, for deletion
    # at the next start, and its last box says so.
    held: bool = False
    # The Windows version the prefix reports to the program (a name of winebox.VERSIONS).
    version: str = "win10"
    # The toolkit's installer tool (the double) as the bookkeeping names it: "inside" the
    # installation's folder under Program Files, which the program may start; the same, with
    # a file beside it that makes it clear "Installed" ("clears"); or in a folder of the
    # user's ("outside"), which the program must refuse.
    tool: str = "inside"

    @property
    def location(self) -> str:
        """The installation's folder: "Installed Location", where the tool double lies."""
        return OUTSIDE_LOCATION if self.tool == "outside" else winebox.TOOLKIT_DIR


# A folder the user can write: a tool there must never be started by the elevated program.
OUTSIDE_LOCATION = "C:\\users\\root\\Tools\\"

SEALED = winebox.KeyTrace("HKLM\\Software\\Tarnwick\\Sealed", "owned by SYSTEM, empty DACL",
                          locked="system")
VENDOR_KEY = "HKLM\\Software\\Tarnwick"

# What the ladder writes when it has to go all the way (the sealed case), in order.
SEALED_LOG = [
    r"^\tmodRegistry\\fDeleteKey - Error:  5$",
    r"^\t\t- Attempting second run using subinacl\.\.\.$",
    r"^\tmodTakeOwn\\TakeOwnRegKey: Info$",
    r"^\t\t- Not run: C:\\users\\[^\\]+\\Downloads\\subinacl\.exe has no valid Microsoft "
    r"signature \(0x800B0100\)$",
    r"^\tmodRegistry\\fDeleteKey - Error:  5$",
    r"^\tmodRegistry\\fDeleteKey:  Still not working, attempting deletion with reg\.exe$",
    r'^\t\tcmd:  reg\.exe delete "HKLM\\Software\\Tarnwick" /f /reg:64$',
]
# How the sealed case starts reg.exe: the 64-bit one, by its full path through Sysnative,
# with the key quoted and the 64-bit view named.
REG_APPLICATION = r"^C:\\windows\\Sysnative\\reg\.exe$"
REG_COMMAND_LINE = (r'^"C:\\windows\\Sysnative\\reg\.exe" DELETE "HKLM\\Software\\Tarnwick" '
                    r"/f /reg:64$")


# Each version's branches of the shell-extension removal: No, Yes, and Yes again in the prefix
# Yes left (Windows 10 has them among the cases above).
VERSION_CASES = [
    case
    for version, name in (("winxp", "Windows XP"), ("vista", "Windows Vista"),
                          ("win7", "Windows 7"))
    for case in (
        Case(f"{version}-no", "no", f"Return (No) on {name}", version=version),
        Case(f"{version}-yes", "yes", f"y (Yes) on {name}", version=version),
        Case(f"{version}-yes-again", "yes", f"y again on the cleaned prefix on {name}",
             reuse=f"{version}-yes", version=version),
    )
]

CASES = [
    Case("cancel", "cancel", "Escape on the first box: the program ends, nothing changes",
         folder_link=True),
    Case("no", "no", "Return (No): Orvo's services, qsearch.exe, temporary folder and context-menu "
         "verbs go, the library stays; nothing behind the folder link goes", folder_link=True),
    Case("yes", "yes", "y (Yes): also the event-log library the 32-bit program sees, and mmc.exe "
         "ends", screenshots=True, folder_link=True),
    Case("yes-again", "yes", "y again on the cleaned prefix: ends normally", reuse="yes",
         folder_link=True),
    Case("planted-dlls", "yes", "run from Downloads beside planted DLLs: none is loaded",
         planted=True),
    Case("sealed-key", "yes", "y with an undeletable key below the vendor key: the whole ladder",
         sealed=True),
    *VERSION_CASES,
    Case("held-file", "no", "Return (No) while another program holds a file of the temporary "
         "folder open: it and its folder go at the next start, and the last box says so",
         held=True),
    Case("held-file-xp", "no", "the same on Windows XP", held=True, version="winxp"),
    Case("tool-clears", "no", "Return (No) on Windows Vista, the installer tool clears "
         "\"Installed\": the built-in removal is skipped", version="vista", tool="clears"),
    Case("tool-outside", "no", "Return (No) on Windows XP, the installer tool in a folder of the "
         "user's: never started, the built-in removal runs", version="winxp", tool="outside"),
]


def tool_tried(case: Case, answer: str, first: bool) -> bool:
    """Whether the run looks for the installer tool at all: only before Windows 7 (from 7 on
    the bookkeeping that names it is gone first), only on No (Yes has deleted the vendor key
    that holds the bookkeeping), and only in the first run in its prefix (a run before it took
    the bookkeeping away)."""
    return first and answer == "no" and case.version in winebox.PRE_WIN7


def expected_log(case: Case, answer: str, first: bool) -> list[str]:
    """The debug lines a run must write, in order; `first` when it is the first run in its
    prefix (then the saved default verb of "Unknown" is there to write back)."""
    if answer == "cancel":
        return []
    restore = RESTORE_LOG if first else []
    lines = []
    if answer == "yes":
        # The saved default verbs go back before the vendor key, which holds them, goes.
        lines += restore + EXPECTED_LOG["yes"]
    elif case.version not in winebox.PRE_WIN7:
        # From Windows 7 on, the cascading menus' removal restores them before it deletes the
        # bookkeeping.
        lines += restore
    lines += REMOVE_ALL_LOG
    if tool_tried(case, answer, first) and case.tool == "outside":
        tool = re.escape(case.location + winebox.INSTALLER_TOOL)
        lines += [r"^\tRemoveAll: Info$",
                  rf"^\t\t- Not run: {tool} is outside the Program Files folders, where only "
                  r"administrators may change programs$"]
    elif tool_tried(case, answer, first):
        lines.append(TOOL_STARTED + re.escape(case.location) + "$")
        if case.tool == "clears":
            return lines + [TOOL_CLEARED]
        lines.append(TOOL_FAILED)
    else:
        lines.append(TOOL_NOT_FOUND)
    lines += [BUILT_IN_REMOVAL, r"^\tFixDefaults$"]
    if answer == "no" and case.version in winebox.PRE_WIN7:
        lines += restore[1:]
    lines += REMOVAL_CALL_LOG
    if case.held:
        # The held file makes the folder's removal grant the administrators access before it
        # tries again: with the system's icacls.exe from Vista on, its cacls.exe before.
        tool = "cacls.exe" if case.version == "winxp" else "icacls.exe"
        lines.append(r'^\tShellandWaitForTermination:  "C:\\windows\\Sysnative\\' +
                     re.escape(tool) + r'" "' + re.escape(winebox.TEMP + "\\Orvo") + '"')
    return lines


def unexpected_log(case: Case, answer: str, first: bool) -> list[str]:
    """Patterns no debug line of the run may match."""
    lines = list(UNEXPECTED_LOG[answer])
    if answer == "cancel":
        return lines
    lines.append(CAUGHT_FAILURE)
    if not first:
        lines.append(WRITING_BACK)
    if not tool_tried(case, answer, first):
        lines += [TOOL_STARTED, TOOL_CLEARED, TOOL_FAILED, TOOL_REFUSED]
    elif case.tool == "outside":
        lines += [TOOL_CLEARED]
    elif case.tool == "clears":
        lines += [TOOL_NOT_FOUND, TOOL_REFUSED, TOOL_FAILED, BUILT_IN_REMOVAL, r"Uninstall=",
                  r"FixDefaults"]
    else:
        lines += [TOOL_NOT_FOUND, TOOL_REFUSED, TOOL_CLEARED]
    return lines


def written_once(case: Case, answer: str, first: bool) -> list[str]:
    """Patterns exactly one debug line of the run must match."""
    built_in = answer != "cancel" and not (tool_tried(case, answer, first) and
                                           case.tool == "clears")
    return [WRITING_BACK] if first and built_in else []


def missing_in_order(run: winebox.Run, patterns: list[str]) -> list[str]:
    """The first of the patterns that the program's own debug lines do not match in order."""
    lines = [d.text for d in winebox.program_debug_lines(run)]
    position = 0
    for pattern in patterns:
        regex = re.compile(pattern)
        while position < len(lines) and not regex.search(lines[position]):
            position += 1
        if position == len(lines):
            return [f"debug line matching {pattern!r} missing (in order)"]
        position += 1
    return []


# The sealed case also points the user's windir (HKCU\Environment, which an elevated program
# inherits; Wine keeps its own SystemRoot) at a folder of the user's holding decoys of the
# files the program deletes and doubles of the tools it starts: none may be touched or run.
USER_WINDIR = winebox.DOWNLOADS + "\\win"
USER_WINDIR_DECOYS = [
    winebox.FileTrace(USER_WINDIR + "\\qsearch.exe", "decoy in the user's windir"),
    winebox.FileTrace(USER_WINDIR + "\\system32\\tarnwickeventlogmsghelper.dll",
                      "decoy in the user's windir"),
]
USER_WINDIR_DOUBLES = ["subinacl.exe", "System32\\subinacl.exe", "Sysnative\\reg.exe",
                       "System32\\reg.exe", "Sysnative\\cmd.exe", "System32\\cmd.exe"]
# Doubles beside the program, which is also the current folder, where a bare name would find
# them first: an unsigned subinacl.exe (where the ladder would take it first), reg.exe and
# cmd.exe. None may run. Each double records its runs under its own name (as do the ones in the
# user's windir).
DOUBLES = ["subinacl.exe", "reg.exe", "cmd.exe"]
# The only cmd.exe the program may start: the system's, by its full path (Sysnative reaches
# the 64-bit one from the 32-bit program).
SYSTEM_CMD = re.compile(r"^C:\\windows\\(Sysnative|System32)\\cmd\.exe$", re.I)


def traces_of(case: Case) -> list:
    traces = (winebox.BASE_TRACES + winebox.shell_extension_traces(case.location) +
              ([SEALED, *USER_WINDIR_DECOYS] if case.sealed else []))
    if case.held:
        traces = winebox.with_held_file(traces)
    return winebox.with_folder_link(traces) if case.folder_link else traces


# What the last box says is left, when something is: a line for each trace, in the order the
# program looks them up again.
LEFT_AFTER_FOLDER_LINK = ("Done!\r\n\r\nCould not be removed:"
                          f"\r\nLink {winebox.FOLDER_LINK.path}"
                          f"\r\nFolder {winebox.TEMP}\\Orvo\\Cache"
                          f"\r\nFolder {winebox.TEMP}\\Orvo")
LEFT_AFTER_SEALED_KEY = ("Done!\r\n\r\nCould not be removed:"
                         "\r\nRegistry key HKEY_LOCAL_MACHINE\\Software\\Tarnwick")
GOING_AT_NEXT_START = ("Done!\r\n\r\nRemoved at the next start of Windows:"
                       f"\r\nFile {winebox.HELD_FILE}\r\nFolder {winebox.TEMP}\\Orvo")
# The installer tool double said it took the verbs out but left them: the box names the
# bookkeeping, then the verb keys. The relay trace cuts long texts short (with "..."), so only
# the first lines are compared; the full text of a long box is the unit tests' to check.
LEFT_BY_THE_TOOL = re.compile(
    r"Done!\r\n\r\nCould not be removed:"
    r"\r\nRegistry key HKEY_LOCAL_MACHINE\\Software\\Tarnwick\\Orvo\\Shell Extensions"
    r"\r\nRegistry key HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\AllFilesystemObjects\\shell"
    r"\\!0CopyPath\r\n.*", re.S)


def last_box_text(case: Case, earlier: list[str]) -> "str | re.Pattern":
    """What the last box must say after this run: "Done!" alone when nothing is left (under
    Wine a folder link, and with it the folders that hold it, always is)."""
    if case.held:
        return GOING_AT_NEXT_START
    if case.folder_link:
        return LEFT_AFTER_FOLDER_LINK
    if case.sealed:
        return LEFT_AFTER_SEALED_KEY
    if case.tool == "clears" and tool_tried(case, case.answer, not earlier):
        return LEFT_BY_THE_TOOL
    return winebox.DONE


def seen_by(case: Case, trace, answers: list[str]) -> list[str]:
    """The answers as the trace sees them: where the installer tool took the verbs out, No ran
    no built-in removal, and of the shell-extension traces only "Installed" changed."""
    if case.tool == "clears" and getattr(trace, "shell", False):
        return [winebox.TOOL_REMOVED if answer == "no" else answer for answer in answers]
    return answers


def must_stay(case: Case, trace, earlier: list[str],
              answer: Optional[str] = None) -> Optional[bool]:
    """Whether the trace must be there after the runs answered `earlier` in its prefix and,
    if given, the run answered `answer` (None: not checked). The sealed key, and the vendor
    key that holds it, stay whatever the answer. The processes are started afresh for each
    run, so only its own answer counts for them, and one that holds a file is ended only by a
    run that finds the file there."""
    if case.sealed and isinstance(trace, winebox.KeyTrace) and trace.path in (SEALED.path,
                                                                                VENDOR_KEY):
        return True
    if isinstance(trace, winebox.ProcessTrace):
        if answer is None or (trace.holds and not must_stay(case, trace.holds, earlier)):
            return True
        return winebox.expected_present(trace, answer, case.version)
    answers = seen_by(case, trace, earlier + ([answer] if answer else []))
    expected = [winebox.expected_present(trace, a, case.version) for a in answers]
    if False in expected:
        return False
    return None if None in expected else True


def value_wanted(case: Case, trace: winebox.ValueTrace, answers: list[str]) -> Optional[str]:
    """The state a value must show after the runs answered `answers` in its prefix."""
    return winebox.expected_value(trace, seen_by(case, trace, answers), case.version)


@dataclasses.dataclass
class Outcome:
    case: Case
    failures: list[str]
    seconds: float
    boxes: str = ""
    exit_code: Optional[int] = None
    debug_lines: int = 0
    log_path: Optional[Path] = None


class E2E:
    def __init__(self, args: argparse.Namespace):
        self.args = args
        self.work: Path = (args.work.resolve() if args.work else
                           Path(tempfile.mkdtemp(prefix="orvo-e2e.")))
        self.artifacts: Path = args.artifacts.resolve()
        self.prefixes: dict[str, winebox.Prefix] = {}
        self.history: dict[str, list[str]] = {}  # answers run so far in each prefix

    def run(self) -> int:
        started = time.monotonic()
        self.work.mkdir(parents=True, exist_ok=True)
        self.artifacts.mkdir(parents=True, exist_ok=True)
        main_log = winebox.Log(self.artifacts / "e2e.log", echo=True)
        cases = [c for c in CASES if not self.args.case or c.name in self.args.case]
        outcomes: list[Outcome] = []
        try:
            template = self.work / "template"
            winebox.boot_template(template, main_log)
            with winebox.Display(main_log) as display:
                for case in cases:
                    outcomes.append(self.run_case(case, template, display, main_log))
                    self.release_unneeded(cases[cases.index(case) + 1:])
        finally:
            for prefix in self.prefixes.values():
                prefix.stop()
                if not self.args.keep:
                    prefix.remove()
            if not self.args.keep:
                shutil.rmtree(self.work / "template", ignore_errors=True)
                if not self.args.work:
                    shutil.rmtree(self.work, ignore_errors=True)
        total = time.monotonic() - started
        self.summary(outcomes, total, main_log)
        main_log.close()
        return 0 if outcomes and all(not o.failures for o in outcomes) else 1

    def release_unneeded(self, remaining: list[Case]) -> None:
        wanted = {c.reuse for c in remaining if c.reuse}
        for name in [n for n in self.prefixes if n not in wanted]:
            prefix = self.prefixes.pop(name)
            prefix.stop()
            if not self.args.keep:
                prefix.remove()

    def run_case(self, case: Case, template: Path, display: winebox.Display,
                 main_log: winebox.Log) -> Outcome:
        log = winebox.Log(self.artifacts / f"case-{case.name}.log")
        main_log(f"--- case {case.name}: {case.about}")
        started = time.monotonic()
        outcome = Outcome(case, [], 0.0, log_path=log.path)
        try:
            self.case_body(case, template, display, log, outcome)
        except Exception as error:  # a setup step that failed: the case fails, others run
            outcome.failures.append(f"harness error: {error!r}")
            log(traceback.format_exc())
        outcome.seconds = time.monotonic() - started
        for failure in outcome.failures:
            log(f"FAIL: {failure}")
        log(f"case {case.name}: {'PASS' if not outcome.failures else 'FAIL'} "
            f"in {outcome.seconds:.1f} s")
        log.close()
        main_log(f"    {'PASS' if not outcome.failures else 'FAIL'} in {outcome.seconds:.1f} s "
                 f"(log {log.path})")
        for failure in outcome.failures:
            main_log(f"    FAIL: {failure}")
        return outcome

    def case_body(self, case: Case, template: Path, display: winebox.Display,
                  log: winebox.Log, outcome: Outcome) -> None:
        prefix = self.prefix_for(case, template, display, log)
        exe = self.install(case, prefix, log)
        with winebox.Processes(prefix, winebox.sleeper_of(self.args), traces_of(case),
                               self.args.holder):
            ran = self.run_and_check(case, prefix, exe, log, outcome)
        if case.planted and ran:
            outcome.failures += self.check_planting(prefix, log)

    def prefix_for(self, case: Case, template: Path, display: winebox.Display,
                   log: winebox.Log) -> winebox.Prefix:
        """A freshly seeded copy of the template, or the prefix an earlier case left."""
        if case.reuse:
            prefix = self.prefixes.get(case.reuse)
            if prefix is None:
                raise RuntimeError(f"case {case.reuse} left no prefix to run in again")
            prefix.log = log
            self.prefixes[case.name] = self.prefixes.pop(case.reuse)
            self.history[case.name] = self.history.pop(case.reuse)
            log(f"running again in the prefix of case {case.reuse}: {prefix.path}")
            return prefix
        prefix = winebox.clone(template, self.work / f"case-{case.name}", log, display)
        self.prefixes[case.name] = prefix
        self.history[case.name] = []
        prefix.start_server()
        seeded = time.monotonic()
        winebox.seed(prefix, self.args, traces_of(case), case.version)
        log(f"seeded in {time.monotonic() - seeded:.1f} s")
        # Control: the program is told the version the case is about, or the case proves
        # nothing about that version's branches.
        reported = winebox.program_version(prefix)
        log(f"Windows version reported to OrvoCleanup.exe ({case.version}): {reported}")
        if not reported.startswith(winebox.VERSIONS[case.version] + "."):
            raise RuntimeError(f"control: OrvoCleanup.exe is told Windows {reported!r}, not "
                               f"{winebox.VERSIONS[case.version]} ({case.version})")
        return prefix

    def install(self, case: Case, prefix: winebox.Prefix, log: winebox.Log) -> str:
        """Puts the program in Downloads with the doubles and DLLs the case plants beside it
        (and, in the sealed case, the user's windir); returns the program's path."""
        exe = winebox.DOWNLOADS + "\\OrvoCleanup.exe"
        prefix.host_path(winebox.DOWNLOADS).mkdir(parents=True, exist_ok=True)
        shutil.copy2(self.args.exe, prefix.host_path(exe))
        if case.planted:
            self.plant(prefix, log)
        for name in DOUBLES:
            shutil.copy2(self.args.recorder, prefix.host_path(winebox.DOWNLOADS) / name)
        if not case.reuse:
            tool = prefix.host_path(case.location + winebox.INSTALLER_TOOL)
            tool.parent.mkdir(parents=True, exist_ok=True)
            shutil.copy2(self.args.installer_tool, tool)
            if case.tool == "clears":
                (tool.parent / "clear-installed").write_bytes(b"")
            log(f"installer tool double in {case.location}" +
                (", told to clear \"Installed\"" if case.tool == "clears" else ""))
        if case.sealed and not case.reuse:
            for double in USER_WINDIR_DOUBLES:
                target = prefix.host_path(USER_WINDIR + "\\" + double)
                target.parent.mkdir(parents=True, exist_ok=True)
                shutil.copy2(self.args.recorder, target)
            code, out, err = prefix.retry("reg add HKCU\\Environment windir", lambda: prefix.wine(
                "reg", "add", "HKCU\\Environment", "/v", "windir", "/d", USER_WINDIR, "/f"))
            if code != 0:
                raise RuntimeError(f"reg add HKCU\\Environment windir failed: {out}{err}")
            # Control: a program started now sees the user's windir, or the case proves nothing.
            code, out, err = prefix.wine("cmd", "/c", "echo %windir%")
            log(f"windir of a new process: {out.strip()}")
            if out.strip().lower() != USER_WINDIR.lower():
                raise RuntimeError(f"control: a new process's windir is {out.strip()!r}, not "
                                   f"{USER_WINDIR!r}")
        return exe

    def run_and_check(self, case: Case, prefix: winebox.Prefix, exe: str, log: winebox.Log,
                      outcome: Outcome) -> bool:
        """Lists the prefix, runs the program answering its boxes, checks the run, and lists
        the prefix again: what must go is gone, and what must stay is as it was. False when
        the prefix was not as seeded, and the program was not run."""
        history = self.history[case.name]
        earlier = list(history)
        before = winebox.listing(prefix, traces_of(case))
        log("before the run:")
        for trace, state in before:
            log(f"  {trace.label}: {state or 'absent'}")
        cause = f"the run of case {case.reuse} went wrong" if case.reuse else "seeding went wrong"
        for trace, state in before:
            if isinstance(trace, winebox.ValueTrace):
                wanted = value_wanted(case, trace, earlier)
                if state != wanted:
                    outcome.failures.append(f"before the run, {trace.label} is "
                                            f"{state or 'absent'}, not {wanted or 'absent'}; "
                                            f"{cause}")
                continue
            must_be_there = must_stay(case, trace, earlier)
            if must_be_there is not None and (state is not None) != must_be_there:
                outcome.failures.append(f"before the run, {trace.label} is "
                                        f"{state or 'absent'}; {cause}")
        if outcome.failures:
            return False

        # Only what the program itself starts is recorded.
        for name in DOUBLES + [winebox.INSTALLER_TOOL]:
            prefix.host_path(winebox.SUPPORT_DIR + "\\" + name + ".log").unlink(missing_ok=True)
        script = winebox.SCRIPTS[case.answer]
        if case.answer != "cancel":
            script = script[:-1] + [dataclasses.replace(script[-1],
                                                        text=last_box_text(case, earlier))]
        shots = None
        if case.screenshots:
            shots = {step.tag: self.artifacts / f"box-{step.tag}.png" for step in script}
        run = winebox.run_program(prefix, exe, winebox.DOWNLOADS, script, shots)
        history.append(case.answer)
        log(f"program ran {run.seconds:.1f} s, exit code {run.exit_code}; trace {run.trace_path}")
        shutil.copy2(run.trace_path, self.artifacts / f"case-{case.name}.trace")
        outcome.exit_code = run.exit_code
        outcome.debug_lines = len(run.debug_lines)
        outcome.boxes = " / ".join(
            f"{(b.text or '?')[:12]!r}->{winebox.ANSWER_NAMES.get(b.retval, b.retval)}"
            for b in run.boxes)
        log("boxes seen:")
        for box in run.boxes:
            log(f"  {winebox.describe_box(box)}")
        log(f"debug output ({len(run.debug_lines)} lines; pid of the program: "
            f"{', '.join(sorted({b.pid for b in run.boxes})) or '?'}):")
        for line in run.debug_lines:
            log(f"  [{line.pid}] {line.text}")
        if shots:
            log("screenshots: " + ", ".join(str(p) for p in shots.values() if p.exists()))

        outcome.failures += run.problems
        outcome.failures += winebox.check_boxes(run, script)
        outcome.failures += winebox.check_dll_guard(run)
        if run.exit_code != 0:
            outcome.failures.append(f"exit code {run.exit_code}, expected 0")
        for line in run.crashes:
            outcome.failures.append(f"crash or loader error in the trace: {line.strip()}")
        outcome.failures += self.check_log(run, case, earlier)
        outcome.failures += self.check_doubles(prefix, case, run, log)
        outcome.failures += self.check_installer_tool(prefix, case, earlier, log)
        outcome.failures += self.check_cmd_starts(run, log)

        log("after the run:")
        was = dict(before)
        going = [t for t in traces_of(case) if must_stay(case, t, earlier, case.answer) is False]
        for trace, state in winebox.listing(prefix, traces_of(case), going):
            if isinstance(trace, winebox.ValueTrace):
                wanted = value_wanted(case, trace, history)
                log(f"  {trace.label}: {state or 'absent'}")
                if state != wanted:
                    outcome.failures.append(f"{trace.label} is {state or 'absent'}; it must be "
                                            f"{wanted or 'absent'} (was {was[trace] or 'absent'})")
                continue
            must_be_there = must_stay(case, trace, earlier, case.answer)
            log(f"  {trace.label}: {state or 'absent'}" +
                ("   (not checked)" if must_be_there is None else ""))
            if must_be_there and state is None:
                outcome.failures.append(f"{trace.label} was removed; it must stay")
            elif must_be_there and state != was[trace]:
                outcome.failures.append(f"{trace.label} changed: {was[trace]!r} before the run, "
                                        f"{state!r} after; it must stay as it was")
            if must_be_there is False and state is not None:
                outcome.failures.append(f"{trace.label} is still there ({state}); it must go")
        return True

    def check_log(self, run: winebox.Run, case: Case, earlier: list[str]) -> list[str]:
        """The expected debug lines, in order, among the program's own lines; none of the
        unexpected ones; and the lines written exactly once."""
        answer, first = case.answer, not earlier
        failures = missing_in_order(run, expected_log(case, answer, first))
        lines = [d.text for d in winebox.program_debug_lines(run)]
        for pattern in unexpected_log(case, answer, first):
            failures += [f"debug line {line!r} must not be written in this run"
                         for line in lines if re.search(pattern, line)]
        for pattern in written_once(case, answer, first):
            count = sum(1 for line in lines if re.search(pattern, line))
            if count != 1:
                failures.append(f"a debug line matching {pattern!r} must be written once; it "
                                f"was written {count} times")
        return failures

    def check_installer_tool(self, prefix: winebox.Prefix, case: Case, earlier: list[str],
                             log: winebox.Log) -> list[str]:
        """The installer tool double runs once, by its full path, with "/remove /force" and its
        own folder as the current folder, where the program may try it (and it did to
        "Installed" what the case told it); anywhere else it never runs."""
        path = prefix.host_path(f"{winebox.SUPPORT_DIR}\\{winebox.INSTALLER_TOOL}.log")
        lines = path.read_text(encoding="utf-8-sig", errors="replace").splitlines() \
            if path.is_file() else []
        log(f"installer tool double ran {len(lines)} time(s)" +
            "".join(f"\n  {line}" for line in lines))
        if not tool_tried(case, case.answer, not earlier) or case.tool == "outside":
            return [f"the installer tool ran: {line}" for line in lines]
        if len(lines) != 1:
            return [f"the installer tool should run once; it ran {len(lines)} times: {lines!r}"]
        failures = []
        tool = case.location + winebox.INSTALLER_TOOL
        program, command_line, folder, installed = (lines[0].split("\t") + ["?"] * 4)[:4]
        head = winebox.command_head(command_line)
        arguments = command_line[len(head) + (2 if command_line.startswith('"') else 0):]
        if program.lower() != tool.lower() or head.lower() != tool.lower():
            failures.append(f"the installer tool ran as {program!r} (command line "
                            f"{command_line!r}), not as {tool!r}")
        if arguments.strip() != "/remove /force":
            failures.append(f"the installer tool got {arguments.strip()!r}, not "
                            f"'/remove /force'")
        if folder.rstrip("\\").lower() != case.location.rstrip("\\").lower():
            failures.append(f"the installer tool ran in {folder!r}, not in its own folder "
                            f"{case.location!r}")
        wanted = "cleared" if case.tool == "clears" else "kept"
        if installed != wanted:
            failures.append(f"control: the installer tool double reports {installed!r} for "
                            f"\"Installed\", not {wanted!r}")
        return failures

    def check_doubles(self, prefix: winebox.Prefix, case: Case, run: winebox.Run,
                      log: winebox.Log) -> list[str]:
        """What the doubles recorded, and, in the sealed case, the ladder's log lines."""
        failures = []
        recorded = {}
        for name in DOUBLES:
            path = prefix.host_path(winebox.SUPPORT_DIR + "\\" + name + ".log")
            lines = path.read_text(encoding="utf-8-sig", errors="replace").splitlines() \
                if path.is_file() else []
            recorded[name] = lines
            log(f"{name} double ran {len(lines)} time(s)" + "".join(f"\n  {l}" for l in lines))
        for line in recorded["reg.exe"]:
            failures.append(f"a reg.exe double ran: {line}")
        for line in recorded["subinacl.exe"]:
            failures.append(f"an unsigned subinacl.exe double ran: {line}")
        for line in recorded["cmd.exe"]:
            failures.append(f"a cmd.exe double ran: {line}")
        if not case.sealed:
            return failures
        failures += missing_in_order(run, SEALED_LOG)
        lines = [d.text for d in winebox.program_debug_lines(run)]
        cmd_lines = [line for line in lines if "cmd:" in line]
        if len(cmd_lines) != 1:
            failures.append(f"reg.exe should run once; the log shows {cmd_lines!r}")
        # The 32-bit program reaches the 64-bit reg.exe through Sysnative (its own system32
        # is syswow64), and tells it the view: the vendor key lives in the 64-bit one.
        starts = [s for s in winebox.process_starts(run)
                  if "reg.exe" in f"{s.application} {s.command_line}".lower()]
        for start in starts:
            log(f"reg.exe started: application {start.application!r}, "
                f"command line {start.command_line!r}")
        # ShellExecuteEx passes no application name: the command line's head names it.
        wanted = [s for s in starts
                  if (s.application is None or re.search(REG_APPLICATION, s.application, re.I))
                  and re.search(REG_COMMAND_LINE, s.command_line or "", re.I)]
        if len(starts) != 1 or len(wanted) != 1:
            failures.append(f"reg.exe should be started once as {REG_APPLICATION!r} with a command "
                            f"line matching {REG_COMMAND_LINE!r}; the program started "
                            f"{[(s.application, s.command_line) for s in starts]!r}")
        return failures

    def check_cmd_starts(self, run: winebox.Run, log: winebox.Log) -> list[str]:
        """Every cmd.exe the program starts is the system's, named by its full path (a double
        anywhere else would record its run, but only where the harness planted one)."""
        failures = []
        for start in winebox.process_starts(run):
            # ShellExecuteEx passes no application name: the command line's head names it.
            program = start.application or winebox.command_head(start.command_line or "")
            if re.search(r"(^|\\)cmd(\.exe)?$", program, re.I):
                log(f"cmd.exe started: application {start.application!r}, "
                    f"command line {start.command_line!r}")
                if not SYSTEM_CMD.search(program):
                    failures.append(f"cmd.exe started as {program!r}, not by the system's full "
                                    f"path (command line {start.command_line!r})")
        return failures

    def plant(self, prefix: winebox.Prefix, log: winebox.Log) -> None:
        folder = prefix.host_path(winebox.DOWNLOADS)
        for name in PLANTED_DLLS:
            shutil.copy2(self.args.probe, folder / name)
        shutil.copy2(self.args.control, folder / "plant_control.exe")
        shutil.copy2(self.args.control, folder / "plant_guarded.exe")
        log(f"planted beside the program in {winebox.DOWNLOADS}: {', '.join(PLANTED_DLLS)}")

    def markers(self, prefix: winebox.Prefix, program: str) -> set[str]:
        folder = prefix.host_path(winebox.PLANT_MARKERS)
        if not folder.is_dir():
            return set()
        suffix = f"-by-{program}.loaded".lower()
        return {p.name.lower()[:-len(suffix)] + ".dll" for p in folder.iterdir()
                if p.name.lower().endswith(suffix)}

    def check_planting(self, prefix: winebox.Prefix, log: winebox.Log) -> list[str]:
        failures = []
        loaded = self.markers(prefix, "OrvoCleanup")
        log(f"planted DLLs loaded by OrvoCleanup.exe: {sorted(loaded) or 'none'}")
        for name in sorted(loaded):
            failures.append(f"OrvoCleanup.exe loaded the planted {name} from its own folder")
        # The control loads the same names the way an unguarded program would; each must
        # load from the planted copy, or the check above proves nothing.
        code, out, err = prefix.run(
            [winebox.WINE, winebox.DOWNLOADS + "\\plant_control.exe", *PLANTED_DLLS],
            cwd=prefix.host_path(winebox.DOWNLOADS))
        log(f"plant_control.exe exit {code}:\n{out.strip()}")
        control = self.markers(prefix, "plant_control")
        log(f"planted DLLs loaded by plant_control.exe: {sorted(control) or 'none'}")
        for name in PLANTED_DLLS:
            if name not in control:
                failures.append(f"control: plant_control.exe did not load the planted {name}, "
                                f"so the planting check cannot fail for it")
        # The same loads after the program's guard call: Wine must keep every planted copy
        # out, or the guard would not protect the program here either.
        code, out, err = prefix.run(
            [winebox.WINE, winebox.DOWNLOADS + "\\plant_guarded.exe", "--guarded",
             *PLANTED_DLLS], cwd=prefix.host_path(winebox.DOWNLOADS))
        log(f"plant_guarded.exe --guarded exit {code}:\n{out.strip()}")
        guarded = self.markers(prefix, "plant_guarded")
        log(f"planted DLLs loaded after SetDefaultDllDirectories: {sorted(guarded) or 'none'}")
        # A name Wine has no library for is simply not found then (126): that is fine.
        if code == 100:
            failures.append(f"control: plant_guarded.exe could not make the guard call: {out}")
        for name in sorted(guarded):
            failures.append(f"control: the planted {name} was loaded even after "
                            f"SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)")
        return failures

    def summary(self, outcomes: list[Outcome], total: float, log: winebox.Log) -> None:
        log("")
        log("=== e2e summary ===")
        for o in outcomes:
            verdict = "PASS" if not o.failures else "FAIL"
            log(f"{verdict}  {o.case.name:<17} {o.seconds:5.1f} s  exit={o.exit_code}  "
                f"debug lines={o.debug_lines}  boxes: {o.boxes}")
            for failure in o.failures:
                log(f"        - {failure}")
        failed = sum(1 for o in outcomes if o.failures)
        log(f"{len(outcomes) - failed} passed, {failed} failed, {total:.1f} s in all; "
            f"logs, traces and screenshots in {self.artifacts}")


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__)
    winebox.add_program_arguments(parser)
    parser.add_argument("--probe", type=Path, required=True, help="the planted probe DLL")
    parser.add_argument("--control", type=Path, required=True, help="plant_control.exe")
    parser.add_argument("--recorder", type=Path, required=True,
                        help="command_recorder.exe (the doubles of subinacl.exe, reg.exe and "
                             "cmd.exe)")
    parser.add_argument("--holder", type=Path, required=True,
                        help="file_holder.exe (holds a file of the temporary folder open)")
    parser.add_argument("--installer-tool", type=Path, required=True,
                        help="installer_tool_double.exe (the double of the toolkit's installer "
                             "tool)")
    parser.add_argument("--work", type=Path,
                        help="folder for the prefixes (default: a new folder under $TMPDIR or "
                             "/tmp, removed afterwards; keep it off a network share)")
    parser.add_argument("--artifacts", type=Path, required=True,
                        help="folder for logs, traces and screenshots")
    parser.add_argument("--case", action="append", help="run only this case (repeatable)")
    parser.add_argument("--keep", action="store_true", help="keep the prefixes afterwards")
    args = parser.parse_args()
    return E2E(args).run()


if __name__ == "__main__":
    sys.exit(main())
