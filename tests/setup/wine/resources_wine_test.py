#!/usr/bin/env python3
"""The Windows programs' version resource, icon and manifest, as Windows reads them (under wine).

  resources_wine_test.py --wine-run W --tool T --version V EXE...
T is orvex_wine_resources.exe, V the project's version ("1.09").
"""
import argparse
import os
import subprocess
import sys
import unittest
import xml.etree.ElementTree as ET

ARGS = None

ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
ASM_V3 = "urn:schemas-microsoft-com:asm.v3"
COMPATIBILITY = "urn:schemas-microsoft-com:compatibility.v1"
SETTINGS_2005 = "http://schemas.microsoft.com/SMI/2005/WindowsSettings"
SETTINGS_2016 = "http://schemas.microsoft.com/SMI/2016/WindowsSettings"
WINDOWS_10 = "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"


def query(exe):
    """The tool's key=value lines and the manifest's bytes."""
    windows = "Z:" + os.path.abspath(exe).replace("/", "\\")
    result = subprocess.run([ARGS.wine_run, ARGS.tool, windows], stdin=subprocess.DEVNULL,
                            capture_output=True, timeout=300)
    if result.returncode != 0:
        raise AssertionError("%s: %s" % (exe, (result.stdout + result.stderr).decode(
            "utf-8", "replace")))
    head, _, manifest = result.stdout.partition(b"manifest:\r\n")
    fields = {}
    for line in head.decode("utf-8").splitlines():
        key, _, value = line.partition("=")
        fields.setdefault(key, []).append(value)
    return {k: v[0] if len(v) == 1 else v for k, v in fields.items()}, manifest.replace(
        b"\r\n", b"\n")


def q(namespace, name):
    return "{%s}%s" % (namespace, name)


class ResourcesWineTest(unittest.TestCase):
    def test_every_program_carries_its_version_icon_and_manifest(self):
        major, minor = ARGS.version.split(".")
        numbers = "%d.%d.0.0" % (int(major), int(minor))
        for exe in ARGS.exes:
            name = os.path.basename(exe)
            with self.subTest(exe=name):
                fields, manifest = query(exe)
                self.assertEqual(fields.get("fixed_file"), numbers, fields)
                self.assertEqual(fields.get("fixed_product"), numbers, fields)
                self.assertEqual(fields.get("translation"), "041504b0", fields)  # Polish, UTF-16
                self.assertEqual(fields.get("FileVersion"), ARGS.version, fields)
                self.assertEqual(fields.get("ProductVersion"), ARGS.version, fields)
                self.assertEqual(fields.get("ProductName"), "orvex", fields)
                self.assertEqual(fields.get("OriginalFilename"), name, fields)
                self.assertTrue(fields.get("FileDescription"), fields)
                self.assertTrue(fields.get("CompanyName"), fields)
                self.assertEqual(fields.get("icon_groups"), "1", fields)
                self.assertEqual(fields.get("icon_group"), "IDI_ICON1", fields)
                self.assertEqual(fields.get("extracted_icons"), "1", fields)
                self.check_manifest(manifest)

    def check_manifest(self, manifest):
        # Windows refuses to start a program whose manifest is not well-formed XML.
        root = ET.fromstring(manifest)
        self.assertEqual(root.tag, q(ASM_V1, "assembly"))
        level = root.find(".//%s" % q(ASM_V3, "requestedExecutionLevel"))
        self.assertIsNotNone(level)
        self.assertEqual(level.get("level"), "asInvoker")
        oses = [e.get("Id") for e in root.iter(q(COMPATIBILITY, "supportedOS"))]
        self.assertIn(WINDOWS_10, oses)
        settings = root.find("%s/%s" % (q(ASM_V3, "application"), q(ASM_V3, "windowsSettings")))
        self.assertIsNotNone(settings)
        # Each setting counts only in its own namespace.
        self.assertEqual(settings.findtext(q(SETTINGS_2016, "longPathAware")), "true")
        self.assertEqual(settings.findtext(q(SETTINGS_2016, "dpiAwareness")), "PerMonitorV2")
        self.assertEqual(settings.findtext(q(SETTINGS_2005, "dpiAware")), "true/pm")
        controls = [e for e in root.iter(q(ASM_V1, "assemblyIdentity"))
                    if e.get("name") == "Microsoft.Windows.Common-Controls"]
        self.assertEqual(len(controls), 1)
        self.assertEqual(controls[0].get("version"), "6.0.0.0")
        self.assertEqual(controls[0].get("publicKeyToken"), "6595b64144ccf1df")
        self.assertEqual(controls[0].get("type"), "win32")


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine-run", required=True)
    parser.add_argument("--tool", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("exes", nargs="+")
    ARGS, rest = parser.parse_known_args()
    program = unittest.main(argv=[sys.argv[0], *rest], exit=False, verbosity=2)
    return 0 if program.result.wasSuccessful() and program.result.testsRun > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
