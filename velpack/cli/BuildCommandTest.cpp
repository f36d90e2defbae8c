#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "ManifestEntries.h"
#include "ManifestParser.h"
#include "ManifestTestTree.h"
#include "PackageReader.h"

namespace {

std::string Quote(const std::string& text) { return "'" + text + "'"; }

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The start of a Windows program for the machine (0x14C x86, 0x8664 x64): the text, then a PE header.
std::string Program(const std::string& text, uint16_t machine = 0x14C) {
  std::string image = text;
  image.resize(0x3C, ' ');
  image += std::string("\x40\0\0\0PE\0\0", 8);
  image += static_cast<char>(machine & 0xFF);
  image += static_cast<char>(machine >> 8);
  return image;
}

class BuildCommandTest : public ::testing::Test {
 protected:
  BuildCommandTest() {
    stub_ = tree_.Write("stub/InstallCore.exe", Program("MZ stub image"));
    tree_.Write("stub/Uninst.exe", Program("MZ own uninstaller"));
  }

  // Runs velpack with the arguments; returns its exit code and keeps its stderr.
  int Velpack(const std::string& arguments, const std::string& environment = "") {
    std::string errorsPath = tree_.Path("stderr.txt");
    std::string command = "env -u VELMORA_STUB -u VELMORA_STUB_X86 -u VELMORA_STUB_X64 " + environment + " " + Quote(VELPACK_BINARY) + " " + arguments +
                          " >/dev/null 2>" + Quote(errorsPath);
    int status = std::system(command.c_str());
    stderr_ = ReadAll(errorsPath);
    std::filesystem::remove(errorsPath);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(tree_.Path(folder))) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  ManifestTestTree tree_;
  std::string stub_;
  std::string stderr_;
};

TEST_F(BuildCommandTest, ExampleBuildsIntoAPackageThatReadsBackEntryForEntry) {
  std::string manifest = std::string(VELMORA_SOURCE_DIR) + "/examples/demo/velmora-demo.toml";
  std::string out = tree_.Path("out/setup.exe");
  std::filesystem::create_directories(tree_.Path("out"));
  ASSERT_EQ(Velpack("build " + Quote(manifest) + " -o " + Quote(out) + " --stub " + Quote(stub_)), 0) << stderr_;
  EXPECT_EQ(stderr_, "");
  EXPECT_EQ(ReadAll(out).compare(0, 13, "MZ stub image"), 0);

  Manifest parsed;
  ManifestParser parser;
  ASSERT_TRUE(parser.ParseFile(manifest, &parsed));
  std::vector<PackageEntry> expected = ManifestEntries(std::move(parsed));
  PackageReader reader(out.c_str());
  ASSERT_TRUE(reader.IsOpen());
  // File data goes into long-range streams by default, one per component with files.
  uint32_t streams = 0;
  for (uint32_t i = 0; i < reader.EntryCount(); ++i) streams += (reader.EntryAt(i)->flags & kEntryLzmaCoded) != 0;
  EXPECT_GE(streams, 1u);
  EXPECT_EQ(reader.EntryCount(), expected.size() + 2 + streams);  // and the uninstaller and the solid block
  Text uninstaller = reader.ReadEntryString("uninst.exe");
  EXPECT_EQ(std::string(uninstaller.Data(), uninstaller.Length()), Program("MZ own uninstaller"));
  for (const PackageEntry& entry : expected) {
    Text content = reader.ReadEntryString(entry.name.c_str());
    EXPECT_EQ(std::string(content.Data(), content.Length()), std::string(entry.content.begin(), entry.content.end()))
        << entry.name;
  }
  Text flags = reader.ReadEntryString("flags");
  ASSERT_EQ(flags.Length(), 4u);
  EXPECT_EQ(flags[0] & 1, 1) << "the example installs unattended";
  EXPECT_EQ(FilesIn("out"), std::vector<std::string>{"setup.exe"});

  // Building again gives the same bytes.
  std::string again = tree_.Path("out/again.exe");
  ASSERT_EQ(Velpack("build " + Quote(manifest) + " -o " + Quote(again) + " --stub " + Quote(stub_)), 0) << stderr_;
  EXPECT_TRUE(ReadAll(out) == ReadAll(again));
}

TEST_F(BuildCommandTest, BuildsOfOneTreeAreIdenticalWhateverItsAccessTimes) {
  std::string manifest = tree_.Write("setup.toml",
                                     "[product]\nname = \"D\"\n[[component]]\nname = \"M\"\n"
                                     "[[component.action]]\nkind = \"files\"\nsource = \"a.txt\"\n");
  tree_.Write("a.txt", "alpha");
  auto build = [&](const std::string& name, const std::string& environment = "") {
    std::string out = tree_.Path(name);
    EXPECT_EQ(Velpack("build " + Quote(manifest) + " -o " + Quote(out) + " --stub " + Quote(stub_), environment), 0)
        << stderr_;
    return ReadAll(out);
  };
  tree_.SetTimes("a.txt", 1700000000, 0, 1700000001, 0);
  std::string first = build("first.exe");
  tree_.SetTimes("a.txt", 1700000000, 0, 1750000000, 0);
  EXPECT_TRUE(first == build("second.exe")) << "only the access time differs";

  // SOURCE_DATE_EPOCH stands for every file's times, so the modification time no longer counts.
  std::string fixed = build("fixed.exe", "SOURCE_DATE_EPOCH=1600000000");
  EXPECT_FALSE(fixed == first);
  tree_.SetTimes("a.txt", 1800000000, 0, 1800000000, 0);
  EXPECT_TRUE(fixed == build("fixed-again.exe", "SOURCE_DATE_EPOCH=1600000000"));

  EXPECT_EQ(Velpack("build " + Quote(manifest) + " -o " + Quote(tree_.Path("bad.exe")) + " --stub " + Quote(stub_),
                    "SOURCE_DATE_EPOCH=yesterday"),
            1);
  EXPECT_NE(stderr_.find("SOURCE_DATE_EPOCH 'yesterday'"), std::string::npos) << stderr_;
  EXPECT_FALSE(std::filesystem::exists(tree_.Path("bad.exe")));
}

TEST_F(BuildCommandTest, FailedBuildReportsThePlaceAndLeavesNothing) {
  std::string manifest = tree_.Write("m/setup.toml",
                                     "[product]\nname = \"D\"\n[[component]]\nname = \"M\"\n"
                                     "[[component.action]]\nkind = \"files\"\nsource = \"gone.txt\"\n");
  std::string out = tree_.Write("m/setup.exe", "previous installer");
  EXPECT_EQ(Velpack("build " + Quote(manifest) + " -o " + Quote(out) + " --stub " + Quote(stub_)), 1);
  EXPECT_EQ(stderr_.rfind(manifest + ":7:10: error: no file or folder 'gone.txt'", 0), 0u) << stderr_;
  EXPECT_EQ(ReadAll(out), "previous installer");
  EXPECT_EQ(FilesIn("m"), (std::vector<std::string>{"setup.exe", "setup.toml"}));

  EXPECT_EQ(Velpack("build " + Quote(tree_.Path("m/none.toml")) + " -o " + Quote(out) + " --stub " + Quote(stub_)), 1);
  EXPECT_NE(stderr_.find("none.toml: error: cannot read"), std::string::npos) << stderr_;
}

TEST_F(BuildCommandTest, StubComesFromOptionEnvironmentOrVelpacksFolder) {
  std::string manifest = tree_.Write("setup.toml", "[product]\nname = \"D\"\n[[component]]\nname = \"M\"\n");
  std::string out = tree_.Path("setup.exe");
  ASSERT_EQ(Velpack("build " + Quote(manifest) + " -o " + Quote(out), "VELMORA_STUB=" + Quote(stub_)), 0) << stderr_;
  EXPECT_EQ(ReadAll(out).compare(0, 13, "MZ stub image"), 0);

  // With neither, only a stub beside the binary would do; the test binary's folder has none.
  std::string besideVelpack = std::filesystem::path(VELPACK_BINARY).parent_path() / "InstallCore.exe";
  if (!std::filesystem::exists(besideVelpack)) {
    EXPECT_EQ(Velpack("build " + Quote(manifest) + " -o " + Quote(tree_.Path("x.exe"))), 1);
    EXPECT_NE(stderr_.find("no x86 installer stub"), std::string::npos) << stderr_;
    EXPECT_FALSE(std::filesystem::exists(tree_.Path("x.exe")));
  }
  EXPECT_EQ(Velpack("build " + Quote(manifest) + " -o " + Quote(out) + " --stub " + Quote(tree_.Path("no.exe"))), 1);
  EXPECT_NE(stderr_.find("no.exe"), std::string::npos) << stderr_;
}

TEST_F(BuildCommandTest, OwnUninstallerIsCarriedUnlessTheManifestSaysOtherwise) {
  const std::string product = "[product]\nname = \"D\"\n";
  const std::string component = "[[component]]\nname = \"M\"\n";
  std::string out = tree_.Path("setup.exe");
  auto build = [&](const std::string& manifestText, const std::string& stub) {
    std::string manifest = tree_.Write("setup.toml", manifestText);
    return Velpack("build " + Quote(manifest) + " -o " + Quote(out) + " --stub " + Quote(stub));
  };
  auto carried = [&]() { return std::string(PackageReader(out.c_str()).ReadEntryString("uninst.exe").Data()); };

  ASSERT_EQ(build(product + "uninstaller = true\n" + component, stub_), 0) << stderr_;
  EXPECT_EQ(carried().compare(0, 18, "MZ own uninstaller"), 0);
  EXPECT_EQ(stderr_, "");

  ASSERT_EQ(build(product + "uninstaller = false\n" + component, stub_), 0) << stderr_;
  EXPECT_EQ(carried(), "");
  EXPECT_EQ(stderr_, "");

  tree_.Write("mine.exe", "MZ the author's");
  ASSERT_EQ(build(product + "uninstaller = \"mine.exe\"\n" + component, stub_), 0) << stderr_;
  EXPECT_EQ(carried(), "MZ the author's");

  // A stub without the uninstaller beside it still builds, but says what the installer will lack.
  std::string lone = tree_.Write("lone/InstallCore.exe", Program("MZ stub image"));
  ASSERT_EQ(build(product + component, lone), 0) << stderr_;
  EXPECT_EQ(carried(), "");
  EXPECT_NE(stderr_.find("warning: no Uninst.exe beside the stub"), std::string::npos) << stderr_;
  EXPECT_NE(stderr_.find("no uninstall log"), std::string::npos) << stderr_;
}

TEST_F(BuildCommandTest, PerUserProductsAskForNoAdministratorRights) {
  const std::string level = "<requestedExecutionLevel level=\"requireAdministrator\" uiAccess=\"false\"/>";
  const std::string invoker = "<requestedExecutionLevel level=\"asInvoker\"            uiAccess=\"false\"/>";
  std::string stub = tree_.Write("rights/InstallCore.exe", Program("MZ stub") + "<manifest>" + level + "</manifest>");
  tree_.Write("rights/Uninst.exe", Program("MZ own uninstaller") + level);
  std::string out = tree_.Path("setup.exe");
  auto build = [&](const std::string& scope, const std::string& stubPath) {
    std::string manifest =
        tree_.Write("setup.toml", "[product]\nname = \"D\"\n" + scope + "[[component]]\nname = \"M\"\n");
    return Velpack("build " + Quote(manifest) + " -o " + Quote(out) + " --stub " + Quote(stubPath));
  };
  auto uninstaller = [&]() {
    PackageReader package(out.c_str());
    Text carried = package.ReadEntryString("uninst.exe");
    return std::string(carried.Data(), carried.Length());
  };
  for (const char* scope : {"scope = \"user\"\n", "scope = \"either\"\n"}) {
    ASSERT_EQ(build(scope, stub), 0) << stderr_;
    std::string installer = ReadAll(out);
    EXPECT_NE(installer.find("<manifest>" + invoker + "</manifest>"), std::string::npos) << scope;
    EXPECT_EQ(installer.find("requireAdministrator"), std::string::npos) << scope;
    EXPECT_NE(uninstaller().find(invoker), std::string::npos) << scope;
  }
  // For every user, both keep asking, byte for byte.
  ASSERT_EQ(build("", stub), 0) << stderr_;
  EXPECT_EQ(ReadAll(out).compare(0, ReadAll(stub).size(), ReadAll(stub)), 0);
  EXPECT_NE(uninstaller().find(level), std::string::npos);
  // A stub that does not ask in exactly one place cannot be made to ask for less: nothing is built.
  std::filesystem::remove(out);
  std::string unknown = tree_.Write("plain/InstallCore.exe", Program("MZ stub without a manifest"));
  EXPECT_EQ(build("scope = \"user\"\n", unknown), 1);
  EXPECT_NE(stderr_.find("does not ask for administrator rights in exactly one place"), std::string::npos) << stderr_;
  EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(BuildCommandTest, CompressionBlockKeepsFilesOutOfLongRangeStreams) {
  tree_.Write("big.txt", std::string(100000, 'b'));
  tree_.Write("small.txt", "s");
  std::string out = tree_.Path("setup.exe");
  auto flagsOf = [&](const std::string& compression, const char* entry) {
    std::string manifest = tree_.Write("setup.toml", "[product]\nname = \"D\"\n" + compression +
                                                         "[[component]]\nname = \"M\"\naction = [{kind = \"files\", "
                                                         "source = \"*.txt\"}]\n");
    EXPECT_EQ(Velpack("build " + Quote(manifest) + " -o " + Quote(out) + " --stub " + Quote(stub_)), 0) << stderr_;
    PackageReader reader(out.c_str());
    const CatalogEntry* found = reader.FindEntry(entry);
    return found ? found->flags : 0xFFFFFFFFu;
  };
  EXPECT_EQ(flagsOf("", "0\\0.f"), uint32_t(kEntryInLongStream));
  EXPECT_EQ(flagsOf("compression = \"lzma\"\n", "0\\1.f"), uint32_t(kEntryInLongStream));
  EXPECT_EQ(flagsOf("compression = \"block\"\n", "0\\0.f"), uint32_t(kEntryCompressed | kEntryBlockCoded));
  EXPECT_EQ(flagsOf("compression = \"block\"\n", "0\\1.f"), uint32_t(kEntryInSolidBlock));
}

TEST_F(BuildCommandTest, ArchitecturePicksTheStubAndTheUninstaller) {
  std::string x64 = tree_.Write("x64/InstallCore.exe", Program("MZ x64 stub", 0x8664));
  tree_.Write("x64/Uninst.exe", Program("MZ x64 uninstaller", 0x8664));
  std::string stubs = "VELMORA_STUB_X86=" + Quote(stub_) + " VELMORA_STUB_X64=" + Quote(x64);
  std::string out = tree_.Path("setup.exe");
  auto carried = [&]() { return std::string(PackageReader(out.c_str()).ReadEntryString("uninst.exe").Data()); };
  auto build = [&](const std::string& architecture, const std::string& options, const std::string& environment) {
    std::string manifest = tree_.Write("setup.toml", "[product]\nname = \"D\"\n" + architecture + "[[component]]\nname = \"M\"\n");
    return Velpack("build " + Quote(manifest) + " -o " + Quote(out) + options, environment);
  };

  ASSERT_EQ(build("architecture = \"x64\"\n", "", stubs), 0) << stderr_;
  EXPECT_EQ(ReadAll(out).compare(0, 11, "MZ x64 stub"), 0);
  EXPECT_EQ(carried().compare(0, 18, "MZ x64 uninstaller"), 0);
  ASSERT_EQ(build("", "", stubs), 0) << stderr_;
  EXPECT_EQ(ReadAll(out).compare(0, 13, "MZ stub image"), 0);
  // The command line overrides the manifest, so one manifest makes both kinds.
  ASSERT_EQ(build("architecture = \"x86\"\n", " --architecture x64", stubs), 0) << stderr_;
  EXPECT_EQ(ReadAll(out).compare(0, 11, "MZ x64 stub"), 0);

  // A stub of the other kind is refused by name, and nothing is written.
  std::filesystem::remove(out);
  EXPECT_EQ(build("architecture = \"x64\"\n", " --stub " + Quote(stub_), ""), 1);
  EXPECT_NE(stderr_.find(stub_ + " is an x86 program, but the installer is x64"), std::string::npos) << stderr_;
  EXPECT_EQ(build("architecture = \"x64\"\n", "", "VELMORA_STUB_X86=" + Quote(stub_)), 1);
  EXPECT_NE(stderr_.find("no x64 installer stub"), std::string::npos) << stderr_;
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_EQ(build("architecture = \"arm64\"\n", "", stubs), 1);
  EXPECT_NE(stderr_.find("setup.toml:3:16: error: 'architecture' must be one of"), std::string::npos) << stderr_;
  EXPECT_EQ(build("", " --architecture ia64", stubs), 2);

  // An uninstaller of the other kind would undo the wrong registry view: it is left out, with a warning.
  std::string mixed = tree_.Write("mixed/InstallCore.exe", Program("MZ x64 stub", 0x8664));
  tree_.Write("mixed/Uninst.exe", Program("MZ x86 uninstaller"));
  ASSERT_EQ(build("architecture = \"x64\"\n", " --stub " + Quote(mixed), ""), 0) << stderr_;
  EXPECT_EQ(carried(), "");
  EXPECT_NE(stderr_.find("Uninst.exe is an x86 program, but the installer is x64"), std::string::npos) << stderr_;
}

TEST_F(BuildCommandTest, CommandLineMistakesAreUsageErrors) {
  EXPECT_EQ(Velpack("build"), 2);
  EXPECT_EQ(Velpack("build m.toml"), 2);
  EXPECT_EQ(Velpack("build m.toml -o"), 2);
  EXPECT_EQ(Velpack("build m.toml -o x --verbose"), 2);
  EXPECT_NE(stderr_.find("unknown option --verbose"), std::string::npos) << stderr_;
  EXPECT_EQ(Velpack("build a.toml b.toml -o x"), 2);
}

}  // namespace
