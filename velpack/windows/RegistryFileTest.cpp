#include "RegistryFile.h"

#include <gtest/gtest.h>

#include "TextEncoding.h"

namespace {

// As Wine 8 writes user.reg: escapes, a value on continued lines, and keys that exist only
// through their subkeys.
const char kUserReg[] =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n"
    "\n"
    "#arch=win32\n"
    "\n"
    "[Software\\\\VT\\xe9st] 1796729072\n"
    "#time=1dd8706b29d4120\n"
    "\"N\\xe4m\\xe9\"=\"Caf\\x00e9a \\\"q\\\" \\\\ x\"\n"
    "@=\"default\"\n"
    "\"Count\"=dword:0000002a\n"
    "\"Path\"=str(2):\"%ProgramFiles%\\\\App\"\n"
    "\"List\"=str(7):\"one\\0two\\0\"\n"
    "\"Bytes\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,18,19,\\\r\n"
    "  1a,1b\n"
    "\"Quad\"=hex(b):2a,00,00,00,00,00,00,00\n"
    "\n"
    "[Software\\\\Deep\\\\Er\\\\Est] 1796729072\n"
    "\"Leaf\"=\"x\"\n";

RegistryData Utf16(const std::string& utf8) {
  RegistryData data;
  data.type = 1;
  size_t pos = 0;
  uint32_t c;
  while (pos < utf8.size() && TextEncoding::NextCodePoint(utf8, &pos, &c)) TextEncoding::AppendUtf16Le(c, &data.bytes);
  data.bytes.push_back(0);
  data.bytes.push_back(0);
  return data;
}

const RegistryValue& Value(const RegistryTree& tree, const std::string& key, const std::string& name) {
  static const RegistryValue kNone;
  auto k = tree.find(TextEncoding::FoldCase(key));
  if (k == tree.end()) return kNone;
  auto v = k->second.values.find(TextEncoding::FoldCase(name));
  return v == k->second.values.end() ? kNone : v->second;
}

TEST(RegistryFile, ReadsWhatWineWrites) {
  RegistryTree tree;
  std::string error;
  ASSERT_TRUE(ReadRegistryFile(kUserReg, "HKCU", &tree, &error)) << error;
  const std::string key = "HKCU\\Software\\VT\xC3\xA9st";
  ASSERT_EQ(tree.count(TextEncoding::FoldCase(key)), 1u);
  EXPECT_EQ(tree.at(TextEncoding::FoldCase(key)).path, key);

  // \xNN with as many digits as needed, four when a hex digit follows.
  const RegistryValue& named = Value(tree, key, "N\xC3\xA4m\xC3\xA9");
  EXPECT_EQ(named.name, "N\xC3\xA4m\xC3\xA9");
  EXPECT_EQ(named.data, Utf16("Caf\xC3\xA9" "a \"q\" \\ x"));
  EXPECT_EQ(DescribeRegistryData(named.data), "\"Caf\xC3\xA9" "a \"q\" \\ x\"");
  EXPECT_EQ(Value(tree, key, "").data, Utf16("default"));
  // Names compare without regard to case.
  EXPECT_EQ(DescribeRegistryData(Value(tree, key, "COUNT").data), "42");
  EXPECT_EQ(Value(tree, key, "Path").data.type, 2u);
  EXPECT_EQ(RegistryText(Value(tree, key, "Path").data), "%ProgramFiles%\\App");
  EXPECT_EQ(DescribeRegistryData(Value(tree, key, "List").data), "[\"one\", \"two\"]");
  const RegistryData& bytes = Value(tree, key, "Bytes").data;
  EXPECT_EQ(bytes.type, 3u);
  ASSERT_EQ(bytes.bytes.size(), 27u);
  EXPECT_EQ(bytes.bytes[26], 0x1b);
  EXPECT_EQ(DescribeRegistryData(bytes, 4), "01 02 03 04 ...");
  EXPECT_EQ(RegistryTypeName(Value(tree, key, "Quad").data.type), "REG_QWORD");

  // Wine writes no line for a key with subkeys and no values; it exists all the same.
  for (const char* implied : {"HKCU\\Software", "HKCU\\Software\\Deep", "HKCU\\Software\\Deep\\Er"})
    EXPECT_EQ(tree.count(TextEncoding::FoldCase(implied)), 1u) << implied;
  EXPECT_EQ(tree.count("hkcu"), 0u);
}

TEST(RegistryFile, NamesTheLineOfWhatItCannotRead) {
  struct Case {
    const char* text;
    const char* error;
  } cases[] = {
      {"WINE REGISTRY Version 2\n\n\"Orphan\"=\"x\"\n", "line 3: a value before the first key"},
      {"[Key] 1\n\"A\"=\"x\"\n\"B\"=qword:1\n", "line 3: value data of an unknown form"},
      {"[Key] 1\n\"A\"=dword:123\n", "line 2: value data of an unknown form"},
      {"[Key] 1\n\"A\"=hex:01,0\n", "line 2: value data of an unknown form"},
      {"[Key] 1\n\"A\"=\"unterminated\n", "line 2: value data of an unknown form"},
      {"[Unclosed\n", "line 1: a key line without its closing bracket"},
      {"[Key] 1\nstray text\n", "line 2: neither a key, a value nor a comment"},
  };
  for (const Case& c : cases) {
    RegistryTree tree;
    std::string error;
    EXPECT_FALSE(ReadRegistryFile(c.text, "HKLM", &tree, &error)) << c.text;
    EXPECT_EQ(error, c.error) << c.text;
  }
}

}  // namespace
