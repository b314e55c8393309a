"""Wine prefixes seeded with the Orvo toolkit's traces, and OrvoCleanup.exe run in them.

One module for the end-to-end tests (run_e2e.py) and the demo (demo.py): boot a
64-bit prefix, copy it, seed it from the TRACES table, run the real program under
Xvfb answering its message boxes with key presses, and read back the boxes (from
Wine's relay trace), the program's debug output and what is left in the prefix.
Standard library only.
"""

from __future__ import annotations

import dataclasses
import os
import re
import shutil
import signal
import subprocess
import time
from pathlib import Path
from typing import Callable, Iterable, Optional

# The 32-bit loader: it runs the shipped 32-bit OrvoCleanup.exe as a WOW64 process in the
# 64-bit prefix, and the prefix's own tools (reg.exe with /reg:64 reaches the 64-bit view).
WINE = "wine"
WINESERVER = "wineserver"

# How long any one wait of the harness may last (a box to appear, the program to end, a Wine
# command, a service to reach its state) before it counts as a failure. Every wait is a
# condition polled until it holds; this deadline only bounds a failure, so it is generous:
# inside the emulated machine Wine runs about 8 times slower than natively.
DEADLINE = float(os.environ.get("ORVO_WINE_DEADLINE", "600"))
# How long an answered box may stay on screen before its click and key are sent again (Wine
# keeps an answered box about 2 s natively).
KEY_RETRY = 30.0

CAPTION = "Orvo Cleanup"

# Message box styles and answers, as the program passes and receives them.
MB_OK = 0x0
MB_YESNOCANCEL_DEFBUTTON2 = 0x103
IDOK, IDCANCEL, IDYES, IDNO = 1, 2, 6, 7
ANSWER_NAMES = {IDOK: "OK", IDCANCEL: "Cancel", IDYES: "Yes", IDNO: "No", -1: "none"}

# Where the test programs live inside a prefix, and where a user runs the program.
SUPPORT_DIR = "C:\\e2e-support"
SERVICE_EXE = SUPPORT_DIR + "\\orvo_test_service.exe"
SEED_DACL_EXE = SUPPORT_DIR + "\\seed_key_dacl.exe"
DOWNLOADS = "C:\\users\\root\\Downloads"
PLANT_MARKERS = "C:\\planted"
# The 32-bit program's %TEMP% in a prefix of this Wine (seeding checks it), and the folder of
# the programs started under the names the cleanup must or must not end.
TEMP = "C:\\users\\root\\Temp"
SLEEPERS_DIR = "C:\\e2e-sleepers"


class Log:
    """A case log file; lines can also be echoed to the console."""

    def __init__(self, path: Path, echo: bool = False):
        self.path = path
        self.echo = echo
        path.parent.mkdir(parents=True, exist_ok=True)
        self._file = open(path, "a", encoding="utf-8")

    def __call__(self, line: str = "") -> None:
        self._file.write(line + "\n")
        self._file.flush()
        if self.echo:
            print(line, flush=True)

    def close(self) -> None:
        self._file.close()


# --------------------------------------------------------------------------
# X display


class Display:
    """One Xvfb server for a whole run (xdotool answers boxes on it)."""

    def __init__(self, log: Callable[[str], None]):
        self.log = log
        self.name = ""
        self._proc: Optional[subprocess.Popen] = None

    def __enter__(self) -> "Display":
        read_end, write_end = os.pipe()
        self._proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten",
             "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            stdin=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read_end, 16)
            if not chunk:
                raise RuntimeError("Xvfb did not start")
            number += chunk
        os.close(read_end)
        self.name = ":" + number.decode().strip()
        self.log(f"Xvfb running on display {self.name} (pid {self._proc.pid})")
        return self

    def __exit__(self, *exc) -> None:
        if self._proc is not None:
            self._proc.terminate()
            try:
                self._proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self._proc.kill()

    def _env(self) -> dict:
        return dict(os.environ, DISPLAY=self.name)

    def windows(self, title: str) -> list[str]:
        """X window ids whose name is exactly `title`."""
        pattern = "^" + re.escape(title) + "$"
        done = subprocess.run(["xdotool", "search", "--name", pattern], env=self._env(),
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        return done.stdout.split()

    def answer(self, window: str, key: str, ended: Callable[[], bool],
               before_key: Callable[[], None] = lambda: None) -> bool:
        """Activates the box with a click in its corner (no button there), presses the key in
        it and waits until the box is gone (or the program has ended). Without the click, a
        box that comes up after the program has run other programs is not Wine's active window
        and ignores the key; a box still there after a while missed the click or the key (X
        shows no focus here: there is no window manager), so both are sent again.
        `before_key` runs once, after the first click (a screenshot). False when the box
        never went before the deadline."""
        deadline = time.monotonic() + DEADLINE
        first = True
        while True:
            subprocess.run(["xdotool", "mousemove", "--window", window, "4", "4", "click", "1"],
                           env=self._env(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=DEADLINE)
            time.sleep(0.5)  # not a wait for a state: a missed key is sent again below
            if first:
                before_key()
                first = False
            subprocess.run(["xdotool", "key", "--window", window, key], env=self._env(),
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=DEADLINE)
            again = min(deadline, time.monotonic() + KEY_RETRY)
            while time.monotonic() < again:
                if window not in self.windows(CAPTION) or ended():
                    return True
                time.sleep(0.1)
            if time.monotonic() >= deadline:
                return False

    def screenshot(self, path: Path) -> bool:
        path.parent.mkdir(parents=True, exist_ok=True)
        done = subprocess.run(["import", "-window", "root", str(path)], env=self._env(),
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return done.returncode == 0


# --------------------------------------------------------------------------
# Prefixes


class Prefix:
    """A 64-bit Wine prefix, driven with its own environment and a kept-alive server."""

    def __init__(self, path: Path, log: Callable[[str], None], display: Optional[Display]):
        self.path = path
        self.log = log
        self.display = display
        self._serial = 0
        self.runs = 0  # runs of the program in this prefix

    def env(self, debug: str = "-all") -> dict:
        env = dict(os.environ, WINEPREFIX=str(self.path), WINEARCH="win64", WINEDEBUG=debug,
                   WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d")
        if self.display is not None:
            env["DISPLAY"] = self.display.name
        else:
            env.pop("DISPLAY", None)
        return env

    def run(self, args: list[str], debug: str = "-all", cwd: Optional[Path] = None,
            timeout: float = DEADLINE) -> tuple[int, str, str]:
        """Runs a command in the prefix; output goes through files (never pipes: Wine's
        background processes would hold a pipe open). Returns (exit code, stdout, stderr)."""
        self._serial += 1
        out_path = self.scratch() / f"{self._serial}.out"
        err_path = self.scratch() / f"{self._serial}.err"
        with open(out_path, "wb") as out, open(err_path, "wb") as err:
            done = subprocess.run(args, env=self.env(debug), cwd=cwd, stdin=subprocess.DEVNULL,
                                  stdout=out, stderr=err, timeout=timeout)
        return (done.returncode, out_path.read_text(errors="replace"),
                err_path.read_text(errors="replace"))

    def wine(self, *args: str, debug: str = "-all",
             timeout: float = DEADLINE) -> tuple[int, str, str]:
        return self.run([WINE, *args], debug=debug, timeout=timeout)

    def start_server(self) -> None:
        """Keeps one wineserver for the prefix until stop(): seeding, the program and the
        checks then share one set of background processes (services.exe, explorer)."""
        subprocess.run([WINESERVER, "-p"], env=self.env(), check=True)

    def stop(self) -> None:
        subprocess.run([WINESERVER, "-k"], env=self.env(), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        subprocess.run([WINESERVER, "-w"], env=self.env(), timeout=DEADLINE)

    def scratch(self) -> Path:
        """A folder beside the prefix for command output and traces; removed with it."""
        folder = self.path.parent / (self.path.name + ".out")
        folder.mkdir(parents=True, exist_ok=True)
        return folder

    def stores_dos_attributes(self) -> bool:
        """Whether Wine can keep the hidden and system attributes in this prefix: it stores
        them as extended attributes, which tmpfs before Linux 6.6 (the emulated machine's
        /tmp) refuses. Read-only lives in the file's mode and is kept everywhere."""
        probe = self.path / ".e2e-xattr-probe"
        probe.write_bytes(b"")
        try:
            os.setxattr(probe, "user.e2e-probe", b"1")
            return True
        except OSError:
            return False
        finally:
            probe.unlink()

    def remove(self) -> None:
        shutil.rmtree(self.path, ignore_errors=True)
        shutil.rmtree(self.path.parent / (self.path.name + ".out"), ignore_errors=True)

    def host_path(self, windows_path: str) -> Path:
        """The Linux path of a C:\\ path, matching each existing component without regard to
        case, as Wine does."""
        drive, _, rest = windows_path.partition(":\\")
        if drive.upper() != "C":
            raise ValueError(f"only C: paths are mapped: {windows_path}")
        current = self.path / "drive_c"
        for part in [p for p in rest.split("\\") if p]:
            candidate = current / part
            if not candidate.exists() and current.is_dir():
                for entry in current.iterdir():
                    if entry.name.lower() == part.lower():
                        candidate = entry
                        break
            current = candidate
        return current

    def put_file(self, windows_path: str, data: bytes) -> None:
        path = self.host_path(windows_path)
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)

    def retry(self, what: str, step: Callable[[], tuple[int, str, str]],
              attempts: int = 3) -> tuple[int, str, str]:
        """Runs a setup step, again if it fails (Wine's sc create and reg export fail once in
        a while); every retry is written to the log."""
        result = step()
        for attempt in range(2, attempts + 1):
            if result[0] == 0:
                break
            self.log(f"setup: {what} failed (exit {result[0]}): {result[2].strip()[:200]}; "
                     f"retrying (attempt {attempt})")
            time.sleep(0.5)
            result = step()
        return result


# The calls Wine's relay trace shows for every run: the boxes, the call that locks the
# program's DLL search to the system folder, and every process start with its program and
# command line (kernel32 forwards both to kernelbase).
RELAYED = ["user32.MessageBoxW", "user32.MessageBoxA", "user32.MessageBoxIndirectW",
           "kernel32.SetDefaultDllDirectories", "kernelbase.SetDefaultDllDirectories",
           "kernel32.CreateProcessW", "kernelbase.CreateProcessW"]


def boot_template(path: Path, log: Callable[[str], None]) -> Prefix:
    """Boots a fresh 64-bit prefix and sets what every case needs: the relay filter for the
    message box calls, and no crash dialog (a crash must end the run, not wait for a click)."""
    shutil.rmtree(path, ignore_errors=True)
    path.parent.mkdir(parents=True, exist_ok=True)
    prefix = Prefix(path, log, None)
    started = time.monotonic()
    code, _, err = prefix.run([WINE, "wineboot", "-i"])
    subprocess.run([WINESERVER, "-w"], env=prefix.env(), timeout=DEADLINE)
    if code != 0:
        raise RuntimeError(f"wineboot -i failed with {code}: {err[-2000:]}")
    settings = [
        ("HKCU\\Software\\Wine\\Debug", "RelayInclude", "REG_SZ", ";".join(RELAYED)),
        ("HKCU\\Software\\Wine\\WineDbg", "ShowCrashDialog", "REG_DWORD", "0"),
    ]
    prefix.start_server()
    for key, name, kind, data in settings:
        code, _, err = prefix.retry(f"reg add {key}\\{name}", lambda: prefix.wine(
            "reg", "add", key, "/v", name, "/t", kind, "/d", data, "/f"))
        if code != 0:
            raise RuntimeError(f"reg add {key} /v {name} failed: {err}")
    prefix.stop()
    shutil.rmtree(prefix.scratch(), ignore_errors=True)
    log(f"template prefix booted in {time.monotonic() - started:.1f} s: {path}")
    return prefix


def clone(template: Path, path: Path, log: Callable[[str], None],
          display: Optional[Display]) -> Prefix:
    """A copy of a booted prefix (seconds, where booting takes ~20 s)."""
    shutil.rmtree(path, ignore_errors=True)
    shutil.rmtree(path.parent / (path.name + ".out"), ignore_errors=True)
    started = time.monotonic()
    subprocess.run(["cp", "-a", str(template), str(path)], check=True)
    log(f"prefix copied in {time.monotonic() - started:.1f} s: {path}")
    return Prefix(path, log, display)


# --------------------------------------------------------------------------
# The prefix's state, asked in one Wine start (machine_state.exe)

MACHINE_STATE_EXE = SUPPORT_DIR + "\\machine_state.exe"


# How many characters of queries one start of machine_state.exe gets: a Windows command line
# holds at most 32767, and a listing of every trace comes close to half of that.
QUERY_CHARS = 24000


def query_states(prefix: Prefix, queries: list[str]) -> dict[str, str]:
    """The answer of machine_state.exe for each query ("key:HKLM\\...", "value:HKLM\\...|name",
    "service:NAME", ...): "present", "absent", "denied", a service state such as "RUNNING", a
    value such as "REG_SZ:text", or "error N". One start of the program, or a few when the
    queries would not fit on one command line."""
    answers: dict[str, str] = {}
    batch: list[str] = []
    for query in queries + [None]:
        if batch and (query is None or sum(len(q) + 3 for q in batch + [query]) > QUERY_CHARS):
            answers.update(query_batch(prefix, batch))
            batch = []
        if query is not None:
            batch.append(query)
    return answers


def query_batch(prefix: Prefix, queries: list[str]) -> dict[str, str]:
    code, out, err = prefix.retry("machine_state.exe", lambda: prefix.wine(
        MACHINE_STATE_EXE, *queries))
    answers = dict(line.rstrip("\r").split("\t", 1) for line in out.splitlines() if "\t" in line)
    missing = [q for q in queries if q not in answers]
    if code != 0 or missing:
        raise RuntimeError(f"machine_state.exe failed ({code}) for {missing or queries}: "
                           f"{out}{err}")
    return answers


def wait_states(prefix: Prefix, queries: list[str], done: Callable[[str], bool]) -> dict[str, str]:
    """Asks again until `done` holds for every answer or the deadline passes; the last
    answers. A stopped service disappears only once its process has ended."""
    deadline = time.monotonic() + DEADLINE
    answers = query_states(prefix, queries)
    while not all(done(answers[q]) for q in queries) and time.monotonic() < deadline:
        time.sleep(0.5)
        answers = query_states(prefix, queries)
    return answers


def create_services(prefix: Prefix, names: list[str], started: list[str]) -> None:
    for name in names:
        code, out, err = prefix.retry(f"sc create {name}", lambda: prefix.wine(
            "sc", "create", name, "binPath=", SERVICE_EXE))
        if code != 0:
            raise RuntimeError(f"sc create {name} failed ({code}): {out}{err}")
    for name in started:
        code, out, err = prefix.wine("sc", "start", name)
        if code != 0:
            raise RuntimeError(f"sc start {name} failed ({code}): {out}{err}")
    queries = [f"service:{name}" for name in started]
    answers = wait_states(prefix, queries, lambda state: state == "RUNNING")
    for query in queries:
        if answers[query] != "RUNNING":
            raise RuntimeError(f"{query} did not reach RUNNING (state {answers[query]})")


# --------------------------------------------------------------------------
# The toolkit's traces, and the decoys beside them
#
# Each row is something seeded into a prefix and looked for afterwards. `removed_by`
# names the first-box answers ("yes", "no") after which the program must have removed
# it; a row removed by none must survive every run, unchanged; after an answer in
# `undecided_by` whether it is there is not checked (only logged). A row that Windows
# must be asked about (registry, Service Control Manager, running processes, a file's
# attributes) names its `query` for machine_state.exe; `state` turns the answer (and, for
# files, the prefix's folder) into None when the trace is not there. `lags` says that its
# removal may show only a moment after the program has ended (a stopped service, an ended
# process), so a listing asks again until it shows.


@dataclasses.dataclass(frozen=True)
class ServiceTrace:
    name: str
    running: bool = False
    removed_by: frozenset = frozenset()
    lags = True

    @property
    def label(self) -> str:
        return f"service {self.name}"

    @property
    def query(self) -> str:
        return f"service:{self.name}"

    def state(self, prefix: Prefix, answer: Optional[str]) -> Optional[str]:
        return None if answer == "absent" else answer


@dataclasses.dataclass(frozen=True)
class FileTrace:
    """A file with known contents. `attributes` ("readonly", "hidden", "system") are set when
    it is seeded and read back through Windows; they are given only outside the system
    folders, whose 32-bit view is redirected."""
    path: str  # the file's real location (64-bit names: syswow64, not system32)
    note: str = ""
    removed_by: frozenset = frozenset()
    attributes: tuple = ()
    lags = False

    @property
    def label(self) -> str:
        extra = ", ".join(([self.note] if self.note else []) + list(self.attributes))
        return f"file {self.path}" + (f" ({extra})" if extra else "")

    @property
    def query(self) -> Optional[str]:
        return f"file:{self.path}" if self.attributes else None

    @property
    def contents(self) -> bytes:
        return f"seeded by the e2e harness: {self.path}\r\n".encode()

    def seed(self, prefix: Prefix) -> None:
        prefix.put_file(self.path, self.contents)

    def state(self, prefix: Prefix, answer: Optional[str]) -> Optional[str]:
        path = prefix.host_path(self.path)
        if not path.is_file():
            return None
        state = f"present, {path.stat().st_size} bytes"
        if path.read_bytes() != self.contents:
            state += ", contents changed"
        return state + (f", Windows sees {answer}" if self.query else "")


@dataclasses.dataclass(frozen=True)
class FolderTrace:
    path: str
    note: str = ""
    removed_by: frozenset = frozenset()
    undecided_by: frozenset = frozenset()
    query = None
    lags = False

    @property
    def label(self) -> str:
        return f"folder {self.path}" + (f" ({self.note})" if self.note else "")

    def seed(self, prefix: Prefix) -> None:
        prefix.host_path(self.path).mkdir(parents=True, exist_ok=True)

    def state(self, prefix: Prefix, answer: Optional[str]) -> Optional[str]:
        path = prefix.host_path(self.path)
        return "present" if path.is_dir() and not path.is_symlink() else None


@dataclasses.dataclass(frozen=True)
class LinkTrace:
    """A folder link: a Unix symlink made on the Linux side, which Wine lists as a folder with
    FILE_ATTRIBUTE_REPARSE_POINT (the only kind of folder link Wine shows as one)."""
    path: str
    target: str
    note: str = ""
    removed_by: frozenset = frozenset()
    undecided_by: frozenset = frozenset()
    lags = False

    @property
    def label(self) -> str:
        return (f"folder link {self.path} -> {self.target}" +
                (f" ({self.note})" if self.note else ""))

    @property
    def query(self) -> str:
        return f"file:{self.path}"

    def seed(self, prefix: Prefix) -> None:
        link = prefix.host_path(self.path)
        link.parent.mkdir(parents=True, exist_ok=True)
        # Relative, so that the link still points into its own prefix when the prefix is copied.
        link.symlink_to(os.path.relpath(prefix.host_path(self.target), link.parent),
                        target_is_directory=True)

    def state(self, prefix: Prefix, answer: Optional[str]) -> Optional[str]:
        link = prefix.host_path(self.path)
        if link.is_symlink():
            dangling = "" if link.exists() else "dangling "
            return f"present, a {dangling}link to {os.readlink(link)}, Windows sees {answer}"
        if link.exists():
            return f"present, no longer a link ({'folder' if link.is_dir() else 'file'})"
        return None


@dataclasses.dataclass(frozen=True)
class ProcessTrace:
    """A program running in the prefix's server during the run: the sleeper, copied to
    `folder` under `name` and started before the run (Processes). A program that may hold a
    file the cleanup deletes (`holds`) is ended only by a run that finds that file there."""
    name: str
    folder: str = SLEEPERS_DIR
    note: str = ""
    removed_by: frozenset = frozenset()
    holds: Optional[FileTrace] = None
    # The program copied there ("sleeper", or "holder": file_holder.exe, which holds the file
    # its arguments name open without sharing) and its arguments.
    program: str = "sleeper"
    args: tuple = ()
    lags = True

    @property
    def label(self) -> str:
        return f"process {self.image}" + (f" ({self.note})" if self.note else "")

    @property
    def image(self) -> str:
        return self.folder + "\\" + self.name

    @property
    def query(self) -> str:
        return f"process:{self.name}"

    def state(self, prefix: Prefix, answer: Optional[str]) -> Optional[str]:
        return None if answer == "absent" else answer


@dataclasses.dataclass(frozen=True)
class KeyTrace:
    """A registry key, named by its native path as the 64-bit reg.exe sees it (the 32-bit
    view's keys below HKLM\\Software\\Wow6432Node), seeded with `values` ((name, data) pairs:
    text for REG_SZ, a number for REG_DWORD; "" names the default value). `locked` seeds it
    with an empty DACL and that owner ("administrators" or "system"). On the Windows versions
    in `kept_on` the program leaves it whatever the answer. `shell` marks the traces of the
    toolkit's context-menu verbs and their bookkeeping."""
    path: str
    note: str = ""
    removed_by: frozenset = frozenset()
    locked: Optional[str] = None
    values: tuple = (("SeededBy", "e2e"),)
    kept_on: frozenset = frozenset()
    shell: bool = False
    lags = False

    @property
    def label(self) -> str:
        return f"key {self.path}" + (f" ({self.note})" if self.note else "")

    @property
    def query(self) -> str:
        return f"key:{self.path}"

    def state(self, prefix: Prefix, answer: Optional[str]) -> Optional[str]:
        if answer == "absent":
            return None
        if answer == "denied":
            return "present, DACL allows nobody" + (f", owner {self.locked}" if self.locked
                                                    else "")
        return answer


def value_state(data) -> Optional[str]:
    """How machine_state.exe shows a value holding `data` (None: no value)."""
    if data is None:
        return None
    if isinstance(data, tuple):  # a list of strings (REG_MULTI_SZ)
        return "REG_MULTI_SZ:" + "".join(f"[{item}]" for item in data)
    return f"REG_DWORD:{data}" if isinstance(data, int) else f"REG_SZ:{data}"


@dataclasses.dataclass(frozen=True)
class ValueTrace:
    """A registry value of a key named as KeyTrace names it ("" names the default value),
    seeded with `data` (text for REG_SZ, a number for REG_DWORD; None: not seeded, so absent
    before the first run). After an answer in `removed_by` it is gone; after one in
    `written_by` it holds `becomes`; after any other answer, and on the versions in
    `kept_on`, it holds what it held before. `shell` as for KeyTrace."""
    key: str
    name: str
    data: object = None
    note: str = ""
    removed_by: frozenset = frozenset()
    written_by: frozenset = frozenset()
    becomes: object = None
    kept_on: frozenset = frozenset()
    shell: bool = False
    lags = False

    @property
    def label(self) -> str:
        return (f"value {self.key}|{self.name or '(default)'}" +
                (f" ({self.note})" if self.note else ""))

    @property
    def query(self) -> str:
        return f"value:{self.key}|{self.name}"

    def state(self, prefix: Prefix, answer: Optional[str]) -> Optional[str]:
        return None if answer == "absent" else answer


YES_NO = frozenset({"yes", "no"})
YES = frozenset({"yes"})

EVENT_LOG_LIBRARY = FileTrace("C:\\windows\\syswow64\\tarnwickeventlogmsghelper.dll",
                              "the 32-bit program's %SystemRoot%\\system32", removed_by=YES)

TOOLKIT_SERVICES = ("OrvoStartupKillService", "ReaperPlusService", "Orvo_CFSvc")

BASE_TRACES = [
    ServiceTrace("OrvoStartupKillService", removed_by=YES_NO),
    ServiceTrace("ReaperPlusService", running=True, removed_by=YES_NO),
    ServiceTrace("Orvo_CFSvc", removed_by=YES_NO),
    ServiceTrace("KeepThisService"),
    FileTrace("C:\\windows\\qsearch.exe", removed_by=YES_NO),
    FileTrace("C:\\windows\\qsearch.exe.bak", "decoy"),
    FileTrace("C:\\windows\\qsearch2.exe", "decoy"),
    # The library where the 32-bit program sees %SystemRoot%\\system32 (syswow64), and its
    # twin in the real system32 behind redirection, which must stay.
    EVENT_LOG_LIBRARY,
    FileTrace("C:\\windows\\system32\\tarnwickeventlogmsghelper.dll",
              "64-bit system32, behind redirection: must stay"),
    FileTrace("C:\\windows\\syswow64\\tarnwickeventlogmsghelper2.dll", "decoy"),
    FileTrace("C:\\windows\\syswow64\\tarnwickeventlogmsghelper.dll.bak", "decoy"),
    # The vendor key with a subtree three levels deep, and a key that allows nobody anything,
    # owned by the administrators as an install leaves it. The 32-bit program deletes it in
    # the 64-bit view, where the toolkit's 64-bit parts keep it; the key of the same name in
    # the program's own 32-bit view (Wow6432Node) is not the vendor key and stays. Its
    # "Orvo\\Shell Extensions" subtree is among the shell-extension traces below.
    KeyTrace("HKLM\\Software\\Tarnwick", removed_by=YES),
    KeyTrace("HKLM\\Software\\Tarnwick\\Updater", removed_by=YES),
    KeyTrace("HKLM\\Software\\Tarnwick\\Locked", "DACL allows nobody", removed_by=YES,
             locked="administrators"),
    KeyTrace("HKLM\\Software\\TarnwickOther", "decoy"),
    KeyTrace("HKLM\\Software\\Tarnwick2", "decoy"),
    KeyTrace("HKLM\\Software\\Wow6432Node\\Tarnwick", "the 32-bit view's twin: must stay"),
    # Orvo's temporary folder, three folders deep below it, with read-only, hidden and system
    # files and an empty folder (with_folder_link adds a link in it); beside it, names that
    # share its prefix.
    FolderTrace(TEMP + "\\Orvo", removed_by=YES_NO),
    FileTrace(TEMP + "\\Orvo\\orvo.log", removed_by=YES_NO),
    FileTrace(TEMP + "\\Orvo\\settings.ini", removed_by=YES_NO, attributes=("readonly",)),
    FolderTrace(TEMP + "\\Orvo\\Cache", removed_by=YES_NO),
    FileTrace(TEMP + "\\Orvo\\Cache\\index.dat", removed_by=YES_NO, attributes=("hidden",)),
    FolderTrace(TEMP + "\\Orvo\\Cache\\Parts", removed_by=YES_NO),
    FileTrace(TEMP + "\\Orvo\\Cache\\Parts\\part1.bin", removed_by=YES_NO,
              attributes=("system",)),
    FileTrace(TEMP + "\\Orvo\\Cache\\Parts\\part2.bin", removed_by=YES_NO,
              attributes=("readonly", "hidden", "system")),
    FolderTrace(TEMP + "\\Orvo\\Cache\\Parts\\Old", removed_by=YES_NO),
    FileTrace(TEMP + "\\Orvo\\Cache\\Parts\\Old\\part0.bin", removed_by=YES_NO),
    FolderTrace(TEMP + "\\Orvo\\Cache\\Parts\\Old\\Empty", removed_by=YES_NO),
    FolderTrace(TEMP + "\\Orvo2", "decoy"),
    FileTrace(TEMP + "\\Orvo2\\keep.txt", "decoy"),
    FileTrace(TEMP + "\\OrvoBackup.txt", "decoy"),
    # Programs running during the run: to delete the event-log library, which a management
    # console may hold open, Yes ends every process whose executable is named mmc.exe, in any
    # letter case (two copies, the second in capitals: both must end), and only those. The
    # query names a process by its file name, so it sees both copies.
    ProcessTrace("mmc.exe", removed_by=YES, holds=EVENT_LOG_LIBRARY),
    ProcessTrace("MMC.EXE", SLEEPERS_DIR + "\\caps", "the same name in capitals",
                 removed_by=YES, holds=EVENT_LOG_LIBRARY),
    ProcessTrace("xmmc.exe", note="decoy"),
    ProcessTrace("mmc.exe.bak", note="decoy"),
]


# --------------------------------------------------------------------------
# The toolkit's context-menu verbs, as an installation under Program Files leaves them in the
# 64-bit view, their bookkeeping and the decoys beside them

# The Windows versions a prefix is made to report to the program, and the version GetVersionEx
# then reports to it (major.minor).
VERSIONS = {"winxp": "5.1", "vista": "6.0", "win7": "6.1", "win10": "10.0"}
PRE_WIN7 = frozenset({"winxp", "vista"})

CLASSES = "HKLM\\SOFTWARE\\Classes"
SHELL_EXTENSIONS = "HKLM\\Software\\Tarnwick\\Orvo\\Shell Extensions"
# The installation's folder, which "Installed Location" names and where its installer tool lies,
# and the folder of the toolkit's programs that the command lines name.
TOOLKIT_DIR = "C:\\Program Files\\Tarnwick\\Orvo\\"
MODULES_DIR = TOOLKIT_DIR + "Modules\\"
INSTALLER_TOOL = "TarnwickShellExtensions.exe"
# How the shell-extension traces see a No whose removal the installer tool did (it cleared
# "Installed"): the built-in removal did not run, and only "Installed" changed.
TOOL_REMOVED = "tool"

NO_OPEN = ("These files are small helper programs that can be used by other programs. Modifying "
           "them could make your computer less functional.")


def toolkit_command(program: str, arguments: str) -> str:
    return f'"{MODULES_DIR}{program}"{arguments}'


def system_command(program: str, arguments: str) -> str:
    return f'"{program}"{arguments}'


@dataclasses.dataclass(frozen=True)
class Verb:
    """One row of the verb catalogue: a key `key` below SOFTWARE\\Classes\\<class>\\shell for each
    of `classes`, holding the label as its default value (and `extra` values) and a "command"
    subkey whose default value is the command line; or, without a label, a context-menu
    handler below <class>\\shellex\\ContextMenuHandlers whose default value is `command` (a
    CLSID). `installed` are its DWORD values below the bookkeeping key's "Installed"."""
    key: str
    label: Optional[str]
    classes: tuple
    command: str
    installed: tuple
    extra: tuple = ()
    kept_on: frozenset = frozenset()


ALL_OBJECTS = ("AllFilesystemObjects",)
FILEWRIGHT = "Filewright.exe"

VERBS = [
    Verb("!0CopyPath", "Copy Path to Clipboard", ALL_OBJECTS,
         toolkit_command(FILEWRIGHT, " -l %1"), ("CopyPath",)),
    Verb("!1RunWithParms", "Run with Parameters",
         ("exefile", "comfile", "batfile", "cmdfile", "vbsfile", "vbefile", "wshfile", "wsffile",
          "Msi.Package", "Msi.Patch", "scrfile"),
         toolkit_command(FILEWRIGHT, " -p %1"), ("RunWithParms",)),
    Verb("!2Command_Prompt_Here", "Command Prompt Here", ("*", "Directory"),
         system_command("cmd.exe", " /k pushd %V"), ("CommandPromptHere",)),
    # A fixed name other programs use too; before Vista the program leaves it.
    Verb("runas", "Command Prompt Here", ("Drive", "Directory\\Background"),
         system_command("cmd.exe", " /k pushd %v"), ("CommandPromptHere",),
         extra=(("NoWorkingDirectory", ""),), kept_on=frozenset({"winxp"})),
    Verb("!3OpenFolder", "Find Shortcut Target", ("lnkfile",),
         toolkit_command(FILEWRIGHT, " -t %1"), ("FindTarget",)),
    Verb("!4OpenInNotepad", "Open in Notepad", ("AllFilesystemObjects", "Unknown"),
         system_command("notepad.exe", " %1"), ("OpenInNotepad", "OpenUnknownInNotepad")),
    Verb("!5GoogleThis", "Google This", ALL_OBJECTS,
         toolkit_command("qsearch.exe", " -f %1"), ("GoogleThis",)),
    Verb("!6GoogleWithFullPath", "Google with Full Path", ALL_OBJECTS,
         toolkit_command("qsearch.exe", " -p %1"), ("GoogleWithFullPath",)),
    Verb("!7RegSearch", "Search Registry", ALL_OBJECTS,
         toolkit_command(FILEWRIGHT, " -s %1"), ("RegSearch",)),
    Verb("!8FindDups", "Find Dups", ALL_OBJECTS,
         toolkit_command(FILEWRIGHT, " -f %1"), ("FindDups",)),
    Verb("!9UploadToVT", "Upload to VirusTotal", ALL_OBJECTS,
         toolkit_command(FILEWRIGHT, " -v %1"), ("UploadToVT",)),
    Verb("!aRegister_File", "Register File (regsvr32)", ("dllfile", "ocxfile", "ax_auto_file"),
         'regsvr32.exe "%1"', ("RegSvr",)),
    Verb("!bUnregister_File", "Unregister File (regsvr32 /u)",
         ("dllfile", "ocxfile", "ax_auto_file"), 'regsvr32.exe /u "%1"', ("RegSvr",)),
    Verb("!cIsDLLLoaded", "Is DLL Loaded", ("dllfile",),
         toolkit_command(FILEWRIGHT, " -i %1"), ("IsDLLLoaded",)),
    Verb("!dDefragFileDir", "Defrag File/Dir", ALL_OBJECTS,
         toolkit_command(FILEWRIGHT, " -y %1"), ("Defrag",)),
    Verb("!eUnlockFile", "Unlock File", ALL_OBJECTS,
         toolkit_command(FILEWRIGHT, " -u %1"), ("UnlockFile",)),
    Verb("!fTakeOwn", "Take Control", ALL_OBJECTS,
         toolkit_command(FILEWRIGHT, " -g %1"), ("TakeControl",)),
    Verb("!gRenameTo", "Rename with Dummy File/Dir", ALL_OBJECTS,
         toolkit_command(FILEWRIGHT, " -r %1"), ("RenameTo",)),
    Verb("!hDeleteAndRecord", "Delete", ALL_OBJECTS,
         toolkit_command(FILEWRIGHT, " -d %1"), ("DeleteAndRecord",)),
    Verb("!iDeleteNoRecycle", "Delete - Not Recycle", ALL_OBJECTS,
         toolkit_command(FILEWRIGHT, " -o %1"), ()),
    Verb("!jAddToMalwareList", "Blacklist and Delete", ALL_OBJECTS,
         toolkit_command(FILEWRIGHT, " -a %1"), ("AddToMalwareList",)),
    Verb("!kSecureDelete", "Secure Delete", ALL_OBJECTS,
         toolkit_command(FILEWRIGHT, " -x %1"), ("SecureDelete",)),
    Verb("!lDeleteOnReboot", "Delete on Reboot", ALL_OBJECTS,
         toolkit_command(FILEWRIGHT, " -z %1"), ()),
    Verb("!mCheckExistenceOnPelm", "Check Existence on Pelm", ALL_OBJECTS,
         toolkit_command(FILEWRIGHT, " -c %1"), ("CheckExistenceOnPelm",)),
    Verb("exWorkWithFile", "Work with File/Dir", ALL_OBJECTS,
         toolkit_command(FILEWRIGHT, " -w %1"), ("WorkWithFile",)),
    Verb("!CopyTo", None, ALL_OBJECTS, "{C2FBB630-2971-11D1-A18C-00C04FD75D13}",
         ("CopyToFolder",)),
    Verb("!MoveTo", None, ALL_OBJECTS, "{C2FBB631-2971-11D1-A18C-00C04FD75D13}",
         ("MoveToFolder",)),
]

# Verb keys of older installations, all below AllFilesystemObjects\shell.
LEGACY_VERBS = [
    ("!z3RenameTo", "Rename with Dummy File/Dir", toolkit_command(FILEWRIGHT, " -r %1")),
    ("!z4RenameTo", "Rename with Dummy File/Dir", toolkit_command(FILEWRIGHT, " -r %1")),
    ("!z4CheckExistenceOnPelm", "Check Existence on Pelm",
     toolkit_command(FILEWRIGHT, " -c %1")),
    ("!z5CheckExistenceOnPelm", "Check Existence on Pelm",
     toolkit_command(FILEWRIGHT, " -c %1")),
]
# The bookkeeping's "Installed" values beyond those of the catalogue.
DEFAULT_TO_NOTEPAD = ("RegfileDefaultToNotepad", "BatchDefaultToNotepad", "ScriptDefaultToNotepad")


def seeded_key(path: str, values, note: str = "", removed_by: frozenset = frozenset(),
               kept_on: frozenset = frozenset(), shell: bool = True) -> list:
    """A key and each of its values as traces, the values seeded by their own rows."""
    return [KeyTrace(path, note, removed_by, values=(), kept_on=kept_on, shell=shell)] + [
        ValueTrace(path, name, data, note, removed_by, kept_on=kept_on, shell=shell)
        for name, data in values]


def verb_with_command(path: str, label: str, command: str, extra=(), note: str = "",
                      removed_by: frozenset = frozenset(), kept_on: frozenset = frozenset(),
                      shell: bool = True) -> list:
    """A verb key with its label (and `extra` values) and the default value of its "command"
    subkey, which goes with it."""
    return seeded_key(path, (("", label), *extra), note, removed_by, kept_on, shell) + [
        ValueTrace(path + "\\command", "", command, note, removed_by, kept_on=kept_on,
                   shell=shell)]


def catalogue_traces() -> list:
    traces = []
    for verb in VERBS:
        note = f"stays on {', '.join(sorted(verb.kept_on))}" if verb.kept_on else ""
        for cls in verb.classes:
            if verb.label is None:
                traces += seeded_key(f"{CLASSES}\\{cls}\\shellex\\ContextMenuHandlers\\{verb.key}",
                                     (("", verb.command),), note, YES_NO, verb.kept_on)
            else:
                traces += verb_with_command(f"{CLASSES}\\{cls}\\shell\\{verb.key}", verb.label,
                                            verb.command, verb.extra, note, YES_NO, verb.kept_on)
    for key, label, command in LEGACY_VERBS:
        traces += verb_with_command(f"{CLASSES}\\AllFilesystemObjects\\shell\\{key}", label,
                                    command, note="older installations", removed_by=YES_NO)
    # The cascading menus, which only Windows 7 and later show: before 7 the program leaves them.
    cascades = f"{CLASSES}\\AllFileSystemObjects\\Shell"
    verbs = {verb.key: verb for verb in VERBS}
    for menu, label, verb in (("Extensions", "Orvo Tools", verbs["!dDefragFileDir"]),
                              ("Extensions - Action", "Orvo Actions", verbs["!hDeleteAndRecord"])):
        traces += seeded_key(f"{cascades}\\{menu}", (("MUIVerb", label), ("SubCommands", "")),
                             "cascading menu, stays before Windows 7", YES_NO, PRE_WIN7)
        traces += verb_with_command(f"{cascades}\\{menu}\\Shell\\{verb.key}", verb.label,
                                    verb.command, note="in a cascading menu", removed_by=YES_NO,
                                    kept_on=PRE_WIN7)
    return traces


def bookkeeping_traces(location: str) -> list:
    """The bookkeeping key of an installation in `location` (its "Installed Location"): the
    installer tool clears "Installed" when it has taken the verbs out."""
    installed = list(dict.fromkeys(v for verb in VERBS for v in verb.installed))
    traces = seeded_key(SHELL_EXTENSIONS, (
        ("Calling Application", "TarnwickShellExtensions"), ("Installed Location", location),
        ("Prefix", ""), ("PrefixIcon", MODULES_DIR + "orvo14.ico")), "bookkeeping", YES_NO)
    traces.append(ValueTrace(SHELL_EXTENSIONS, "Installed", 1, "bookkeeping", YES_NO,
                             frozenset({TOOL_REMOVED}), 0, shell=True))
    traces += seeded_key(SHELL_EXTENSIONS + "\\Installed",
                         [(name, 1) for name in installed + list(DEFAULT_TO_NOTEPAD)],
                         "bookkeeping", YES_NO)
    traces += seeded_key(SHELL_EXTENSIONS + "\\DefaultBackups", (("Unknown", "openas"),),
                         "saved default verbs", YES_NO)
    traces += seeded_key(SHELL_EXTENSIONS + "\\Qsearch", (("Engine", "web"),), "bookkeeping",
                         YES_NO)
    return traces


def default_action_traces() -> list:
    """What the removal writes: the default verb of "Unknown" put back as saved, and the
    warning of helper-library files."""
    return [
        ValueTrace(f"{CLASSES}\\Unknown\\shell", "", "!4OpenInNotepad",
                   "default verb: the saved one comes back", written_by=YES_NO, becomes="openas",
                   shell=True),
        ValueTrace(f"{CLASSES}\\ocxfile", "NoOpen", None, "written by the removal",
                   written_by=YES_NO, becomes=NO_OPEN, shell=True),
    ]


# Keys beside the toolkit's that no run may change, values included: another program's verb and
# handler where the toolkit keeps its own, a verb key named like one of the toolkit's handlers
# but below shell, and the runas verb of programs.
SHELL_DECOYS = (
    verb_with_command(f"{CLASSES}\\AllFilesystemObjects\\shell\\OtherVendorVerb",
                      "Open with Other Vendor", '"C:\\Program Files\\Other Vendor\\open.exe" "%1"',
                      note="decoy", shell=False) +
    verb_with_command(f"{CLASSES}\\AllFilesystemObjects\\shell\\!CopyTo", "Copy To (a verb)",
                      '"C:\\Program Files\\Other Vendor\\copyto.exe" "%1"',
                      note="decoy: below shell, not shellex", shell=False) +
    verb_with_command(f"{CLASSES}\\exefile\\shell\\runas", "Run as administrator", '"%1" %*',
                      note="decoy", shell=False) +
    seeded_key(f"{CLASSES}\\AllFilesystemObjects\\shellex\\ContextMenuHandlers\\OtherVendorMenu",
               (("", "{6F1E3A52-90B4-4C7D-A2E8-3B5D7C9E1F04}"),), "decoy", shell=False))


def shell_extension_traces(location: str = TOOLKIT_DIR) -> list:
    """Every verb key of the catalogue for every class of its row, the older and the cascading
    verbs, the bookkeeping of an installation in `location`, the default verb it changed, the
    value the removal writes, and the decoys."""
    return (catalogue_traces() + bookkeeping_traces(location) + default_action_traces() +
            SHELL_DECOYS)


TRACES = BASE_TRACES + shell_extension_traces()


# A link inside the temporary folder to a folder outside it, which the program must not
# descend: the link may go (as a link) or stay, but the folder it points to and its files stay
# as they are. Wine's RemoveDirectoryW refuses a link to a folder that is not empty, so the link
# stays under Wine, and so do the folders that hold it: whether they went is only logged.
FOLDER_LINK = LinkTrace(TEMP + "\\Orvo\\Cache\\Shared", "C:\\users\\root\\Outside",
                        undecided_by=YES_NO)
BEHIND_FOLDER_LINK = [
    FolderTrace("C:\\users\\root\\Outside", "the link's target, outside the tree"),
    FileTrace("C:\\users\\root\\Outside\\keep1.txt", "behind the link"),
    FileTrace("C:\\users\\root\\Outside\\keep2.dat", "behind the link",
              attributes=("readonly",)),
    FileTrace("C:\\users\\root\\Outside\\Inner\\keep3.txt", "behind the link"),
]


# A file of the temporary folder that another program holds open, without sharing, for the
# whole run: it cannot go now, so it and the folder that holds it stay, recorded for deletion
# at the next start in PendingFileRenameOperations (that file, then the folder, and nothing
# else: each entry is the path and an empty new name).
HELD_FILE = TEMP + "\\Orvo\\orvo.log"
HOLDER = ProcessTrace("file_holder.exe", note="holds " + HELD_FILE, program="holder",
                      args=(HELD_FILE,))
PENDING_RENAMES = ValueTrace(
    "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager", "PendingFileRenameOperations",
    note="what goes at the next start", written_by=YES_NO,
    becomes=("\\??\\" + HELD_FILE, "", "\\??\\" + TEMP + "\\Orvo", ""))


def with_held_file(traces: list) -> list:
    """The traces with HELD_FILE held by HOLDER: that file and its folder stay."""
    staying = {HELD_FILE.lower(), (TEMP + "\\Orvo").lower()}
    return [dataclasses.replace(t, removed_by=frozenset())
            if isinstance(t, (FileTrace, FolderTrace)) and t.path.lower() in staying else t
            for t in traces] + [HOLDER, PENDING_RENAMES]


def with_folder_link(traces: list) -> list:
    """The traces with FOLDER_LINK planted in the temporary folder: the folders that hold it are
    left unchecked after the answers that leave the link unchecked."""
    def holds_link(trace) -> bool:
        return (isinstance(trace, FolderTrace) and
                FOLDER_LINK.path.lower().startswith(trace.path.lower() + "\\"))
    return [dataclasses.replace(t, undecided_by=FOLDER_LINK.undecided_by) if holds_link(t) else t
            for t in traces] + [FOLDER_LINK, *BEHIND_FOLDER_LINK]


def add_program_arguments(parser) -> None:
    """The command-line arguments every driver takes: the program to run and the test
    programs that seeding and listing need."""
    parser.add_argument("--exe", type=Path, required=True, help="OrvoCleanup.exe")
    parser.add_argument("--service", type=Path, required=True, help="orvo_test_service.exe")
    parser.add_argument("--seed-dacl", type=Path, required=True, help="seed_key_dacl.exe")
    parser.add_argument("--machine-state", type=Path, required=True, help="machine_state.exe")
    parser.add_argument("--sleeper", type=Path,
                        help="sleeper.exe (default: the one beside machine_state.exe)")


def sleeper_of(args) -> Path:
    return args.sleeper or args.machine_state.parent / "sleeper.exe"


def seed(prefix: Prefix, args, traces: Iterable = TRACES, version: Optional[str] = None) -> None:
    """Seeds the traces: folders, files and links directly (then the files' attributes), every
    key and value in one reg import (then the DACLs of the locked keys), the services with sc.
    With that import, the prefix is told to report Windows `version` (a name of VERSIONS) to
    OrvoCleanup.exe. Processes are started for each run (Processes)."""
    traces = list(traces)
    prefix.host_path(SUPPORT_DIR).mkdir(parents=True, exist_ok=True)
    for source, target in ((args.service, SERVICE_EXE), (args.seed_dacl, SEED_DACL_EXE),
                           (args.machine_state, MACHINE_STATE_EXE)):
        shutil.copy2(source, prefix.host_path(target))
    for kind in (FolderTrace, FileTrace, LinkTrace):
        for trace in traces:
            if isinstance(trace, kind):
                trace.seed(prefix)
    seed_attributes(prefix, [t for t in traces if isinstance(t, (FileTrace, LinkTrace))])
    keys = [t for t in traces if isinstance(t, KeyTrace)]
    sections: dict[str, list[str]] = {}
    for key in keys:
        sections.setdefault(key.path, []).extend(reg_line(n, d) for n, d in key.values)
    for value in traces:
        if isinstance(value, ValueTrace) and value.data is not None:
            sections.setdefault(value.key, []).append(reg_line(value.name, value.data))
    lines = ["Windows Registry Editor Version 5.00", ""]
    for path, values in sections.items():
        root, _, rest = path.partition("\\")
        lines += [f"[{ROOT_NAMES[root.upper()]}\\{rest}]", *values, ""]
    if version is not None:
        lines += [f"[HKEY_CURRENT_USER\\{PROGRAM_VERSION_KEY}]", reg_line("Version", version), ""]
    if len(lines) > 2:
        reg_file = SUPPORT_DIR + "\\seed.reg"
        prefix.put_file(reg_file, "\r\n".join(lines).encode("utf-16"))
        code, out, err = prefix.retry("reg import", lambda: prefix.wine(
            "reg", "import", reg_file, "/reg:64"))
        if code != 0:
            raise RuntimeError(f"reg import failed ({code}): {out}{err}")
    for key in keys:
        if key.locked:
            code, out, err = prefix.wine(SEED_DACL_EXE, key.path, key.locked)
            if code != 0:
                raise RuntimeError(f"seed_key_dacl {key.path} {key.locked} failed ({code}): "
                                   f"{out}{err}")
    services = [t for t in traces if isinstance(t, ServiceTrace)]
    create_services(prefix, [s.name for s in services], [s.name for s in services if s.running])


def reg_line(name: str, data) -> str:
    """One value of a .reg file: text as REG_SZ, a number as REG_DWORD; "" names the default."""
    def quoted(text: str) -> str:
        return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'
    shown = quoted(name) if name else "@"
    return f"{shown}=dword:{data:08x}" if isinstance(data, int) else f"{shown}={quoted(data)}"


# Where Wine looks for the Windows version to report to OrvoCleanup.exe (below HKCU).
PROGRAM_VERSION_KEY = "Software\\Wine\\AppDefaults\\OrvoCleanup.exe"
AS_PROGRAM_EXE = SUPPORT_DIR + "\\as-program\\OrvoCleanup.exe"


def program_version(prefix: Prefix) -> str:
    """The Windows version the prefix reports to OrvoCleanup.exe, as a copy of machine_state.exe
    under that name (with the program's manifest) is told it: "major.minor.build platform P
    product T"."""
    target = prefix.host_path(AS_PROGRAM_EXE)
    target.parent.mkdir(parents=True, exist_ok=True)
    shutil.copy2(prefix.host_path(MACHINE_STATE_EXE), target)
    code, out, err = prefix.wine(AS_PROGRAM_EXE, "version")
    answer = next((line.split("\t", 1)[1].strip() for line in out.splitlines()
                   if line.startswith("version\t")), None)
    if code != 0 or answer is None:
        raise RuntimeError(f"{AS_PROGRAM_EXE} version failed ({code}): {out}{err}")
    return answer


ROOT_NAMES = {"HKLM": "HKEY_LOCAL_MACHINE"}
DOS_ATTRIBUTES = {"readonly": "+r", "hidden": "+h", "system": "+s"}


def seed_attributes(prefix: Prefix, traces: list) -> None:
    """Sets the files' attributes with the prefix's attrib and, in the same Wine start, reads
    them back with the links, and the %TEMP% a program of the prefix gets: a tree seeded
    anywhere else, an attribute that did not take or a link that Wine does not show as a
    reparse point would make the checks on them prove nothing. Where the prefix's filesystem
    cannot keep the hidden and system attributes, the log says so and the files go without."""
    files = [t for t in traces if isinstance(t, FileTrace) and t.attributes]
    links = [t for t in traces if isinstance(t, LinkTrace)]
    if not files and not links:
        return
    if any(" " in t.path for t in files + links):
        raise ValueError("a path with blanks cannot go through cmd /c unquoted")
    storable = prefix.stores_dos_attributes()
    kept = ("readonly", "hidden", "system") if storable else ("readonly",)
    commands = ["echo TEMP=%TEMP%"]
    for trace in files:
        # Wine's attrib sets only the last flag it is given: one start of it per flag.
        commands += [f"attrib {DOS_ATTRIBUTES[a]} {trace.path}" for a in trace.attributes
                     if a in kept]
    commands.append(" ".join([MACHINE_STATE_EXE] + [t.query for t in files + links]))
    code, out, err = prefix.wine("C:\\windows\\system32\\cmd.exe", "/c", " & ".join(commands))
    lines = [line.strip() for line in out.splitlines()]
    temp = next((line[5:] for line in lines if line.startswith("TEMP=")), None)
    if temp is None or temp.lower() != TEMP.lower():
        raise RuntimeError(f"a program in the prefix gets TEMP={temp!r}, not {TEMP!r}; the "
                           f"temporary folder's traces are seeded in the wrong place")
    answers = dict(line.split("\t", 1) for line in lines if line.startswith("file:") and
                   "\t" in line)
    problems = []
    for trace in files:
        seen = answers.get(trace.query, "no answer").split(",")
        for attribute in trace.attributes:
            if attribute in kept and attribute not in seen:
                problems.append(f"{trace.path} is {','.join(seen)}, not {attribute}")
    for trace in links:
        seen = answers.get(trace.query, "no answer").split(",")
        if seen[:1] != ["dir"] or "reparse" not in seen:
            problems.append(f"Wine shows the link {trace.path} as {','.join(seen)}, not as a "
                            f"folder with a reparse point")
    if problems or code != 0:
        raise RuntimeError(f"seeding attributes and links failed (exit {code}): "
                           f"{'; '.join(problems)}\n{out}{err}")
    if not storable:
        prefix.log("this prefix's filesystem keeps no extended attributes, where Wine stores "
                   "hidden and system: those files are seeded without them")


def expected_present(trace, answer: str, version: str = "win10") -> Optional[bool]:
    """Whether a trace must still be there after a run whose first answer was `answer` on
    Windows `version`; None when that is not checked. (For a ValueTrace: expected_value.)"""
    if answer in getattr(trace, "undecided_by", ()):
        return None
    if version in getattr(trace, "kept_on", ()):
        return True
    return answer not in trace.removed_by


def expected_value(trace: ValueTrace, answers: list[str], version: str = "win10") -> Optional[str]:
    """The state a value must show (as machine_state.exe shows it; None: absent) after runs
    answered `answers`, in order, on Windows `version`."""
    state = value_state(trace.data)
    if version in trace.kept_on:
        return state
    for answer in answers:
        if answer in trace.written_by:
            state = value_state(trace.becomes)
        elif answer in trace.removed_by:
            state = None
    return state


def listing(prefix: Prefix, traces: Iterable = TRACES,
            going: Iterable = ()) -> list[tuple[object, Optional[str]]]:
    """Every trace with its state (None: not there), from one machine_state.exe run; the
    traces in `going` whose removal may lag and that are still there are asked again until
    they are gone or the deadline passes (a deleted service goes only once its process has
    ended)."""
    traces = list(traces)
    going = {t.query for t in going if t.query and t.lags}
    answers = query_states(prefix, [t.query for t in traces if t.query])
    if any(answers[q] != "absent" for q in going):
        answers.update(wait_states(prefix, sorted(going), lambda state: state == "absent"))
    return [(trace, trace.state(prefix, answers.get(trace.query))) for trace in traces]


class Processes:
    """The programs of the ProcessTraces, running in the prefix's server from start() until
    close(): copies of the sleeper, each started as its own Wine process (whose Unix process
    is the Windows one). start() returns once every one of them shows in a process snapshot,
    so the program under test sees them all."""

    def __init__(self, prefix: Prefix, sleeper: Path, traces: Iterable,
                 holder: Optional[Path] = None):
        self.prefix = prefix
        self.programs = {"sleeper": sleeper, "holder": holder}
        self.traces = [t for t in traces if isinstance(t, ProcessTrace)]
        self.started: dict[ProcessTrace, subprocess.Popen] = {}

    def __enter__(self) -> "Processes":
        try:
            self.start()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def start(self) -> None:
        for trace in self.traces:
            image = self.prefix.host_path(trace.image)
            image.parent.mkdir(parents=True, exist_ok=True)
            program = self.programs[trace.program]
            if program is None:
                raise RuntimeError(f"no {trace.program} program to run as {trace.image}")
            shutil.copy2(program, image)
            output = self.prefix.scratch() / f"process-{trace.name}.out"
            with open(output, "wb") as out:
                self.started[trace] = subprocess.Popen(
                    [WINE, trace.image, *trace.args], env=self.prefix.env(),
                    stdin=subprocess.DEVNULL,
                    stdout=out, stderr=out, start_new_session=True)
        queries = sorted({t.query for t in self.traces})
        deadline = time.monotonic() + DEADLINE
        while True:
            ended = [f"{t.image} (exit {p.returncode})" for t, p in self.started.items()
                     if p.poll() is not None]
            if ended:
                raise RuntimeError(f"started to keep running, ended at once: {ended}")
            answers = query_states(self.prefix, queries)
            if all(answers[q] == "running" for q in queries):
                break
            if time.monotonic() >= deadline:
                raise RuntimeError(f"not all running after {DEADLINE:.0f} s: {answers}")
            time.sleep(0.2)
        self.prefix.log("running: " + ", ".join(
            f"{t.image} (pid {p.pid})" for t, p in self.started.items()))

    def close(self) -> None:
        """Ends every one still running, and logs which had ended before (the query names
        processes only by name; this tells the copies of one name apart)."""
        for trace, process in self.started.items():
            if process.poll() is None:
                os.killpg(process.pid, signal.SIGKILL)
                fate = "still running, ended by the harness"
            else:
                fate = f"had ended (exit {process.returncode})"
            process.wait(timeout=DEADLINE)
            self.prefix.log(f"process {trace.image}: {fate}")
        self.started.clear()


# --------------------------------------------------------------------------
# The program's boxes

START_QUESTION = ("Remove all traces of any Tarnwick apps from the registry and Windows "
                  "directory?\r\nSelect NO to remove only Orvo related files/entries.")
NOT_REMOVED_NOTICE = ("Ok fair enough - but this will NOT remove %programfiles% subdirectories "
                      "or scheduled tasks; use the program's uninstallation file to accomplish "
                      "these tasks!")
DONE = "Done!"


@dataclasses.dataclass(frozen=True)
class Step:
    """One box the program must show, the key that answers it and the answer it returns."""
    tag: str
    text: "str | re.Pattern"
    style: int
    key: str
    answer: int


STEP_START_CANCEL = Step("start", START_QUESTION, MB_YESNOCANCEL_DEFBUTTON2, "Escape", IDCANCEL)
STEP_START_NO = Step("start", START_QUESTION, MB_YESNOCANCEL_DEFBUTTON2, "Return", IDNO)
STEP_START_YES = Step("start", START_QUESTION, MB_YESNOCANCEL_DEFBUTTON2, "y", IDYES)
STEP_NOTICE = Step("notice", NOT_REMOVED_NOTICE, MB_OK, "Return", IDOK)
STEP_DONE = Step("done", DONE, MB_OK, "Return", IDOK)

# The whole dialogue for each first answer ("cancel" ends the program at once).
SCRIPTS = {
    "cancel": [STEP_START_CANCEL],
    "no": [STEP_START_NO, STEP_DONE],
    "yes": [STEP_START_YES, STEP_NOTICE, STEP_DONE],
}


@dataclasses.dataclass
class BoxCall:
    """One message box call read from the relay trace."""
    function: str
    text: Optional[str]
    caption: Optional[str]
    style: Optional[int]
    retval: Optional[int] = None
    thread: str = ""
    pid: str = ""


def unescape(text: str, wide: bool) -> str:
    """Undoes Wine's debugstr quoting (\\r, \\n, \\t, \\", \\\\, \\xNN or \\xNNNN)."""
    out = []
    i = 0
    simple = {"n": "\n", "r": "\r", "t": "\t", "\"": "\"", "\\": "\\", "'": "'"}
    while i < len(text):
        ch = text[i]
        if ch == "\\" and i + 1 < len(text):
            nxt = text[i + 1]
            if nxt in simple:
                out.append(simple[nxt])
                i += 2
                continue
            if nxt == "x":
                digits = 4 if wide else 2
                code = text[i + 2:i + 2 + digits]
                if len(code) == digits and all(c in "0123456789abcdefABCDEF" for c in code):
                    value = int(code, 16)
                    out.append(chr(value) if wide else bytes([value]).decode("cp1252", "replace"))
                    i += 2 + digits
                    continue
        out.append(ch)
        i += 1
    return "".join(out)


def split_args(args: str) -> list[str]:
    """Splits a relay argument list at the commas outside quoted strings."""
    parts, current, quoted, i = [], [], False, 0
    while i < len(args):
        ch = args[i]
        if quoted and ch == "\\" and i + 1 < len(args):
            current.append(args[i:i + 2])
            i += 2
            continue
        if ch == "\"":
            quoted = not quoted
        if ch == "," and not quoted:
            parts.append("".join(current))
            current = []
        else:
            current.append(ch)
        i += 1
    parts.append("".join(current))
    return parts


def quoted_string(arg: str) -> Optional[str]:
    """The string of a relay argument like `0043a000 L"text"`; None for a NULL pointer."""
    match = re.search(r'(L?)"(.*)"(\.\.\.)?\s*$', arg)
    if not match:
        return None
    value = unescape(match.group(2), wide=match.group(1) == "L")
    return value + ("..." if match.group(3) else "")


LINE_PREFIX = r"^(?:(?P<pid>[0-9a-f]{4,8}):)?(?P<tid>[0-9a-f]{4,8}):"
RELAY_CALL = re.compile(LINE_PREFIX + r"Call (?P<module>\w+)\.(?P<fn>\w+)\((?P<args>.*)\) ret=")
RELAY_RET = re.compile(LINE_PREFIX + r"Ret  (?P<module>\w+)\.(?P<fn>\w+)\(\) retval=(?P<rv>[0-9a-f]+)")
DEBUG_LINE = re.compile(LINE_PREFIX + r"(?:warn|trace):(?:seh|debugstr):OutputDebugString[AW] "
                        r"(?P<text>.*)$")

# Lines in the trace that mean the program (or a process it started) went wrong. Wine
# prints these whatever WINEDEBUG says, or under the err channels the run enables.
CRASH_PATTERNS = [
    re.compile(p) for p in (
        r"Unhandled exception",
        r"Unhandled page fault",
        r"page fault on (read|write|execute) access",
        r"^Backtrace:",
        r"wine: Call from",
        r"err:seh:",
        r"err:module:",
        r"wine: could not load",
        r"terminate called",
        r"Assertion .* failed",
        r"stack overflow",
    )
]


@dataclasses.dataclass
class RelayCall:
    """One relayed call: who made it, its arguments as Wine printed them, and its result."""
    pid: str
    tid: str
    function: str  # without the module: "MessageBoxW"
    args: list[str]
    line: int  # position in the trace, to tell which call came first
    retval: Optional[int] = None


def parse_relay(trace_lines: list[str]) -> list[RelayCall]:
    calls: list[RelayCall] = []
    for number, line in enumerate(trace_lines):
        match = RELAY_CALL.match(line)
        if match:
            calls.append(RelayCall(match.group("pid") or "", match.group("tid"), match.group("fn"),
                                   split_args(match.group("args")), number))
            continue
        match = RELAY_RET.match(line)
        if match:
            # A call returns on its own thread, the latest unanswered call of that name first.
            for call in reversed(calls):
                if (call.retval is None and call.tid == match.group("tid") and
                        call.function == match.group("fn")):
                    value = int(match.group("rv"), 16)
                    call.retval = value - (1 << 32) if value >= 1 << 31 else value
                    break
    return calls


def hex_arg(args: list[str], index: int) -> Optional[int]:
    if index < len(args) and re.fullmatch(r"[0-9a-fA-F]+", args[index].strip()):
        return int(args[index], 16)
    return None


BOX_FUNCTIONS = ("MessageBoxW", "MessageBoxA", "MessageBoxIndirectW")


def boxes_of(calls: list[RelayCall]) -> list[BoxCall]:
    boxes = []
    for call in calls:
        if call.function not in BOX_FUNCTIONS:
            continue
        if call.function == "MessageBoxIndirectW":  # the text sits behind a pointer
            boxes.append(BoxCall(call.function, None, None, None, call.retval, call.tid, call.pid))
            continue
        args = call.args
        boxes.append(BoxCall(call.function, quoted_string(args[1]) if len(args) > 1 else None,
                             quoted_string(args[2]) if len(args) > 2 else None, hex_arg(args, 3),
                             call.retval, call.tid, call.pid))
    return boxes


LOAD_LIBRARY_SEARCH_SYSTEM32 = 0x800


def check_dll_guard(run: "Run") -> list[str]:
    """The program must lock its DLL search to the system folder before it shows anything:
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) succeeding before the first box."""
    pids = {box.pid for box in run.boxes}
    guards = [c for c in run.calls if c.function == "SetDefaultDllDirectories" and
              (not pids or c.pid in pids)]
    first_box = min((c.line for c in run.calls if c.function in BOX_FUNCTIONS), default=None)
    if not guards:
        return ["SetDefaultDllDirectories was never called"]
    guard = guards[0]
    failures = []
    if hex_arg(guard.args, 0) != LOAD_LIBRARY_SEARCH_SYSTEM32:
        failures.append(f"SetDefaultDllDirectories({', '.join(guard.args)}), expected 00000800")
    if guard.retval != 1:
        failures.append(f"SetDefaultDllDirectories returned {guard.retval}, expected 1")
    if first_box is not None and guard.line > first_box:
        failures.append("SetDefaultDllDirectories was called only after the first box")
    return failures


@dataclasses.dataclass
class ProcessStart:
    """One CreateProcessW call of the program: its application name (None when it passes
    none) and its command line, as the relay trace shows them."""
    application: Optional[str]
    command_line: Optional[str]


def command_head(command_line: str) -> str:
    """The program a command line names first: its quoted head, or up to the first blank."""
    if command_line.startswith('"'):
        return command_line[1:].split('"', 1)[0]
    return command_line.split(" ", 1)[0]


def process_starts(run: "Run") -> list[ProcessStart]:
    """The processes the program itself started (directly or through ShellExecuteEx)."""
    pids = {box.pid for box in run.boxes}
    return [ProcessStart(quoted_string(c.args[0]) if c.args else None,
                         quoted_string(c.args[1]) if len(c.args) > 1 else None)
            for c in run.calls
            if c.function == "CreateProcessW" and (not pids or c.pid in pids)]


@dataclasses.dataclass
class DebugLine:
    pid: str
    text: str


def parse_debug_lines(trace_lines: list[str]) -> list[DebugLine]:
    lines = []
    for line in trace_lines:
        match = DEBUG_LINE.match(line)
        if match:
            raw = match.group("text")
            text = quoted_string(raw)
            lines.append(DebugLine(match.group("pid") or "", text if text is not None else raw))
    return lines


def program_debug_lines(run: "Run") -> list[DebugLine]:
    """The debug lines of the program itself (the process that showed the boxes), not of
    processes it started; all lines when no box was shown."""
    pids = {box.pid for box in run.boxes}
    return [line for line in run.debug_lines if not pids or line.pid in pids]


def crash_lines(trace_lines: list[str]) -> list[str]:
    return [line for line in trace_lines if any(p.search(line) for p in CRASH_PATTERNS)]


# --------------------------------------------------------------------------
# Running the program


@dataclasses.dataclass
class Run:
    exit_code: int
    calls: list[RelayCall]
    boxes: list[BoxCall]
    debug_lines: list[DebugLine]
    crashes: list[str]
    windows_answered: list[tuple[str, str]]  # (window id, key)
    extra_windows: list[str]  # boxes that appeared after the dialogue should have ended
    problems: list[str]  # harness-side failures: a box that never came, a hang
    seconds: float
    trace_path: Path


RUN_DEBUG = "-all,+pid,+relay,+debugstr,warn+seh,err+seh,err+module"


def run_program(prefix: Prefix, exe: str, cwd: str, script: list[Step],
                screenshots: Optional[dict[str, Path]] = None) -> Run:
    """Starts `exe` (a C:\\ path) in folder `cwd`, answers each box of `script` with its key
    once a new program window appears, and waits for the program to end. A box that does
    not come, or a window after the last answer, is recorded, not answered; a program that
    does not end is killed. `screenshots` maps a step tag to a file to capture that box."""
    display = prefix.display
    if display is None:
        raise RuntimeError("run_program needs a display")
    prefix.runs += 1
    trace_path = prefix.scratch() / f"run{prefix.runs}.trace"
    seen = set(display.windows(CAPTION))
    answered: list[tuple[str, str]] = []
    extra: list[str] = []
    problems: list[str] = []
    started = time.monotonic()
    with open(trace_path, "wb") as trace, open(os.devnull, "wb") as devnull:
        proc = subprocess.Popen([WINE, exe], env=prefix.env(RUN_DEBUG),
                                cwd=prefix.host_path(cwd), stdin=subprocess.DEVNULL,
                                stdout=devnull, stderr=trace, start_new_session=True)

        def next_window(timeout: float) -> Optional[str]:
            deadline = time.monotonic() + timeout
            while time.monotonic() < deadline:
                fresh = [w for w in display.windows(CAPTION) if w not in seen]
                if fresh:
                    seen.update(fresh)
                    return fresh[0]
                if proc.poll() is not None:
                    return None
                time.sleep(0.05)
            return None

        for step in script:
            window = next_window(DEADLINE)
            if window is None:
                why = "the program ended" if proc.poll() is not None else "timed out"
                problems.append(f"box '{step.tag}' never appeared ({why})")
                break
            shot = screenshots.get(step.tag) if screenshots else None
            if not display.answer(window, step.key, lambda: proc.poll() is not None,
                                  (lambda: display.screenshot(shot)) if shot else lambda: None):
                problems.append(f"box '{step.tag}' was still there after its key, again and "
                                f"again until the deadline")
                break
            answered.append((window, step.key))
        deadline = time.monotonic() + DEADLINE
        while proc.poll() is None and time.monotonic() < deadline:
            window = next_window(min(1.0, max(0.0, deadline - time.monotonic())))
            if window is not None:
                # A box the dialogue does not have: its call is in the trace already (the
                # relay line comes before the window); end the program rather than answer it.
                extra.append(window)
                break
        if proc.poll() is None:
            problems.append("the program was still showing a box the dialogue does not have; "
                            "killed" if extra else
                            f"the program did not end within {DEADLINE:.0f} s; killed")
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
    seconds = time.monotonic() - started
    lines = trace_path.read_text(encoding="utf-8", errors="replace").splitlines()
    calls = parse_relay(lines)
    return Run(proc.returncode, calls, boxes_of(calls), parse_debug_lines(lines), crash_lines(lines), answered, extra,
               problems, seconds, trace_path)


def check_boxes(run: Run, script: list[Step]) -> list[str]:
    """Compares the boxes the program showed with the dialogue expected; one message per
    difference."""
    failures = []
    for index, step in enumerate(script):
        if index >= len(run.boxes):
            failures.append(f"box {index + 1} ('{step.tag}') was not shown")
            continue
        box = run.boxes[index]
        where = f"box {index + 1} ('{step.tag}')"
        if box.function != "MessageBoxW":
            failures.append(f"{where}: shown with {box.function}, expected MessageBoxW")
        # A step's text is the text itself, or a pattern the whole text must match.
        if (step.text.fullmatch(box.text or "") is None if isinstance(step.text, re.Pattern)
                else box.text != step.text):
            expected = step.text.pattern if isinstance(step.text, re.Pattern) else step.text
            failures.append(f"{where}: text {box.text!r}, expected {expected!r}")
        if box.caption != CAPTION:
            failures.append(f"{where}: caption {box.caption!r}, expected {CAPTION!r}")
        if box.style != step.style:
            style = "?" if box.style is None else f"0x{box.style:x}"
            failures.append(f"{where}: style {style}, expected 0x{step.style:x}")
        if box.retval != step.answer:
            failures.append(f"{where}: answered {box.retval} after key {step.key}, expected "
                            f"{step.answer} ({ANSWER_NAMES[step.answer]})")
    for box in run.boxes[len(script):]:
        failures.append(f"unexpected box after the dialogue ended: {box.text!r} "
                        f"(style {box.style}, answered {box.retval})")
    if run.extra_windows and len(run.boxes) <= len(script):
        failures.append(f"unexpected window(s) after the dialogue ended: {run.extra_windows}")
    return failures


def describe_box(box: BoxCall) -> str:
    style = "?" if box.style is None else f"0x{box.style:03x}"
    answer = ANSWER_NAMES.get(box.retval, str(box.retval))
    return f"[{box.caption}] style {style} -> {answer}: {box.text!r}"
