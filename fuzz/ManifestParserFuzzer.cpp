// Parses arbitrary bytes as a manifest beside a small folder of source files, and turns what
// parses into package entries. Every input must end in a manifest or in messages that name a
// place, never in a crash or an exception.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <toml++/toml.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "ManifestEntries.h"
#include "ManifestParser.h"

namespace fs = std::filesystem;

namespace {

void WriteFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string Bitmap() {
  std::string b(58, '\0');
  auto put = [&b](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = char(v >> (8 * i));
  };
  b[0] = 'B';
  b[1] = 'M';
  put(2, 58);
  put(10, 54);
  put(14, 40);
  put(18, 1);
  put(22, 1);
  b[26] = 1;
  b[28] = 24;
  return b;
}

// The folder a manifest's relative paths start from, made once per process: a few files by the
// names the seeds use, so that sources resolve and their checks run.
const fs::path& SourceFolder() {
  static const fs::path folder = [] {
    char pattern[] = "/tmp/manifest-fuzzer-XXXXXX";
    if (!mkdtemp(pattern)) abort();
    fs::path root(pattern);
    WriteFile(root / "readme.txt", "Read me.\r\n");
    WriteFile(root / "files" / "a.txt", "a");
    WriteFile(root / "files" / "sub" / "b.dat", std::string("\0\1\2", 3));
    WriteFile(root / "files" / ".hidden", "h");
    WriteFile(root / "licence.rtf", "{\\rtf1 Licence.}");
    WriteFile(root / "logo.bmp", Bitmap());
    WriteFile(root / "app.exe", "MZ program");
    WriteFile(root / "script.js", "Installer.Log('x');");
    atexit([] {
      std::error_code ec;
      fs::remove_all(SourceFolder(), ec);
    });
    return root;
  }();
  return folder;
}

// Paths that leave the source folder would read the build machine's own files: a whole tree
// from "/" takes minutes and says nothing about the parser.
bool StaysInside(const toml::node& node) {
  if (const toml::table* table = node.as_table()) {
    for (const auto& [key, value] : *table)
      if (!StaysInside(value)) return false;
  } else if (const toml::array* array = node.as_array()) {
    for (const toml::node& value : *array)
      if (!StaysInside(value)) return false;
  } else if (const toml::value<std::string>* text = node.as_string()) {
    const std::string& s = text->get();
    if ((!s.empty() && (s[0] == '/' || s[0] == '\\' || s[0] == '~')) || s.find("..") != std::string::npos)
      return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  try {
    if (!StaysInside(toml::parse(text))) return 0;
  } catch (const toml::parse_error&) {
  }
  ManifestParser parser;
  Manifest manifest;
  bool parsed = parser.ParseText(text, (SourceFolder() / "fuzz.toml").string(), &manifest);
  if (parsed != parser.errors().empty()) abort();
  for (const ManifestMessage& message : parser.errors()) {
    if (message.text.empty()) abort();
    message.Format("error");
  }
  if (parsed && ManifestEntries(std::move(manifest)).empty()) abort();
  return 0;
}
