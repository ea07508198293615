#!/usr/bin/env python3
"""The release archive as a user gets it: its entries and their names, the
guide's encoding, and the programs running from the unpacked folder on a
clean Wine prefix, which holds no MinGW runtime and nothing of the build.

  archive_test.py --archive ZIP --wine-prefix-script scripts/wine-prefix

When GTEST_OUTPUT names a report folder (scripts/run-tests does), the cases
are also written there as a GoogleTest-style XML report, so they are counted
with the others.
"""
import argparse
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile
import zlib
from xml.sax.saxutils import quoteattr

ARGS = None
EXPECTED_ENTRIES = ["Querna.exe", "querna-find.exe", "使用说明.txt", "LICENSE.txt"]
UNICODE_PATH_FIELD = 0x7075
RUN_TIMEOUT = 120


def unicode_path(info):
    """The UTF-8 name of the Info-ZIP Unicode Path field, checked against the
    CRC of the header's own name bytes; None when there is no such field."""
    raw = info.filename.encode("cp437")  # zipfile decodes flagless names as CP437
    extra, at = info.extra, 0
    while at + 4 <= len(extra):
        field, size = struct.unpack_from("<HH", extra, at)
        payload = extra[at + 4:at + 4 + size]
        if field == UNICODE_PATH_FIELD and len(payload) >= 5 and payload[0] == 1:
            (crc,) = struct.unpack_from("<I", payload, 1)
            return payload[5:].decode("utf-8") if crc == zlib.crc32(raw) else None
        at += 4 + size
    return None


def entry_name(info):
    return unicode_path(info) or info.filename


class ArchiveContentsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.zip = zipfile.ZipFile(ARGS.archive)
        cls.entries = {entry_name(i): i for i in cls.zip.infolist()}

    @classmethod
    def tearDownClass(cls):
        cls.zip.close()

    def test_archive_holds_exactly_the_programs_guide_and_licence(self):
        self.assertEqual([entry_name(i) for i in self.zip.infolist()], EXPECTED_ENTRIES)
        self.assertIsNone(self.zip.testzip())
        self.assertRegex(os.path.basename(ARGS.archive), r"^Querna-\d+\.\d+\.\d+-win64\.zip$")

    def test_names_are_gbk_for_explorer_with_a_utf8_copy_for_other_tools(self):
        for name, info in self.entries.items():
            with self.subTest(name=name):
                self.assertEqual(info.flag_bits & 0x800, 0)  # no UTF-8 flag
                self.assertEqual(info.filename.encode("cp437"), name.encode("gbk"))
                if name.isascii():
                    self.assertIsNone(unicode_path(info))
                else:
                    self.assertEqual(unicode_path(info), name)

    def test_guide_is_gbk_with_crlf_line_ends(self):
        data = self.zip.read(self.entries["使用说明.txt"])
        text = data.decode("gbk")  # raises on anything that is not GBK
        self.assertFalse(data.startswith(b"\xef\xbb\xbf"), "no byte-order mark")
        self.assertTrue(data.endswith(b"\r\n"))
        self.assertNotRegex(data, rb"[^\r]\n|\r[^\n]")
        for heading in ("querna-find.exe", "未安装 Office", "加入系统右键菜单", "停止搜索"):
            self.assertIn(heading, text)

    def test_licence_is_mit_with_crlf_line_ends(self):
        data = self.zip.read(self.entries["LICENSE.txt"])
        self.assertIn(b"MIT License", data)
        self.assertIn(b"Querna developers", data)
        self.assertNotRegex(data, rb"[^\r]\n")

    def test_programs_are_64bit_windows_executables_without_symbols(self):
        for name in ("Querna.exe", "querna-find.exe"):
            with self.subTest(name=name):
                data = self.zip.read(self.entries[name])
                self.assertEqual(data[:2], b"MZ")
                (pe,) = struct.unpack_from("<I", data, 0x3C)
                self.assertEqual(data[pe:pe + 4], b"PE\0\0")
                machine, _, _, _, symbols = struct.unpack_from("<HHIII", data, pe + 4)
                self.assertEqual(machine, 0x8664)  # x86-64
                self.assertEqual(symbols, 0, "stripped")


class ArchiveOnCleanPrefixTest(unittest.TestCase):
    """Unpacks the archive into a temporary folder and runs the console
    program from there under a Wine prefix made just for this test."""

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="querna-dist-")
        cls.prefix = os.path.join(cls.work, "prefix")
        try:
            cls.unpacked = os.path.join(cls.work, "Querna")
            with zipfile.ZipFile(ARGS.archive) as archive:
                for info in archive.infolist():
                    target = os.path.join(cls.unpacked, entry_name(info))
                    os.makedirs(os.path.dirname(target), exist_ok=True)
                    with open(target, "wb") as f:
                        f.write(archive.read(info))
            cls.tree = os.path.join(cls.work, "tree")
            for relative, content in (("报告/合同.txt", "甲方 合同 2026\r\n"),
                                      ("报告/notes.txt", "nothing here\r\n"),
                                      ("其他.txt", "无关内容\r\n"),
                                      ("合同.log", "合同\r\n")):
                path = os.path.join(cls.tree, relative)
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "wb") as f:
                    f.write(content.encode("gbk"))
            cls.env = dict(os.environ, WINEPREFIX=cls.prefix, LANG="zh_CN.UTF-8",
                           LC_ALL="zh_CN.UTF-8", WINEDEBUG="-all",
                           WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=")
            cls.env.pop("QUERNA_BIN_DIR", None)
            subprocess.run([ARGS.wine_prefix_script, cls.prefix], check=True, env=cls.env,
                           stdin=subprocess.DEVNULL, timeout=RUN_TIMEOUT)
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        if os.path.isdir(cls.prefix):
            subprocess.run([ARGS.wine_prefix_script, cls.prefix, "--stop"], env=cls.env,
                           stdin=subprocess.DEVNULL, timeout=RUN_TIMEOUT)
            subprocess.run(["wineserver", "-w"], env=cls.env, timeout=RUN_TIMEOUT)
        shutil.rmtree(cls.work, ignore_errors=True)

    @staticmethod
    def windows_path(path):
        return "Z:" + path.replace("/", "\\")

    def find(self, *args):
        program = os.path.join(self.unpacked, "querna-find.exe")
        return subprocess.run(["wine", program, *args], env=self.env, stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=RUN_TIMEOUT)

    def test_help_lists_the_options_and_the_guide_explains_each(self):
        result = self.find("--help")
        self.assertEqual(result.returncode, 0, result.stderr)
        usage = result.stdout.decode("gbk")
        self.assertTrue(usage.startswith("usage: querna-find"), usage)
        options = sorted(set(re.findall(r"--[a-z-]+", usage)))
        self.assertIn("--phrase", options)
        with open(os.path.join(self.unpacked, "使用说明.txt"), encoding="gbk") as f:
            guide = f.read()
        for option in options:
            self.assertIn(option, guide)

    def test_phrase_search_lists_the_text_files_that_hold_the_phrase(self):
        root = self.windows_path(self.tree)
        result = self.find("--in", root, "--name", ".txt", "--phrase", "合同", "--type", "text")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout.decode("gbk"), root + "\\报告\\合同.txt\r\n")

    def test_bad_option_is_refused_with_status_2(self):
        result = self.find("--in", self.windows_path(self.tree), "--no-such-option")
        self.assertEqual(result.returncode, 2)
        self.assertIn(b"usage: querna-find", result.stderr)


def report_folder():
    """The folder of GTEST_OUTPUT=xml:FOLDER/, which names it for Windows
    programs (Z:\\...), or None."""
    output = os.environ.get("GTEST_OUTPUT", "")
    if not output.startswith("xml:"):
        return None
    path = output[4:]
    if re.match(r"^[Zz]:", path):
        path = path[2:].replace("\\", "/")
    return path if path.endswith("/") else None


def write_report(folder, suite, result):
    # A failed sub-test counts against the case it belongs to.
    failed = {getattr(t, "test_case", t).id(): text for t, text in result.failures + result.errors}
    skipped = {t.id() for t, _ in result.skipped}
    ids = [t.id() for t in suite]
    # A failed class set-up is reported under its own id, not the cases'.
    ids += [i for i in failed if i not in ids]
    cases = []
    for test_id in ids:
        name = test_id if "(" in test_id else test_id.rsplit(".", 1)[-1]
        body = ""
        if test_id in failed:
            body = "<failure message=%s/>" % quoteattr(failed[test_id])
        status = "notrun" if test_id in skipped else "run"
        cases.append('<testcase name=%s classname="dist_archive_test" status="%s">%s</testcase>'
                     % (quoteattr(name), status, body))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "dist_archive_test.xml"), "w", encoding="utf-8") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n<testsuites><testsuite '
                'name="dist_archive_test">%s</testsuite></testsuites>\n' % "".join(cases))


def flatten(suite):
    for item in suite:
        if isinstance(item, unittest.TestSuite):
            yield from flatten(item)
        else:
            yield item


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--archive", required=True)
    parser.add_argument("--wine-prefix-script", required=True)
    ARGS = parser.parse_args()
    suite = unittest.defaultTestLoader.loadTestsFromModule(sys.modules[__name__])
    tests = list(flatten(suite))
    result = unittest.TextTestRunner(verbosity=2).run(unittest.TestSuite(tests))
    folder = report_folder()
    if folder:
        write_report(folder, tests, result)
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
