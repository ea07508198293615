#!/usr/bin/env python3
"""The test totals stay true whatever bytes the reports hold."""
import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(__file__), "..", "..", "scripts", "count-results")

HEAD = b'<?xml version="1.0" encoding="UTF-8"?>\n<testsuites><testsuite name="S">\n'
PASS = b'<testcase name="a" status="run" result="completed"/>\n'
SKIP = b'<testcase name="s" status="notrun" result="suppressed"/>\n'
FAIL_GBK = (b'<testcase name="b" status="run" result="completed">'
            b'<failure message="\xcc\xe1\xca\xbe">\xcc\xe1\xca\xbe</failure></testcase>\n')
TAIL = b"</testsuite></testsuites>\n"


def junit(*failed):
    cases = "".join(
        f'<testcase name="{name}" status="{"fail" if name in failed else "run"}">'
        + ("<failure/>" if name in failed else "") + "</testcase>"
        for name in ("native_tests", "window_test", "find_cli_test"))
    return f"<testsuite>{cases}</testsuite>".encode()


class CountResultsTest(unittest.TestCase):
    def count(self, reports, junit_bytes=None):
        with tempfile.TemporaryDirectory() as folder:
            os.makedirs(os.path.join(folder, "win"))
            for name, data in reports.items():
                with open(os.path.join(folder, "win", name + ".xml"), "wb") as f:
                    f.write(data)
            args = [sys.executable, SCRIPT, folder]
            if junit_bytes is not None:
                path = os.path.join(folder, "ctest.junit")
                with open(path, "wb") as f:
                    f.write(junit_bytes)
                args.append(path)
            out = subprocess.run(args, check=True, capture_output=True).stdout.decode()
            return tuple(int(n) for n in out.split())

    def test_totals(self):
        cases = [
            ("clean reports", {"window_test": HEAD + PASS + SKIP + PASS + TAIL}, junit(), (2, 0)),
            ("gbk bytes in a failure", {"window_test": HEAD + PASS + FAIL_GBK + TAIL},
             junit("window_test"), (1, 1)),
            ("report cut off inside a case", {"window_test": HEAD + PASS + b'<testcase name="c">'},
             junit("window_test"), (1, 1)),
            ("crashed program without report", {"window_test": HEAD + PASS + TAIL},
             junit("find_cli_test"), (1, 1)),
            ("failed program whose report shows the failure is not counted twice",
             {"window_test": HEAD + FAIL_GBK + TAIL}, junit("window_test"), (0, 1)),
        ]
        for what, reports, summary, expected in cases:
            with self.subTest(what):
                self.assertEqual(self.count(reports, summary), expected)


if __name__ == "__main__":
    unittest.main()
