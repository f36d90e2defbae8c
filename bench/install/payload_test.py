import os
import tempfile
import unittest

import payload


def _source_tree(root):
    """A small fixed set of text and binary source files, independent of the machine's packages."""
    texts, binaries = os.path.join(root, "text"), os.path.join(root, "bin")
    os.makedirs(os.path.join(texts, "sub"))
    os.makedirs(binaries)
    for n in range(6):
        with open(os.path.join(texts, "sub" if n % 2 else "", f"t{n}.txt"), "wb") as f:
            f.write((f"line {n} of a licence text\n" * 400).encode())
        with open(os.path.join(binaries, f"b{n}.dll"), "wb") as f:
            f.write(b"MZ" + bytes(range(256)) * (20 + n))
    with open(os.path.join(binaries, "script.sh"), "wb") as f:
        f.write(b"#!/bin/sh\n" * 200)
    return (texts,), (binaries,)


class GenerateTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)
        self.roots = _source_tree(os.path.join(self.tmp.name, "src"))

    def _generate(self, name, seed, roots=None, big=300_000, count=60):
        source = payload.ContentSource(seed, *(roots or self.roots))
        return payload.generate(os.path.join(self.tmp.name, name), source, big, count, 100, 5000)

    def test_same_seed_gives_same_bytes_and_other_seed_differs(self):
        first = self._generate("a", 7)
        self.assertEqual(first, self._generate("b", 7))
        self.assertNotEqual([e["sha256"] for e in first], [e["sha256"] for e in self._generate("c", 8)])

    def test_sizes_count_and_layout(self):
        files = self._generate("a", 1)
        root = os.path.join(self.tmp.name, "a")
        self.assertEqual(files[0], {"path": payload.BIG_NAME, "size": 300_000,
                                    "sha256": payload.file_digest(os.path.join(root, payload.BIG_NAME))})
        small = files[1:]
        self.assertEqual(len(small), 60)
        self.assertEqual(len({e["path"] for e in small}), 60)
        for entry in small:
            self.assertGreaterEqual(entry["size"], 100)
            self.assertLessEqual(entry["size"], 5000)
            path = os.path.join(root, entry["path"])
            self.assertEqual(os.path.getsize(path), entry["size"])
            self.assertEqual(os.path.getmtime(path), payload.FILE_TIME)
        self.assertGreater(max(e["path"].count("/") for e in small), 3)
        self.assertEqual(payload.compare_tree(root, files), [])

    def test_content_is_drawn_from_the_sources_and_skips_other_files(self):
        files = self._generate("a", 3)
        with open(os.path.join(self.tmp.name, "a", payload.BIG_NAME), "rb") as f:
            big = f.read()
        self.assertIn(b"of a licence text\n", big)
        self.assertIn(bytes(range(256)), big)
        self.assertNotIn(b"#!/bin/sh", big)
        self.assertEqual(len(files), 61)

    def test_missing_sources_keep_the_sizes(self):
        missing = (os.path.join(self.tmp.name, "none"),)
        files = self._generate("a", 1, roots=(missing, missing))
        self.assertEqual(files[0]["size"], 300_000)
        self.assertEqual(len(files), 61)
        self.assertEqual(payload.compare_tree(os.path.join(self.tmp.name, "a"), files), [])


class EnsureTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)
        self.cache = os.path.join(self.tmp.name, "cache")

    def test_reuses_an_intact_cache_and_regenerates_a_damaged_or_different_one(self):
        root, files, fresh = payload.ensure(self.cache, 1, 50_000, 10)
        self.assertTrue(fresh)
        self.assertEqual(payload.ensure(self.cache, 1, 50_000, 10), (root, files, False))
        os.remove(os.path.join(root, files[3]["path"]))
        self.assertEqual(payload.ensure(self.cache, 1, 50_000, 10), (root, files, True))
        with open(os.path.join(root, payload.BIG_NAME), "ab") as f:
            f.write(b"x")
        self.assertTrue(payload.ensure(self.cache, 1, 50_000, 10)[2])
        _, other, fresh = payload.ensure(self.cache, 1, 50_000, 11)
        self.assertTrue(fresh)
        self.assertEqual(len(other), 12)


class CompareTreeTest(unittest.TestCase):
    def test_reports_every_kind_of_difference(self):
        with tempfile.TemporaryDirectory() as tmp:
            files = [payload.write_file(tmp, "a.txt", b"alpha"), payload.write_file(tmp, "d/b.bin", b"beta"),
                     payload.write_file(tmp, "d/e/c.bin", b"gamma")]
            payload.write_file(tmp, "uninst.exe", b"MZ")
            self.assertEqual(payload.compare_tree(tmp, files, {"uninst.exe"}), [])
            self.assertEqual(payload.compare_tree(tmp, files), ["unexpected file uninst.exe"])
            payload.write_file(tmp, "a.txt", b"alphA")
            payload.write_file(tmp, "d/b.bin", b"bet")
            os.remove(os.path.join(tmp, "d/e/c.bin"))
            self.assertEqual(payload.compare_tree(tmp, files, {"uninst.exe"}),
                             ["a.txt: content differs", "d/b.bin: 3 bytes, expected 4", "missing file d/e/c.bin"])


if __name__ == "__main__":
    unittest.main()
