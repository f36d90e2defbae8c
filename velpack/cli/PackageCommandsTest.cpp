// velpack pack, list and extract, run as the real binary.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

#include "PackageReader.h"
#include "PackageTestSupport.h"

namespace {
struct Result {
  int code;
  std::string out;
  std::string err;
};

std::string Quote(const std::string& s) {
  std::string quoted = "'";
  for (char c : s) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

Result Velpack(const ScratchFolder& folder, const std::vector<std::string>& args) {
  std::string command = Quote(VELPACK_BINARY);
  for (const std::string& arg : args) command += " " + Quote(arg);
  command += " 2>" + Quote(folder.File("stderr"));
  Result result;
  std::FILE* pipe = popen(command.c_str(), "r");
  char chunk[4096];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof(chunk), pipe)) > 0) result.out.append(chunk, n);
  int status = pclose(pipe);
  result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  Bytes err = ScratchFolder::Read(folder.File("stderr"));
  result.err.assign(err.begin(), err.end());
  return result;
}

std::string Input(const ScratchFolder& folder, const std::string& name, const std::string& content) {
  ScratchFolder::Write(folder.File(name), Bytes(content.begin(), content.end()));
  return folder.File(name);
}
}  // namespace

TEST(PackageCommands, ListAndExtractGiveBackWhatWasPacked) {
  ScratchFolder folder;
  std::string big;
  for (int i = 0; i < 20000; ++i) big += "line " + std::to_string(i * 7919 % 1000) + "\n";
  struct Entry {
    std::string name, option, content, listed;
  } entries[] = {
      {"ProductName", "--stored", "Demo", "ProductName\tstored\t0\t4\t4"},
      {"0\\0.f", "--compressed", big, ""},
      {"0\\0", "--solid", std::string("\0\0\0\0C:\\x\0", 10), "0\\0\tsolid\t0\t0\t10"},
      {"flags", "--solid", "flags", "flags\tsolid\t10\t0\t5"},
      {"empty", "--stored", "", ""},
  };
  std::vector<std::string> args = {"pack", "--stub", Input(folder, "stub", "MZ"), "-o", folder.File("setup.exe")};
  for (const Entry& e : entries) {
    args.push_back(e.option);
    args.push_back(e.name + "=" + Input(folder, "in=" + std::to_string(args.size()), e.content));
  }
  Result pack = Velpack(folder, args);
  ASSERT_EQ(pack.code, 0) << pack.err;

  Result list = Velpack(folder, {"list", folder.File("setup.exe")});
  ASSERT_EQ(list.code, 0) << list.err;
  std::vector<std::string> lines;
  for (size_t start = 0, end; (end = list.out.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(list.out.substr(start, end - start));
  ASSERT_EQ(lines.size(), 6u) << list.out;
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(lines[i].substr(0, lines[i].find('\t')), entries[i].name);
    if (!entries[i].listed.empty()) EXPECT_EQ(lines[i], entries[i].listed);
  }
  EXPECT_EQ(lines[1].substr(0, 17), "0\\0.f\tcompressed\t");
  EXPECT_EQ(lines[5].substr(0, 20), "~\\0solid0\tcompressed");

  for (const Entry& e : entries) {
    Result extract = Velpack(folder, {"extract", folder.File("setup.exe"), e.name});
    EXPECT_EQ(extract.code, 0) << e.name << extract.err;
    EXPECT_EQ(extract.out, e.content) << e.name;
  }
  EXPECT_EQ(Velpack(folder, {"extract", folder.File("setup.exe"), "~"}).out, entries[2].content + "flags");
}

TEST(PackageCommands, ReportProblemsWithTheFileAndTheReason) {
  ScratchFolder folder;
  std::string stub = Input(folder, "stub", "MZ");
  std::string out = folder.File("out.exe");
  ASSERT_EQ(Velpack(folder, {"pack", "--stub", stub, "-o", out, "--stored", "x=" + stub}).code, 0);
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string message;
  } cases[] = {
      {{"extract", out, "missing"}, 1, "no entry missing"},
      {{"list", stub}, 1, stub},
      {{"list", folder.File("absent.exe")}, 1, "cannot open " + folder.File("absent.exe")},
      {{"pack", "--stub", stub, "-o", folder.File("new.exe"), "--stored", "x"}, 2, "NAME=FILE"},
      {{"pack", "--stub", stub, "-o", folder.File("new.exe"), "--solid", "x=" + folder.File("nope")}, 1,
       "cannot open " + folder.File("nope")},
      {{"pack", "--stub", stub, "-o", folder.File("new.exe"), "--stored", "x=" + stub, "--solid", "x=" + stub}, 1,
       "duplicate entry x"},
  };
  for (const Case& c : cases) {
    Result result = Velpack(folder, c.args);
    EXPECT_EQ(result.code, c.code) << c.message;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    EXPECT_TRUE(result.out.empty());
  }
  EXPECT_FALSE(std::filesystem::exists(folder.File("new.exe")));
}

TEST(PackageCommands, NamesOnTheCommandLineAreUtf8AndCatalogNamesWindows1252) {
  ScratchFolder folder;
  std::string stub = Input(folder, "stub", "MZ");
  std::string out = folder.File("out.exe");
  Result pack = Velpack(folder, {"pack", "--stub", stub, "-o", out, "--stored", "zero\\highé€=" + Input(folder, "a", "A"),
                                 "--solid", "plain=" + Input(folder, "b", "B")});
  ASSERT_EQ(pack.code, 0) << pack.err;

  // The catalog holds the code page's bytes: é is 0xE9 and € 0x80.
  PackageReader reader(out.c_str());
  EXPECT_TRUE(reader.FindEntry("zero\\high\xE9\x80"));
  Result list = Velpack(folder, {"list", out});
  ASSERT_EQ(list.code, 0) << list.err;
  EXPECT_NE(list.out.find("zero\\highé€\tstored\t"), std::string::npos) << list.out;
  EXPECT_EQ(list.out.find('\xE9'), std::string::npos) << "a raw code-page byte was printed";

  Result extract = Velpack(folder, {"extract", out, "zero\\highé€"});
  EXPECT_EQ(extract.code, 0) << extract.err;
  EXPECT_EQ(extract.out, "A");

  // A name the code page cannot hold is refused by name, before anything is written.
  std::string refused = folder.File("refused.exe");
  Result han = Velpack(folder, {"pack", "--stub", stub, "-o", refused, "--stored", "中=" + Input(folder, "c", "C")});
  EXPECT_EQ(han.code, 1);
  EXPECT_NE(han.err.find("the entry name 中 cannot be a catalog name"), std::string::npos) << han.err;
  EXPECT_FALSE(std::filesystem::exists(refused));
  Result lookup = Velpack(folder, {"extract", out, "中"});
  EXPECT_EQ(lookup.code, 1);
  EXPECT_NE(lookup.err.find("U+4E2D"), std::string::npos) << lookup.err;
}
