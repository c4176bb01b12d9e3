#!/usr/bin/env python3
"""orvex-recorder.exe under wine against the native orvex-sim, and beside the native recorder.

CTest runs one case per test from the Windows build tree:
  recorder_wine_test.py --wine-run W --exe E --native-build N --qdx Q [--shim S]
                        [RecorderWineTest.test_CASE ...]
W is cmake/wine-run.sh (WINEPREFIX or ORVEX_WINEPREFIX names the prefix), E orvex-recorder.exe,
N the native build tree (sim/orvex-sim, recorder/orvex-recorder, the modem-line library S),
Q orvex-qdx.exe (run under wine too).

A COM port reaches a simulator through $WINEPREFIX/dosdevices/comN -> its pseudo-terminal; the
numbers are claimed from 200 up, so these tests and others can share one prefix. The native
recorder gets the same number through ports/comN beside its orvex.ini.

With --measure SECONDS it runs no test: it records for that long under wine, then prints the
CPU time the wine process used and the time from Ctrl-C to its end.
"""
import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest

ARGS = None

# The requirement is 1 s; the margin is for a loaded machine (measured figures are printed).
EXIT_BOUND = 2.0
# Wine's first start in a prefix, and the first polling cycle after it, take seconds.
START_TIMEOUT = 60.0

# The demo sensors with fixed values: two simulators answer alike, so two recordings match.
FIXED_VALUES = "drift off\n"


def windows_path(path):
    """The path as a program under wine names it (drive Z: is the Unix root)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wait_until(condition, timeout, step=0.05):
    """Files and the prefix give no notice of a change: look again every step."""
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() >= deadline:
            return False
        time.sleep(step)
    return True


def read_bytes(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return b""


def text_rows(path):
    """The text file's lines (Windows-1250, CRLF), the header first."""
    return read_bytes(path).decode("cp1250").split("\r\n")[:-1]


def is_header(line):
    return line.startswith("Data i Godzina\t")


def is_row(line):
    return re.match(r"\d{4}\.\d\d\.\d\d \d\d:\d\d:\d\d\t", line) is not None


def has_values(row):
    return row.split("\t", 1)[1].strip("\t") != ""


def split_at_last_header(rows):
    """The last header line, the lines before it and the rows after it."""
    last = max(i for i, line in enumerate(rows) if is_header(line))
    return rows[last], rows[:last], rows[last + 1:]


def prefix():
    value = os.environ.get("WINEPREFIX") or os.environ.get("ORVEX_WINEPREFIX")
    if not value:
        raise RuntimeError("WINEPREFIX or ORVEX_WINEPREFIX must name the wine prefix")
    return value


def wine_env():
    env = dict(os.environ)
    env["WINEPREFIX"] = prefix()
    env.setdefault("WINEDEBUG", "-all")
    # Wine reads the arguments' bytes in the locale's character set: UTF-8, as the tests write.
    env["LANG"] = "C.UTF-8"
    if ARGS.shim:
        env["LD_PRELOAD"] = ARGS.shim + (":" + env["LD_PRELOAD"] if env.get("LD_PRELOAD") else "")
    return env


class ComNumber:
    """A COM number claimed in the prefix (the link's name is the claim), mapped or not. A link
    is left behind by a killed run when it points at a pseudo-terminal that is gone, or is the
    claim of a process that is gone: those are taken over."""

    CLAIM = "/nonexistent/orvex-recorder-test-claim-"

    def __init__(self):
        devices = os.path.join(prefix(), "dosdevices")
        os.makedirs(devices, exist_ok=True)
        self.target = self.CLAIM + str(os.getpid())
        for n in range(200, 257):
            link = os.path.join(devices, "com%d" % n)
            if os.path.islink(link) and self._left_behind(link):
                os.unlink(link)
            try:
                os.symlink(self.target, link)
            except FileExistsError:
                continue
            self.number = n
            self.link = link
            return
        raise RuntimeError("no free COM number in " + devices)

    @classmethod
    def _left_behind(cls, link):
        try:
            target = os.readlink(link)
        except FileNotFoundError:
            return False
        if target.startswith(cls.CLAIM):
            try:
                os.kill(int(target[len(cls.CLAIM):]), 0)
            except ProcessLookupError:
                return True
            except (PermissionError, ValueError):
                return False
            return False
        return not os.path.exists(link)

    def unmap(self):
        """Claimed, with no device behind it."""
        self.map(self.CLAIM + str(os.getpid()))

    def map(self, target):
        temporary = "%s.%d.new" % (self.link, os.getpid())
        os.symlink(target, temporary)
        os.replace(temporary, self.link)
        self.target = target

    def release(self):
        # Only our own link: one whose device went away may have been taken over.
        try:
            if os.readlink(self.link) == self.target:
                os.unlink(self.link)
        except FileNotFoundError:
            pass


class Sim:
    """The native simulator; its output goes to a file (wine's server takes the pseudo-terminal
    as its controlling terminal and writes to it when the simulator ends)."""

    def __init__(self, folder, name, config=FIXED_VALUES, args=()):
        config_path = os.path.join(folder, name + ".cfg")
        with open(config_path, "w") as f:
            f.write(config)
        self.output = os.path.join(folder, name + ".out")
        with open(self.output, "w") as out:
            self.process = subprocess.Popen(
                [os.path.join(ARGS.native_build, "sim", "orvex-sim"), "--demo", "--config",
                 config_path, "--exit-on-eof", *args],
                stdin=subprocess.PIPE, stdout=out, stderr=subprocess.STDOUT)
        self.pty = None

        def announced():
            match = re.search(r"^PTY (\S+)$", read_bytes(self.output).decode(), re.M)
            self.pty = match.group(1) if match else None
            return self.pty is not None

        if not wait_until(announced, 10):
            self.stop()
            raise RuntimeError("orvex-sim did not announce its pseudo-terminal")

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(10)
        self.process.stdin.close()


class Recorder:
    """A recorder process with its standard error read line by line."""

    def __init__(self, command, cwd, env=None):
        self.lines = []
        self.changed = threading.Condition()
        self.process = subprocess.Popen(command, cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for raw in self.process.stderr:
            with self.changed:
                self.lines.append(raw.decode("utf-8", "replace").rstrip("\r\n"))
                self.changed.notify_all()
        self.process.stderr.close()
        with self.changed:
            self.changed.notify_all()

    def wait_for_line(self, pattern, timeout):
        """The first line matching the regular expression, or None after the timeout."""
        deadline = time.monotonic() + timeout
        with self.changed:
            while True:
                for line in self.lines:
                    if re.search(pattern, line):
                        return line
                left = deadline - time.monotonic()
                if left <= 0 or (self.process.poll() is not None and not self.reader.is_alive()):
                    return None
                self.changed.wait(left)

    def count(self, pattern):
        with self.changed:
            return sum(1 for line in self.lines if re.search(pattern, line))

    def output(self):
        with self.changed:
            return "\n".join(self.lines)

    def interrupt(self):
        """Ctrl-C (SIGINT, which wine hands to the console handlers as CTRL_C_EVENT); the exit
        status and the seconds to the end, or None for a process that did not end in time."""
        start = time.monotonic()
        self.process.send_signal(signal.SIGINT)
        try:
            status = self.process.wait(10)
        except subprocess.TimeoutExpired:
            return None, None
        took = time.monotonic() - start
        self.reader.join(5)
        return status, took

    def wait(self, timeout):
        try:
            status = self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            return None
        self.reader.join(5)
        return status

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(10)
        self.reader.join(5)


def windows_recorder(folder, *extra):
    return Recorder([ARGS.wine_run, ARGS.exe, "--config", windows_path(folder), *extra], folder,
                    wine_env())


def native_recorder(folder):
    return Recorder([os.path.join(ARGS.native_build, "recorder", "orvex-recorder"), "--config",
                     folder], folder)


def run_wine(*command):
    return subprocess.run([ARGS.wine_run, *command], env=wine_env(), stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=120)


def settings(port, text="pomiary.csv", binary="pomiary.qdx", extra=""):
    """orvex.ini recording both files every second; relative names are the working folder's."""
    return ("[GENERAL]\r\nPORT_NR=%d\r\nPORT_SPEED=9600\r\n[LOG]\r\nFILE_NAME=%s\r\n"
            "FILE_NAME_BIN=%s\r\nFILE_LOG=1\r\nFILE_LOG_BIN=1\r\nFILE_INTERVAL=1\r\n%s"
            % (port, text, binary, extra)).encode("cp1250")


def qdx_records(path):
    """The .qdx file through orvex-qdx --csv: one tuple of entries (without the time) per
    record, in order. A record ends where the time changes or a channel comes again (two
    records may share a second: the first is written as soon as the device answers)."""
    result = run_wine(ARGS.qdx, "--csv", windows_path(path))
    if result.returncode != 0:
        raise AssertionError("orvex-qdx failed: " + result.stderr.decode("utf-8", "replace"))
    lines = result.stdout.decode("utf-8").replace("\r\n", "\n").split("\n")
    records = []
    time_of_last, channels = None, set()
    for line in lines[1:]:
        if not line:
            continue
        time_field, rest = line.split(",", 1)
        channel = rest.rsplit(",", 2)[0]  # all but the value and its validity
        if time_field != time_of_last or channel in channels:
            records.append([])
            time_of_last, channels = time_field, set()
        records[-1].append(rest)
        channels.add(channel)
    return [tuple(entries) for entries in records]


def qdx_damaged(path):
    """The count of damaged records in orvex-qdx's summary."""
    result = run_wine(ARGS.qdx, windows_path(path))
    text = result.stdout.decode("utf-8", "replace")
    match = re.search(r"uszkodzone rekordy: (\d+)", text, re.I)
    if result.returncode != 0 or not match:
        raise AssertionError("orvex-qdx summary unreadable (status %d): %s %s" % (
            result.returncode, text, result.stderr.decode("utf-8", "replace")))
    return int(match.group(1))


def start_wine_server():
    """A wine server carrying the modem-line library, unless one runs already: the library opens
    pseudo-terminals without making them the server's controlling terminal, whose hang-up at a
    simulator's end would take the server, and every wine process with it, down."""
    server = shutil.which("wineserver") or "/usr/lib/wine/wineserver"
    os.makedirs(prefix(), exist_ok=True)
    # Kept 30 s past its last client: a client that connects while the server ends its idle
    # time is turned away ("recvmsg: Connection reset by peer").
    subprocess.run([server, "-p30"], env=wine_env(), stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class FolderCase(unittest.TestCase):
    """A test with a temporary folder of its own, and clean-ups run last first."""
    folder_prefix = "orvex-recorder-wine-"

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix=self.folder_prefix)
        self.cleanups = []

    def tearDown(self):
        for cleanup in reversed(self.cleanups):
            cleanup()
        shutil.rmtree(self.dir, ignore_errors=True)

    def folder(self, name):
        path = os.path.join(self.dir, name)
        os.makedirs(path)
        return path


class RecorderWineTest(FolderCase):
    @classmethod
    def setUpClass(cls):
        start_wine_server()

    def com(self):
        com = ComNumber()
        self.cleanups.append(com.release)
        return com

    def sim(self, name, args=()):
        sim = Sim(self.dir, name, args=args)
        self.cleanups.append(sim.stop)
        return sim

    def started(self, recorder):
        self.cleanups.append(recorder.kill)
        return recorder

    def stop_promptly(self, recorder, reason):
        status, took = recorder.interrupt()
        self.assertIsNotNone(status, "no end after Ctrl-C\n" + recorder.output())
        print("exit %.3f s after Ctrl-C (%s)" % (took, reason))
        self.assertEqual(status, 0, recorder.output())
        self.assertLess(took, EXIT_BOUND)
        self.assertIsNotNone(recorder.wait_for_line(r"stopping on Ctrl-C$", 0), recorder.output())
        self.assertIsNotNone(recorder.wait_for_line(r"stopped$", 0), recorder.output())

    def test_records_both_files_and_ends_on_ctrl_c(self):
        com = self.com()
        com.map(self.sim("sim").pty)
        station = self.folder("stacja-łąka")
        text = os.path.join(station, "pomiary_łąka.csv")
        binary = os.path.join(station, "pomiary.qdx")
        with open(os.path.join(station, "orvex.ini"), "wb") as f:
            # Absolute Windows paths, as the window writes them; publishing asked for, which
            # this build cannot do.
            f.write(settings(com.number, windows_path(text), windows_path(binary),
                             "[MQTT]\r\nENABLED=1\r\n"))
        recorder = self.started(windows_recorder(station))
        self.assertIsNotNone(recorder.wait_for_line(r"device responding", START_TIMEOUT),
                             recorder.output())
        self.assertTrue(wait_until(lambda: len(text_rows(text)) >= 4, 15), recorder.output())
        self.assertTrue(wait_until(lambda: len(qdx_records(binary)) >= 2, 15, 0.5))
        self.stop_promptly(recorder, "recording")

        log = recorder.output()
        self.assertIn("recording into the text file %s" % windows_path(text), log)
        self.assertEqual(recorder.count(r"ENABLED=1 is ignored: this orvex-recorder is built "
                                        r"without MQTT publishing; recording goes on"), 1, log)
        # Windows log lines: the local time, no syslog priority.
        for line in recorder.lines:
            self.assertRegex(line, r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d ")
            self.assertNotRegex(line, r"<\d>")
        rows = text_rows(text)
        header, _, after = split_at_last_header(rows)
        self.assertTrue(header.startswith("Data i Godzina\tTQ21 2101"), rows)
        self.assertTrue(after and all(is_row(r) and has_values(r) for r in after), rows)
        self.assertEqual(qdx_damaged(binary), 0)

    def test_files_match_the_linux_recorders(self):
        com = self.com()
        com.map(self.sim("wine-sim").pty)
        native_sim = self.sim("native-sim")
        ini = settings(com.number)
        folders = {}
        for name in ("linux", "windows"):
            folders[name] = self.folder(name)
            with open(os.path.join(folders[name], "orvex.ini"), "wb") as f:
                f.write(ini)  # the same bytes for both
        os.makedirs(os.path.join(folders["linux"], "ports"))
        os.symlink(native_sim.pty, os.path.join(folders["linux"], "ports", "com%d" % com.number))
        recorders = {"windows": self.started(windows_recorder(folders["windows"])),
                     "linux": self.started(native_recorder(folders["linux"]))}
        for recorder in recorders.values():
            self.assertIsNotNone(recorder.wait_for_line(r"device responding", START_TIMEOUT),
                                 recorder.output())
        for name, folder in folders.items():
            self.assertTrue(wait_until(
                lambda: len(text_rows(os.path.join(folder, "pomiary.csv"))) >= 6, 20),
                recorders[name].output())
        for recorder in recorders.values():
            status, _ = recorder.interrupt()
            self.assertEqual(status, 0, recorder.output())

        text = {n: text_rows(os.path.join(f, "pomiary.csv")) for n, f in folders.items()}
        # A header line comes again when the columns change: a tick before the first answer
        # writes one without sensors and rows without values. From the last header on, rows
        # without their time must match.
        header, full = {}, {}
        for name, rows in text.items():
            header[name], before, after = split_at_last_header(rows)
            self.assertIn("\tTQ21 2101 ", header[name],
                          "\n".join(rows) + "\n" + recorders[name].output())
            self.assertTrue(all(is_row(r) for r in after), rows)
            self.assertTrue(all(is_header(r) or (is_row(r) and not has_values(r))
                                for r in before), rows)
            bodies = [r.split("\t", 1)[1] for r in after]
            self.assertTrue(all(b.count("\t") == header[name].count("\t") - 1 for b in bodies))
            full[name] = bodies
            self.assertGreaterEqual(len(full[name]), 3, rows)
        self.assertEqual(header["windows"], header["linux"])
        self.assertEqual(set(full["windows"]), {full["linux"][0]})
        self.assertEqual(set(full["linux"]), {full["linux"][0]})

        binary = {n: os.path.join(f, "pomiary.qdx") for n, f in folders.items()}
        records = {n: qdx_records(p) for n, p in binary.items()}
        for name, path in binary.items():
            self.assertEqual(qdx_damaged(path), 0, name)
            self.assertGreaterEqual(len(records[name]), 3, name)
            # Every record the same entries in the same order, on both systems.
            reference = records["linux"][0]
            differences = ["%s: %s" % (i, [e for e in r if e not in reference] +
                                       ["missing " + e for e in reference if e not in r])
                           for i, r in enumerate(records[name]) if r != reference]
            self.assertEqual(differences, [], name)
            # Fixed values, so every record is as long as every other, on both systems.
            size = len(read_bytes(path))
            self.assertEqual(size % len(records[name]), 0, name)
            self.assertEqual(size // len(records[name]),
                             len(read_bytes(binary["linux"])) // len(records["linux"]), name)

    def test_a_missing_port_is_tried_again_and_a_stop_in_the_wait_is_prompt(self):
        com = self.com()
        station = self.folder("station")
        with open(os.path.join(station, "orvex.ini"), "wb") as f:
            f.write(settings(com.number))
        text = os.path.join(station, "pomiary.csv")

        recorder = self.started(windows_recorder(station))
        self.assertIsNotNone(recorder.wait_for_line(
            r"port COM%d .*cannot be opened: .*; trying again every second" % com.number,
            START_TIMEOUT), recorder.output())
        # Rows go on, without values, while the port is away.
        self.assertTrue(wait_until(lambda: len(text_rows(text)) >= 3, 15), recorder.output())
        self.assertTrue(all(is_row(r) and not has_values(r) for r in text_rows(text)[1:]))
        self.stop_promptly(recorder, "port missing")

        # The port appearing later is found by the retries.
        recorder = self.started(windows_recorder(station))
        self.assertIsNotNone(recorder.wait_for_line(r"cannot be opened", START_TIMEOUT),
                             recorder.output())
        com.map(self.sim("sim").pty)
        self.assertIsNotNone(recorder.wait_for_line(r"port COM%d .*opened$" % com.number, 10),
                             recorder.output())
        self.assertIsNotNone(recorder.wait_for_line(r"device responding", 15), recorder.output())
        self.assertEqual(recorder.count(r"cannot be opened"), 1, recorder.output())
        self.stop_promptly(recorder, "port found late")

    def test_an_unplugged_adapter_is_reopened_and_the_gap_has_no_old_values(self):
        com = self.com()
        first = self.sim("first")
        com.map(first.pty)
        station = self.folder("station")
        with open(os.path.join(station, "orvex.ini"), "wb") as f:
            f.write(settings(com.number))
        text = os.path.join(station, "pomiary.csv")
        recorder = self.started(windows_recorder(station))
        self.assertIsNotNone(recorder.wait_for_line(r"device responding", START_TIMEOUT),
                             recorder.output())

        # The adapter goes: its device is gone, and so is the name.
        com.unmap()
        first.stop()
        self.assertIsNotNone(recorder.wait_for_line(r"port COM\d+ .*lost; reopening", 10),
                             recorder.output())
        gap_start = len(text_rows(text))
        self.assertTrue(wait_until(lambda: len(text_rows(text)) >= gap_start + 2, 10))
        com.map(self.sim("second").pty)
        self.assertIsNotNone(recorder.wait_for_line(r"port COM\d+ .*back$", 10), recorder.output())
        self.assertTrue(wait_until(lambda: has_values(text_rows(text)[-1]), 10), recorder.output())
        self.stop_promptly(recorder, "after a re-plug")

        rows = text_rows(text)
        gap = [r for r in rows[gap_start:] if is_row(r) and not has_values(r)]
        self.assertGreaterEqual(len(gap), 2, rows)  # rows went on without values
        self.assertTrue(has_values(rows[-1]), rows)

    def test_ends_promptly_while_a_request_waits_for_the_device(self):
        com = self.com()
        station = self.folder("station")
        with open(os.path.join(station, "orvex.ini"), "wb") as f:
            f.write(settings(com.number))
        for mode in ("silence", "slow"):
            with self.subTest(mode=mode):
                sim = self.sim(mode, ["--fault", mode, "--slow-ms", "4000", "--log"])
                com.map(sim.pty)
                recorder = self.started(windows_recorder(station))
                self.assertIsNotNone(recorder.wait_for_line(r"port COM\d+ .*opened$",
                                                            START_TIMEOUT), recorder.output())
                # A request is on the line, its answer seconds away (or never coming).
                self.assertTrue(wait_until(lambda: "REQ" in read_bytes(sim.output).decode(), 10))
                self.stop_promptly(recorder, "device " + mode)
                com.unmap()  # before the device goes, or the number looks left behind
                sim.stop()

    def test_reload_on_request_rereads_the_settings(self):
        com = self.com()
        com.map(self.sim("sim").pty)
        station = self.folder("station")
        ini = os.path.join(station, "orvex.ini")
        with open(ini, "wb") as f:
            f.write(settings(com.number))
        recorder = self.started(windows_recorder(station))
        hint = recorder.wait_for_line(r"to reopen the files and reread orvex.ini: "
                                      r"orvex-recorder --reload \d+$", START_TIMEOUT)
        self.assertIsNotNone(hint, recorder.output())
        pid = hint.rsplit(" ", 1)[1]
        self.assertIsNotNone(recorder.wait_for_line(r"device responding", START_TIMEOUT))

        # Rotation as a Windows program does it: renamed while the recorder holds it open (the
        # file is shared for deleting), then the reload makes a new file under the old name.
        binary = os.path.join(station, "pomiary.qdx")
        self.assertTrue(wait_until(lambda: len(read_bytes(binary)) > 0, 15), recorder.output())
        result = run_wine("cmd", "/c", "ren", windows_path(binary), "pomiary.1.qdx")
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        rotated = read_bytes(os.path.join(station, "pomiary.1.qdx"))
        self.assertGreater(len(rotated), 0)
        with open(ini, "wb") as f:
            f.write(settings(com.number, text="nowy.csv"))
        result = run_wine(ARGS.exe, "--reload", pid)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIsNotNone(recorder.wait_for_line(r"reloading orvex.ini", 10), recorder.output())
        self.assertIsNotNone(recorder.wait_for_line(r"reopened the binary file", 5))
        rotated = read_bytes(os.path.join(station, "pomiary.1.qdx"))
        new_text = os.path.join(station, "nowy.csv")
        self.assertTrue(wait_until(lambda: len(text_rows(new_text)) >= 2, 15), recorder.output())
        self.assertTrue(wait_until(lambda: len(read_bytes(binary)) > 0, 15), recorder.output())
        self.stop_promptly(recorder, "after a reload")
        # Nothing written to the rotated file after the reload; both decode.
        self.assertEqual(read_bytes(os.path.join(station, "pomiary.1.qdx")), rotated)
        self.assertEqual(qdx_damaged(binary), 0)
        self.assertEqual(qdx_damaged(os.path.join(station, "pomiary.1.qdx")), 0)

        # Not the ended recorder's id: wine gives ids out again at once, maybe to a recorder of a
        # test running beside this one. Ids are multiples of 4, so no process has an odd one.
        result = run_wine(ARGS.exe, "--reload", "4095")
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"no orvex-recorder with process id 4095 runs in this session",
                      result.stderr)

    def test_publishing_alone_is_refused_by_a_build_without_it(self):
        station = self.folder("station")
        with open(os.path.join(station, "orvex.ini"), "wb") as f:
            f.write(b"[GENERAL]\r\nPORT_NR=7\r\n[MQTT]\r\nENABLED=1\r\n")
        recorder = self.started(windows_recorder(station))
        self.assertEqual(recorder.wait(START_TIMEOUT), 78, recorder.output())
        self.assertIsNotNone(recorder.wait_for_line(r"error: cannot start: .*this build cannot "
                                                    r"publish", 5), recorder.output())


def measure(seconds):
    """CPU of the wine process over a recording of the given length, and the exit time."""
    start_wine_server()
    with tempfile.TemporaryDirectory(prefix="orvex-recorder-wine-") as folder:
        com = ComNumber()
        sim = Sim(folder, "sim")
        try:
            com.map(sim.pty)
            with open(os.path.join(folder, "orvex.ini"), "wb") as f:
                f.write(settings(com.number))
            recorder = windows_recorder(folder)
            if recorder.wait_for_line(r"device responding", START_TIMEOUT) is None:
                print(recorder.output())
                return 1
            ticks = os.sysconf("SC_CLK_TCK")

            def cpu():
                with open("/proc/%d/stat" % recorder.process.pid) as f:
                    fields = f.read().rsplit(")", 1)[1].split()
                return (int(fields[11]) + int(fields[12])) / ticks

            before, start = cpu(), time.monotonic()
            time.sleep(seconds)
            used, elapsed = cpu() - before, time.monotonic() - start
            rows = len(text_rows(os.path.join(folder, "pomiary.csv"))) - 1
            status, took = recorder.interrupt()
            print("recorded %.0f s under wine: %.2f s CPU (%.2f %% of one core), %d rows"
                  % (elapsed, used, 100 * used / elapsed, rows))
            print("exit status %s, %.3f s after Ctrl-C" % (status, took))
        finally:
            sim.stop()
            com.release()
    return 0


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine-run", required=True)
    parser.add_argument("--exe", required=True)
    parser.add_argument("--native-build", required=True)
    parser.add_argument("--qdx")
    parser.add_argument("--shim")
    parser.add_argument("--measure", type=float)
    ARGS, rest = parser.parse_known_args()
    for name in ("wine_run", "exe", "native_build", "qdx", "shim"):
        if getattr(ARGS, name):
            setattr(ARGS, name, os.path.abspath(getattr(ARGS, name)))  # the tests change folder
    if ARGS.shim and not os.path.exists(ARGS.shim):
        print("the modem-line library %s is missing" % ARGS.shim, file=sys.stderr)
        return 1
    if ARGS.measure:
        return measure(ARGS.measure)
    program = unittest.main(argv=[sys.argv[0], *rest], exit=False, verbosity=2)
    return 0 if program.result.wasSuccessful() and program.result.testsRun > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
