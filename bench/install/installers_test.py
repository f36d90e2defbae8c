import os
import shutil
import tempfile
import tomllib
import unittest

import bench
import nsis
import velmora


class ManifestTest(unittest.TestCase):
    def test_strings_survive_toml(self):
        for text in ("${ProgramsPath}\\VelBench", 'say "hi"\\', "tab\there\nnew line\x7f", "Zürich ©"):
            self.assertEqual(tomllib.loads(f"x = {velmora.toml_string(text)}")["x"], text)

    def test_manifest_installs_the_payload_unattended(self):
        parsed = tomllib.loads(velmora.manifest("/tmp/my payload", "/tmp/a'b/stub.exe", r"${ProgramsPath}\VelBench"))
        self.assertEqual(parsed["product"]["destination"], r"${ProgramsPath}\VelBench")
        self.assertIs(parsed["product"]["unattended"], True)
        self.assertEqual(parsed["product"]["uninstaller"], "/tmp/a'b/stub.exe")
        [component] = parsed["component"]
        self.assertEqual(component["action"], [{"kind": "files", "source": "/tmp/my payload"}])


@unittest.skipUnless(shutil.which("makensis"), "makensis is not installed")
class NsisScriptTest(unittest.TestCase):
    def test_builds_from_a_folder_whose_name_needs_escaping(self):
        with tempfile.TemporaryDirectory() as tmp:
            root = os.path.join(tmp, 'pay $load "x"')
            os.makedirs(os.path.join(root, "sub"))
            with open(os.path.join(root, "sub", "a.txt"), "w") as f:
                f.write("hello\n")
            output = os.path.join(tmp, "out $x.exe")
            nsis.build(os.path.join(tmp, "t.nsi"), nsis.script(root, output, "bzip2", r"$PROGRAMFILES\VelBench"))
            with open(output, "rb") as f:
                self.assertEqual(f.read(2), b"MZ")

    def test_x64_installers_are_64_bit_programs(self):
        with tempfile.TemporaryDirectory() as tmp:
            root = os.path.join(tmp, "payload")
            os.makedirs(root)
            with open(os.path.join(root, "a.txt"), "w") as f:
                f.write("hello\n")
            for architecture, machine in (("x86", 0x14C), ("x64", 0x8664)):
                output = os.path.join(tmp, f"{architecture}.exe")
                nsis.build(os.path.join(tmp, "t.nsi"),
                           nsis.script(root, output, "bzip2", r"$PROGRAMFILES\VelBench", architecture))
                with open(output, "rb") as f:
                    image = f.read(4096)
                pe = int.from_bytes(image[0x3C:0x40], "little")
                self.assertEqual(image[pe:pe + 4], b"PE\0\0")
                self.assertEqual(int.from_bytes(image[pe + 4:pe + 6], "little"), machine, architecture)

    def test_a_bad_script_fails_with_the_tool_output(self):
        with tempfile.TemporaryDirectory() as tmp:
            script = nsis.script(os.path.join(tmp, "absent"), os.path.join(tmp, "o.exe"), "lzma", "$TEMP\\x")
            with self.assertRaisesRegex(RuntimeError, "makensis.*failed"):
                nsis.build(os.path.join(tmp, "t.nsi"), script)


class UninstallLogTest(unittest.TestCase):
    def test_file_lines_are_read_from_the_log(self):
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "Uninst.log")
            with open(path, "wb") as f:
                f.write("3 VelBench\r\n3 C:\\P\\Uninst.log\r\n6 HKLM\\S\\V\\DisplayName\r\n"
                        "3 C:\\P\\é.txt\r\n2 C:\\P\r\n".encode("cp1252"))
            self.assertEqual(bench.logged_files(path), {"C:\\P\\Uninst.log", "C:\\P\\é.txt"})


if __name__ == "__main__":
    unittest.main()
