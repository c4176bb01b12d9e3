#!/usr/bin/env python3
"""orvex-<version>-setup.exe under wine: a silent install, the installed programs, the silent
uninstall; then the same with the recorder installed as a service.

  setup_wine_test.py --wine-run W --setup S --zip Z --prefix P [SetupWineTest.test_CASE]
W is cmake/wine-run.sh, S the installer, Z the portable zip of the same files (what must be
installed), P a prefix of this test's own, made afresh: the cases share it and each leaves it as
it found it.
"""
import argparse
import os
import shutil
import subprocess
import sys
import time
import unittest
import zipfile

ARGS = None

INSTALL_DIR = "C:\\Program Files\\orvex"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\orvex"
SERVICES_KEY = r"HKLM\System\CurrentControlSet\Services"
EVENT_SOURCE_KEY = r"HKLM\System\CurrentControlSet\Services\EventLog\Application\orvex-recorder"
START_MENU = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\orvex"
# Wine's start of a process in a loaded machine, and the uninstaller's copy of itself.
SETTLE_TIMEOUT = 180


def env():
    result = dict(os.environ)
    result["WINEPREFIX"] = ARGS.prefix
    result.setdefault("WINEDEBUG", "-all")
    result["LANG"] = "C.UTF-8"
    return result


def wine(*command, timeout=SETTLE_TIMEOUT):
    result = subprocess.run([ARGS.wine_run, *command], env=env(), stdin=subprocess.DEVNULL,
                            capture_output=True, timeout=timeout)
    result.out = (result.stdout + result.stderr).decode("utf-8", "replace")
    return result


def server(*args):
    subprocess.run([shutil.which("wineserver") or "/usr/lib/wine/wineserver", *args], env=env(),
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=SETTLE_TIMEOUT)


def wait_until(condition, timeout, step=0.5):
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() >= deadline:
            return False
        time.sleep(step)
    return True


def unix(windows):
    assert windows[1:3] == ":\\", windows
    return os.path.join(ARGS.prefix, "drive_c", *windows[3:].split("\\"))


def reg_values(key):
    """The key's values as {name: (type, data)}, or None when there is no such key."""
    result = wine("reg", "query", key)
    if result.returncode != 0:
        return None
    values = {}
    for line in result.out.replace("\r", "").split("\n"):
        parts = line.strip().split("    ")
        if len(parts) >= 2 and parts[1].startswith("REG_"):
            values["" if parts[0] == "(Default)" else parts[0]] = (
                parts[1], parts[2] if len(parts) > 2 else "")
    return values


def service_processes():
    """The process ids of the installed recorder running as a service (wine shows a process's
    Windows command line)."""
    out = subprocess.run(["ps", "-eo", "pid=,args="], capture_output=True, text=True).stdout
    program = INSTALL_DIR + "\\orvex-recorder.exe --service"
    return [line.split(None, 1)[0] for line in out.splitlines()
            if line.split(None, 1)[1:] and line.split(None, 1)[1].startswith(program)]


def staged_files():
    """The zip's files, relative to its top folder, with their contents."""
    files = {}
    with zipfile.ZipFile(ARGS.zip) as z:
        for info in z.infolist():
            if not info.is_dir():
                files[info.filename.split("/", 1)[1]] = z.read(info)
    return files


class SetupWineTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if os.path.isdir(ARGS.prefix):
            server("-k")  # a previous run's processes
            shutil.rmtree(ARGS.prefix)
        os.makedirs(ARGS.prefix)
        start = time.monotonic()
        wine("cmd", "/c", "exit", timeout=300)
        print("prefix made in %.1f s" % (time.monotonic() - start))
        # One session for the cases, whose first process starts the service manager: its
        # standard error, and so the services', goes to a log shown when a case fails.
        server("-k")
        server("-w")
        server("-p30")
        with open(cls.log_path(), "wb") as log:
            subprocess.run([ARGS.wine_run, "cmd", "/c", "exit"], env=env(),
                           stdin=subprocess.DEVNULL, stdout=log, stderr=log, timeout=300)
        cls.files = staged_files()
        cls.window = "orvex.exe" in cls.files

    @classmethod
    def tearDownClass(cls):
        server("-k")

    @staticmethod
    def log_path():
        return os.path.join(ARGS.prefix, "services.log")

    def install(self, *switches, status=0):
        start = time.monotonic()
        result = wine(ARGS.setup, "/S", *switches)
        print("setup.exe /S %s: %.1f s" % (" ".join(switches), time.monotonic() - start))
        self.assertEqual(result.returncode, status, result.out)

    def uninstall(self):
        start = time.monotonic()
        result = wine(INSTALL_DIR + "\\uninstall.exe", "/S")
        self.assertEqual(result.returncode, 0, result.out)
        # It returns at once: a copy of it outside the folder does the work. Its last step is
        # the uninstall entry.
        program = os.path.join(unix(INSTALL_DIR), "uninstall.exe")
        self.assertTrue(wait_until(lambda: not os.path.exists(program)
                                   and reg_values(UNINSTALL_KEY) is None, SETTLE_TIMEOUT),
                        "the uninstaller did not finish: " + self.diagnose())
        print("uninstall.exe /S: %.1f s" % (time.monotonic() - start))

    def diagnose(self):
        out = "\n".join(line for line in wine("reg", "query", SERVICES_KEY).out.split("\n")
                        if "orvex" in line)
        with open(self.log_path(), "rb") as log:
            out += "\nthe service manager's log:\n" + log.read()[-4000:].decode("utf-8", "replace")
        return out

    def portable_service(self, *name):
        """A service of a copy of the recorder outside Program Files; removed at the end."""
        portable = "C:\\orvex-portable\\orvex-recorder.exe"
        os.makedirs(os.path.dirname(unix(portable)))
        self.addCleanup(shutil.rmtree, os.path.dirname(unix(portable)))
        with open(unix(portable), "wb") as f:
            f.write(self.files["orvex-recorder.exe"])
        result = wine(portable, "--install", *name)
        self.assertEqual(result.returncode, 0, result.out)
        self.addCleanup(lambda: wine(portable, "--uninstall", *name))
        return portable

    def installed_recorder(self, *args):
        return wine(INSTALL_DIR + "\\orvex-recorder.exe", *args)

    def check_installed(self):
        root = unix(INSTALL_DIR)
        for name, content in self.files.items():
            with open(os.path.join(root, *name.split("/")), "rb") as f:
                self.assertEqual(f.read(), content, name)
        self.assertTrue(os.path.isfile(os.path.join(root, "uninstall.exe")))

        entry = reg_values(UNINSTALL_KEY)
        self.assertIsNotNone(entry, "no uninstall entry")
        version = os.path.basename(ARGS.setup)[len("orvex-"):-len("-setup.exe")]
        main = "orvex.exe" if self.window else "orvex-recorder.exe"
        for name, value in (("DisplayName", "orvex"), ("DisplayVersion", version),
                            ("UninstallString", '"%s\\uninstall.exe"' % INSTALL_DIR),
                            ("InstallLocation", INSTALL_DIR),
                            ("DisplayIcon", "%s\\%s,0" % (INSTALL_DIR, main))):
            self.assertEqual(entry.get(name), ("REG_SZ", value), entry)
        self.assertTrue(entry.get("Publisher", ("", ""))[1], entry)
        kind, size = entry["EstimatedSize"]
        self.assertEqual(kind, "REG_DWORD")
        # Kilobytes: the files' size within a rounding per file.
        total = sum(len(c) for c in self.files.values()) // 1024
        self.assertGreaterEqual(int(size, 16), total)
        self.assertLess(int(size, 16), total + 1024)

        menu = os.listdir(unix(START_MENU))
        self.assertIn("Wiersz poleceń orvex.lnk", menu)
        self.assertIn("Czytaj mnie.lnk", menu)
        self.assertEqual("orvex.lnk" in menu, self.window, menu)
        association = reg_values(r"HKLM\Software\Classes\orvex.qdx\shell\open\command")
        if self.window:
            self.assertEqual(association.get(""), (
                "REG_SZ", '"%s\\orvex.exe" --view "%%1"' % INSTALL_DIR))
            # Without another program's claim, .qdx opens in orvex.
            if "Lumeo.qdx" not in str(reg_values(r"HKLM\Software\Classes\.qdx")):
                self.assertEqual(reg_values(r"HKLM\Software\Classes\.qdx").get(""),
                                 ("REG_SZ", "orvex.qdx"))
        else:
            self.assertIsNone(association)

        result = self.installed_recorder("--version")
        self.assertEqual(result.returncode, 0, result.out)
        self.assertIn("orvex-recorder %s" % version, result.out)

    def check_removed(self):
        root = unix(INSTALL_DIR)
        folders = {n.rsplit("/", 1)[0] for n in self.files if "/" in n}
        left = [n for n in list(self.files) + ["uninstall.exe"] + sorted(folders)
                if os.path.exists(os.path.join(root, *n.split("/")))]
        self.assertEqual(left, [])
        self.assertIsNone(reg_values(UNINSTALL_KEY))
        self.assertFalse(os.path.exists(unix(START_MENU)))
        self.assertIsNone(reg_values(r"HKLM\Software\Classes\orvex.qdx"))
        qdx = reg_values(r"HKLM\Software\Classes\.qdx")
        self.assertNotIn("orvex.qdx", str(qdx))

    def test_installs_and_uninstalls_keeping_the_users_files(self):
        # The graphing program's claim on .qdx stays the default: orvex is offered beside it.
        qdx = r"HKLM\Software\Classes\.qdx"
        self.assertEqual(wine("reg", "add", qdx, "/ve", "/d", "Lumeo.qdx", "/f").returncode, 0)
        self.addCleanup(lambda: wine("reg", "delete", qdx, "/f"))
        self.install()
        self.check_installed()
        self.assertEqual(reg_values(qdx).get(""), ("REG_SZ", "Lumeo.qdx"))
        offered = reg_values(qdx + r"\OpenWithProgids")
        self.assertEqual(offered is not None and "orvex.qdx" in offered, self.window, offered)
        self.assertIsNone(reg_values(SERVICES_KEY + "\\orvex-recorder"))  # off by default
        # A file of the user's in the program folder is neither removed nor loses its folder.
        own = os.path.join(unix(INSTALL_DIR), "orvex.ini")
        with open(own, "wb") as f:
            f.write(b"[GENERAL]\r\nPORT_NR=4\r\n")
        self.addCleanup(lambda: shutil.rmtree(unix(INSTALL_DIR), ignore_errors=True))
        self.uninstall()
        self.check_removed()
        self.assertTrue(os.path.isfile(own))
        self.assertEqual(reg_values(qdx).get(""), ("REG_SZ", "Lumeo.qdx"))
        self.assertIsNone(reg_values(qdx + r"\OpenWithProgids"))

    def test_the_service_option_installs_the_service_and_the_uninstaller_removes_it(self):
        self.addCleanup(shutil.rmtree, unix("C:\\ProgramData\\orvex"), ignore_errors=True)
        # A copy elsewhere (the portable zip, say) with a service of its own, which stays.
        self.portable_service("--name", "obcy")

        self.install("/SERVICE=1")
        self.check_installed()
        service = reg_values(SERVICES_KEY + "\\orvex-recorder")
        self.assertIsNotNone(service, "no service")
        self.assertEqual(service.get("ImagePath"), (
            "REG_SZ", '"%s\\orvex-recorder.exe" --service --config "C:\\ProgramData\\orvex"'
            % INSTALL_DIR))
        self.assertEqual(service.get("Start"), ("REG_DWORD", "0x2"))
        self.assertTrue(os.path.isfile(unix("C:\\ProgramData\\orvex\\orvex.ini.example")))
        # A second instance made with the installed program goes with the uninstaller too.
        result = self.installed_recorder("--install", "--name", "hala2")
        self.assertEqual(result.returncode, 0, result.out)

        # Installing again over the running service: it is stopped for the files, then runs again.
        # (A port that is not there: the recorder runs on and tries it every second.)
        with open(unix("C:\\ProgramData\\orvex\\orvex.ini"), "wb") as f:
            f.write(b"[GENERAL]\r\nPORT_NR=249\r\n[LOG]\r\nFILE_NAME=pomiary.csv\r\n"
                    b"FILE_LOG=1\r\nFILE_INTERVAL=1\r\n")
        result = wine("net", "start", "orvex-recorder")
        self.assertEqual(result.returncode, 0, result.out + self.diagnose())
        before = service_processes()
        self.assertEqual(len(before), 1, before)
        self.install("/SERVICE=1")
        self.check_installed()
        self.assertIsNotNone(reg_values(SERVICES_KEY + "\\orvex-recorder"))
        self.assertTrue(wait_until(lambda: len(service_processes()) == 1
                                   and service_processes() != before, 60),
                        "not started again: %s %s" % (before, service_processes()))
        result = wine("net", "stop", "orvex-recorder")  # fails unless it runs
        self.assertEqual(result.returncode, 0, result.out + self.diagnose())
        result = wine("net", "start", "orvex-recorder")  # the uninstaller stops it
        self.assertEqual(result.returncode, 0, result.out + self.diagnose())

        self.uninstall()
        self.check_removed()
        self.assertIsNone(reg_values(SERVICES_KEY + "\\orvex-recorder"))
        self.assertIsNone(reg_values(SERVICES_KEY + "\\orvex-recorder@hala2"))
        self.assertIsNotNone(reg_values(SERVICES_KEY + "\\orvex-recorder@obcy"))
        # The Event Log source is shared: it stays while the other copy's service is there.
        self.assertIsNotNone(reg_values(EVENT_SOURCE_KEY), self.diagnose())
        # The service's settings folder is the user's data: it stays.
        self.assertTrue(os.path.isdir(unix("C:\\ProgramData\\orvex")))

    def test_a_service_that_cannot_be_installed_is_a_failed_installation(self):
        # The service's folder cannot be made: a file holds its name.
        blocker = unix("C:\\ProgramData\\orvex")
        with open(blocker, "wb") as f:
            f.write(b"")
        self.addCleanup(lambda: os.path.isfile(blocker) and os.remove(blocker))
        self.install("/SERVICE=1", status=3)
        self.assertIsNone(reg_values(SERVICES_KEY + "\\orvex-recorder"))
        self.check_installed()  # the programs themselves are there
        os.remove(blocker)

        # The name is taken by another copy's service, which stays that copy's.
        portable = self.portable_service()
        self.install("/SERVICE=1", status=3)
        self.uninstall()
        self.check_removed()
        image = reg_values(SERVICES_KEY + "\\orvex-recorder").get("ImagePath", ("", ""))[1]
        self.assertTrue(image.startswith('"%s"' % portable), image)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for name in ("--wine-run", "--setup", "--zip", "--prefix"):
        parser.add_argument(name, required=True)
    ARGS, rest = parser.parse_known_args()
    for name in vars(ARGS):
        setattr(ARGS, name, os.path.abspath(getattr(ARGS, name)))
    program = unittest.main(argv=[sys.argv[0], *rest], exit=False, verbosity=2)
    return 0 if program.result.wasSuccessful() and program.result.testsRun > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
