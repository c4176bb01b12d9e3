#!/usr/bin/env python3
"""orvex-recorder.exe as a service of wine's service manager, against the native orvex-sim.

  recorder_service_wine_test.py --wine-run W --exe E --service-tool T --native-build N
                                --qdx Q --shim S --prefix P [RecorderServiceWineTest.test_CASE]
T is orvex_wine_service.exe (the configuration, the state and PARAMCHANGE, which wine's sc.exe
lacks). P is a prefix of these tests' own: services are the prefix's, and every process of it,
the service manager and so the services included, must carry the modem-line library S, so the
first process is started by these tests. That process's standard error is the service manager's,
and so the services': with the eventlog debug channel on, the Event Log's lines land there.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import time
import unittest

import recorder_wine_test as base
from recorder_wine_test import (ComNumber, Sim, qdx_damaged, read_bytes, settings, text_rows,
                                has_values, wait_until, windows_path)

ARGS = None
START_TIMEOUT = 60.0
SERVICE_LOG = None  # the service manager's standard error

ERROR_SERVICE_SPECIFIC_ERROR = 1066
ERROR_SERVICE_DOES_NOT_EXIST = 1060
SERVICE_CONTROL_PARAMCHANGE = 6  # wine's sc.exe has no "control"
ACCEPTS = 0x1 | 0x4 | 0x8 | 0x100  # stop, shutdown, paramchange, preshutdown
EVENT_SOURCE_KEY = r"HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\orvex-recorder"


def wine(*command, timeout=120):
    result = subprocess.run([ARGS.wine_run, *command], env=base.wine_env(),
                            stdin=subprocess.DEVNULL, capture_output=True, timeout=timeout)
    result.out = (result.stdout + result.stderr).decode("utf-8", "replace")
    return result


def recorder(*args):
    return wine(ARGS.exe, *args)


def tool(*args, timeout=120):
    return wine(ARGS.service_tool, *args, timeout=timeout)


def fields(text):
    return dict(line.split("=", 1) for line in text.replace("\r", "").split("\n") if "=" in line)


def unix_path(windows):
    """C:\\... in the prefix as a Unix path."""
    assert windows[1:3] == ":\\"
    return os.path.join(base.prefix(), "drive_c", *windows[3:].split("\\"))


def server(*args):
    subprocess.run([shutil.which("wineserver") or "/usr/lib/wine/wineserver", *args],
                   env=base.wine_env(), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=120)


def boot_prefix():
    """A session whose first process starts the service manager with our environment and
    standard error. A prefix is made in a session of its own, whose manager writes nowhere."""
    global SERVICE_LOG
    os.makedirs(base.prefix(), exist_ok=True)
    wine("cmd", "/c", "exit", timeout=300)
    server("-k")
    server("-w")
    server("-p30")
    SERVICE_LOG = os.path.join(base.prefix(), "services.log")
    with open(SERVICE_LOG, "wb") as log:
        subprocess.run([ARGS.wine_run, "cmd", "/c", "exit"], env=base.wine_env(),
                       stdin=subprocess.DEVNULL, stdout=log, stderr=log, timeout=300)


def end_prefix():
    server("-k")


class RecorderServiceWineTest(base.FolderCase):
    folder_prefix = "orvex-service-wine-"

    @classmethod
    def setUpClass(cls):
        boot_prefix()

    @classmethod
    def tearDownClass(cls):
        end_prefix()

    def simulated_port(self, name):
        com = ComNumber()
        self.cleanups.append(com.release)
        sim = Sim(self.dir, name)
        self.cleanups.append(sim.stop)
        com.map(sim.pty)
        return com.number

    def installed(self, name, *args):
        """Installs the instance NAME; removed again at the test's end whatever happens."""
        result = recorder("--install", "--name", name, *args)
        self.assertEqual(result.returncode, 0, result.out)
        self.cleanups.append(lambda: recorder("--uninstall", "--name", name))
        return "orvex-recorder@" + name

    def wait_state(self, service, state, timeout=START_TIMEOUT):
        result = tool("wait", service, state, str(int(timeout)), timeout=timeout + 60)
        self.assertEqual(result.returncode, 0, "%s never %s:\n%s\n%s" % (
            service, state, result.out, read_bytes(SERVICE_LOG).decode("utf-8", "replace")))
        return fields(result.out)

    def start(self, service):
        result = wine("sc", "start", service)
        self.assertEqual(result.returncode, 0, result.out)

    def stop(self, service):
        start = time.monotonic()
        result = wine("sc", "stop", service)
        self.assertEqual(result.returncode, 0, result.out)
        status = self.wait_state(service, "STOPPED")
        # Two wine processes' starts included: a figure to read, not to hold against a bound.
        print("%s stopped %.2f s after sc stop began" % (service, time.monotonic() - start))
        return status

    def test_installs_records_reloads_stops_and_uninstalls(self):
        port = self.simulated_port("sim")
        station = self.folder("stacja")
        ini = os.path.join(station, "orvex.ini")
        with open(ini, "wb") as f:
            f.write(settings(port))  # relative file names: the settings folder's
        service = self.installed("main", "--config", windows_path(station), "--address", "1")

        shown = tool("config", service).out
        config = fields(shown)
        self.assertEqual(config.get("start"), "2", shown)  # automatic
        self.assertEqual(config.get("account"), "NT SERVICE\\" + service, shown)
        self.assertEqual(config.get("command"), '"%s" --service --config "%s" --name main '
                         '"--address" "1"' % (windows_path(ARGS.exe), windows_path(station)),
                         shown)
        self.assertIn("ORVEX concentrator", config.get("description", ""), shown)
        self.assertEqual(config.get("preshutdown"), "30000", shown)
        # Wine's manager answers these levels with ERROR_INVALID_LEVEL (124): not shown there.
        for key, level, value in (("actions", 2, "1/10000,1/60000,1/300000"),  # restarts
                                  ("reset", 2, "86400"), ("delayed", 3, "1"),
                                  ("failure_flag", 4, "1")):
            if key in config:
                self.assertEqual(config[key], value, shown)
            else:
                self.assertIn("config2 %d failed 124" % level, shown)
        source = wine("reg", "query", EVENT_SOURCE_KEY, "/v", "EventMessageFile")
        self.assertIn(windows_path(ARGS.exe), source.out)

        again = recorder("--install", "--name", "main")
        self.assertEqual(again.returncode, 1)
        self.assertIn("the service %s is installed already" % service, again.out)

        self.start(service)
        status = self.wait_state(service, "RUNNING")
        self.assertEqual(int(status["accepted"]), ACCEPTS, status)
        text = os.path.join(station, "pomiary.csv")
        self.assertTrue(wait_until(lambda: len(text_rows(text)) >= 3
                                   and has_values(text_rows(text)[-1]), 30),
                        read_bytes(SERVICE_LOG).decode("utf-8", "replace"))

        # PARAMCHANGE rereads orvex.ini and reopens the files, as --reload does.
        with open(ini, "wb") as f:
            f.write(settings(port, text="nowy.csv"))
        result = tool("control", service, str(SERVICE_CONTROL_PARAMCHANGE))
        self.assertEqual(result.returncode, 0, result.out)
        new_text = os.path.join(station, "nowy.csv")
        self.assertTrue(wait_until(lambda: len(text_rows(new_text)) >= 2, 30))
        old_rows = len(text_rows(text))

        status = self.stop(service)
        self.assertEqual((status["exit"], status["specific"]), ("0", "0"), status)
        # The stop path closed the files: whole lines, no damaged record, nothing written later.
        self.assertTrue(read_bytes(new_text).endswith(b"\r\n"))
        self.assertEqual(qdx_damaged(os.path.join(station, "pomiary.qdx")), 0)
        self.assertEqual(len(text_rows(text)), old_rows)

        result = recorder("--uninstall", "--name", "main")
        self.assertEqual(result.returncode, 0, result.out)
        gone = tool("state", service)
        self.assertIn("open failed %d" % ERROR_SERVICE_DOES_NOT_EXIST, gone.out)
        self.assertTrue(os.path.exists(ini))  # settings and recordings stay
        result = recorder("--uninstall", "--name", "main")
        self.assertEqual(result.returncode, 1)
        self.assertIn("no service %s is installed" % service, result.out)

    def test_instances_side_by_side_in_their_own_folders(self):
        names = ("alfa", "beta")
        services, folders = {}, {}
        for name in names:
            services[name] = self.installed(name)
            folders[name] = unix_path("C:\\ProgramData\\orvex\\" + name)
            self.assertTrue(os.path.isdir(folders[name]))
            with open(os.path.join(folders[name], "orvex.ini"), "wb") as f:
                f.write(settings(self.simulated_port(name)))
        for name in names:
            self.start(services[name])
        for name in names:
            self.wait_state(services[name], "RUNNING")
            text = os.path.join(folders[name], "pomiary.csv")
            self.assertTrue(wait_until(lambda: len(text_rows(text)) >= 2, 30), name)

        self.stop(services["alfa"])
        self.assertEqual(fields(tool("state", services["beta"]).out).get("state"), "RUNNING")
        self.assertEqual(recorder("--uninstall", "--name", "alfa").returncode, 0)
        # The source is shared: it stays while an instance is left, and goes with the last.
        self.assertEqual(wine("reg", "query", EVENT_SOURCE_KEY).returncode, 0)
        result = recorder("--uninstall", "--name", "beta")  # stops the running one first
        self.assertEqual(result.returncode, 0, result.out)
        self.assertNotEqual(wine("reg", "query", EVENT_SOURCE_KEY).returncode, 0)

    def test_a_service_without_settings_stops_with_a_failure_and_logs_it(self):
        station = self.folder("pusta")
        service = self.installed("pusta", "--config", windows_path(station))
        self.start(service)
        status = self.wait_state(service, "STOPPED")
        self.assertEqual(int(status["exit"]), ERROR_SERVICE_SPECIFIC_ERROR, status)
        self.assertEqual(int(status["specific"]), 78, status)
        # Wine's ReportEvent writes an error to its eventlog debug channel.
        self.assertTrue(wait_until(lambda: re.search(
            rb"orvex-recorder@pusta: cannot start: .*orvex\.ini does not exist",
            read_bytes(SERVICE_LOG)) is not None, 10),
            read_bytes(SERVICE_LOG).decode("utf-8", "replace"))

    def test_service_options_are_checked(self):
        result = recorder("--service")
        self.assertEqual(result.returncode, 2)
        self.assertIn("--service is for the service manager", result.out)
        for args in (["--name", "a/b", "--install"], ["--name", "..", "--install"],
                     ["--install", "--uninstall"], ["--name", "x"]):
            with self.subTest(args=args):
                result = recorder(*args)
                self.assertEqual(result.returncode, 2, result.out)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for name in ("--wine-run", "--exe", "--service-tool", "--native-build", "--qdx", "--shim",
                 "--prefix"):
        parser.add_argument(name, required=True)
    ARGS, rest = parser.parse_known_args()
    for name in vars(ARGS):
        setattr(ARGS, name, os.path.abspath(getattr(ARGS, name)))
    os.environ["WINEPREFIX"] = ARGS.prefix
    # Errors and warnings of ReportEvent, on the service manager's standard error.
    os.environ["WINEDEBUG"] = "-all,err+eventlog,warn+eventlog"
    base.ARGS = ARGS
    program = unittest.main(argv=[sys.argv[0], *rest], exit=False, verbosity=2)
    return 0 if program.result.wasSuccessful() and program.result.testsRun > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
