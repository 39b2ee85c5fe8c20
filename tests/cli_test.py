#!/usr/bin/env python3
"""End-to-end tests of the vesko command-line tool.

Usage: cli_test.py VESKO_BINARY TESTS_DIR
"""
import json
import os
import subprocess
import sys
import tempfile
import unittest

VESKO = None
TESTS = None

OPEN_FAILED = "ファイルのオープンに失敗"
UNSUPPORTED = "未対応形式"


def run(*args):
    return subprocess.run([VESKO, *args], capture_output=True, text=True, encoding="utf-8")


def expected_codes():
    codes = {}
    with open(os.path.join(TESTS, "fixtures", "codes.tsv"), encoding="utf-8") as f:
        for line in f:
            if not line.strip() or line.startswith("#"):
                continue
            name, code = line.rstrip("\n").split("\t")[:2]
            codes[name] = int(code)
    return codes


class Cli(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = self.tmp.name

    def tearDown(self):
        self.tmp.cleanup()

    def write(self, name, content):
        path = os.path.join(self.dir, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content)
        return path

    def test_usage(self):
        r = run("--help")
        self.assertEqual(r.returncode, 0)
        self.assertIn("--json", r.stdout)
        self.assertIn("Exit status", r.stdout)
        self.assertEqual(run().returncode, 2)
        self.assertEqual(run("--bogus", self.dir).returncode, 2)
        self.assertEqual(run("--data").returncode, 2)

    def test_summary_lines_and_exit_status(self):
        four = self.write("four.bin", b"AB\0C")
        empty = self.write("empty.bin", b"")
        short = self.write("short.mp3", b"\xff\xfb" + b"a" * 37)
        r = run(four, empty, short)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout.splitlines(), [
            f"{four}\t{UNSUPPORTED} [41 42 00 43] : AB C",
            f"{empty}\t{UNSUPPORTED}",
            f"{short}\t{UNSUPPORTED} [FF FB 61 61 61 61 61 61 61 61 61 61 61 61 61 61] :   aaaaaaaaaaaaaa",
        ])
        missing = os.path.join(self.dir, "missing.mp3")
        fifo = os.path.join(self.dir, "pipe.mp3")
        os.mkfifo(fifo)
        dangling = os.path.join(self.dir, "dangling.mp3")
        os.symlink(os.path.join(self.dir, "nowhere"), dangling)
        r = run(four, missing, fifo, dangling)
        self.assertEqual(r.returncode, 1)
        lines = r.stdout.splitlines()
        self.assertEqual(lines[1:], [f"{missing}\t{OPEN_FAILED}", f"{fifo}\t{OPEN_FAILED}",
                                     f"{dangling}\t{OPEN_FAILED}"])

    def test_full_report(self):
        four = self.write("four.bin", b"AB\0C")
        r = run("--full", four)
        self.assertEqual(r.returncode, 0)
        self.assertEqual(r.stdout, f"[four.bin]\n[41 42 00 43] : AB C\n[{UNSUPPORTED}] 4Bytes\n\n")

    def test_folders_in_name_order_and_recursion(self):
        self.write("b.bin", b"b" * 50)
        self.write("a.bin", b"a" * 50)
        self.write("sub/c.bin", b"c" * 50)
        flat = [l.split("\t")[0] for l in run(self.dir).stdout.splitlines()]
        self.assertEqual([os.path.basename(p) for p in flat], ["a.bin", "b.bin"])
        deep = [l.split("\t")[0] for l in run("-r", self.dir).stdout.splitlines()]
        self.assertEqual([os.path.basename(p) for p in deep], ["a.bin", "b.bin", "c.bin"])

    def test_path_longer_than_a_record_holds(self):
        name = os.path.join(self.dir, *(["d" * 50] * 5), "x" * 20 + ".bin")
        self.write(name, b"x" * 60)
        ok = self.write("ok.bin", b"o" * 60)
        r = run(name, ok)
        self.assertEqual(r.returncode, 1)
        self.assertIn("more than the 255", r.stderr)
        self.assertEqual([l.split("\t")[0] for l in r.stdout.splitlines()], [ok])

    def test_missing_data_folder_warns_and_still_analyses(self):
        four = self.write("four.bin", b"AB\0C")
        r = run("--data", os.path.join(self.dir, "nodata"), four)
        self.assertEqual(r.returncode, 0)
        self.assertIn("FORMAT.INI", r.stderr)
        self.assertIn("[41 42 00 43]", r.stdout)

    def test_json_on_the_fixture_corpus(self):
        codes = expected_codes()
        folder = os.path.join(TESTS, "fixtures", "files")
        r = run("--json", folder)
        self.assertEqual(r.returncode, 0, r.stderr)
        records = json.loads(r.stdout)
        by_name = {os.path.basename(x["path"]): x for x in records}
        self.assertEqual(sorted(by_name), sorted(n for n in os.listdir(folder)))
        for name, rec in by_name.items():
            with self.subTest(name=name):
                self.assertEqual(set(rec), {"path", "formatCode", "formatName", "errorText", "video", "audio",
                                            "extra", "duration", "fileSize", "summary"})
                self.assertEqual(rec["formatCode"], codes[name])
                size = os.path.getsize(os.path.join(folder, name))
                if size == 0:
                    self.assertEqual(rec["errorText"], UNSUPPORTED)
                    continue
                # Only unidentified files and list files go to the generic analyser.
                generic = rec["formatCode"] in (0, 1) or 301 <= rec["formatCode"] <= 307
                self.assertEqual(rec["formatName"] == UNSUPPORTED, generic, rec["summary"])
                if generic:
                    self.assertEqual(rec["fileSize"], size)
                    self.assertIsNone(rec["duration"])
                    self.assertEqual(len(rec["video"]), 1)
                    self.assertTrue(rec["video"][0].startswith("["))
                    self.assertEqual(rec["summary"], UNSUPPORTED + " " + rec["video"][0])

    def test_the_corpus_holds_every_analysed_format_code(self):
        # Every format code with an analyser of its own has a fixture, so the
        # test above shows that none of them falls back to the generic line.
        analysed = {12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 25, 26, 51, 52, 53} | set(range(101, 130))
        self.assertEqual(analysed - set(expected_codes().values()), set())

    def test_json_of_failures(self):
        empty = self.write("empty.bin", b"")
        missing = os.path.join(self.dir, "missing.bin")
        r = run("--json", empty, missing)
        self.assertEqual(r.returncode, 1)
        a, b = json.loads(r.stdout)
        self.assertEqual((a["formatCode"], a["errorText"], a["fileSize"], a["summary"]), (1, UNSUPPORTED, 0, UNSUPPORTED))
        self.assertEqual((b["formatCode"], b["errorText"], b["duration"]), (2, OPEN_FAILED, 0))


if __name__ == "__main__":
    VESKO, TESTS = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1], verbosity=2)
