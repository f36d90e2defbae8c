// Starts the real installer as its own process with good and damaged packages.
#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

#include "ChildProcess.h"

namespace {
const char kCaption[] = "Integrity check failed";
const char kText[] =
    "This Velmora package is corrupted.\n\nPossible reasons:\n - broken Internet download\n"
    " - this EXE file was modified.\n\nInstallation cannot continue.";

std::string PackageDir() { return WindowsPath(EnvironmentValue("VELMORA_STARTUP_PACKAGES")); }

std::vector<unsigned char> Load(const std::string& name) {
  std::vector<unsigned char> bytes;
  EXPECT_TRUE(ReadFileBytes(PackageDir() + "\\" + name, &bytes)) << name;
  return bytes;
}

uint32_t ReadU32(const std::vector<unsigned char>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

size_t CatalogStart(const std::vector<unsigned char>& b) {
  int32_t offset = static_cast<int32_t>(ReadU32(b, b.size() - 8));
  return b.size() + offset;
}

// Runs the image as an installer; returns its exit code and whether it showed the corruption message.
long RunImage(const std::vector<unsigned char>& image, const char* name, bool* messageShown,
              const std::string& arguments = "") {
  std::string path = TempFolder() + name;
  EXPECT_TRUE(WriteFileBytes(path, image));
  ChildProcess child;
  EXPECT_TRUE(child.Start("\"" + path + "\"" + arguments));
  *messageShown = false;
  HWND box = child.FindDialog(kCaption, 20000);
  if (box) {
    *messageShown = true;
    HWND text = GetDlgItem(box, 0xFFFF);
    EXPECT_NE(text, nullptr);
    EXPECT_EQ(WindowText(text), kText);
    EXPECT_NE(GetDlgItem(box, IDOK), nullptr);
    EXPECT_EQ(GetDlgItem(box, IDCANCEL), nullptr) << "only an OK button";
    EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr);
    SendMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
  }
  long code = child.Wait(20000);
  DeleteFileA(path.c_str());
  return code;
}

void ExpectCorruption(const std::vector<unsigned char>& image, const char* name) {
  bool shown = false;
  EXPECT_EQ(RunImage(image, name, &shown), 1) << name;
  EXPECT_TRUE(shown) << name;
}
}  // namespace

TEST(Startup, DamagedPackagesShowTheCorruptionMessageAndExitWithOne) {
  std::vector<unsigned char> good = Load("good.exe");
  ASSERT_GT(good.size(), 16u);
  size_t catalog = CatalogStart(good);
  ASSERT_LT(catalog + 16, good.size());

  ExpectCorruption(Load("stub.exe"), "vel-nopackage.exe");
  ExpectCorruption(Load("empty.exe"), "vel-empty.exe");

  struct Damage {
    const char* name;
    size_t at;
    unsigned char xorMask;
  } damages[] = {
      {"vel-magic.exe", good.size() - 16, 0x01},
      {"vel-version.exe", good.size() - 4, 0x01},
      {"vel-version-high.exe", good.size() - 4, 0x10},
      {"vel-flag.exe", good.size() - 3, 0x02},
      {"vel-catalog-magic.exe", catalog, 0x20},
      {"vel-catalog-stream.exe", catalog + 12, 0x01},
  };
  for (const Damage& d : damages) {
    std::vector<unsigned char> image = good;
    image[d.at] ^= d.xorMask;
    ExpectCorruption(image, d.name);
  }

  std::vector<unsigned char> cut(good.begin(), good.end() - 20);
  ExpectCorruption(cut, "vel-truncated.exe");
}

TEST(Startup, OtherPackageFlagBitsAreNotRead) {
  std::vector<unsigned char> image = Load("good.exe");
  image[image.size() - 3] = 0xFE;
  bool shown = true;
  EXPECT_EQ(RunImage(image, "vel-flags.exe", &shown), 0);
  EXPECT_FALSE(shown);
}

TEST(Startup, ReadablePackageExitsWithZeroWhateverTheArguments) {
  std::vector<unsigned char> image = Load("good.exe");
  for (const char* arguments : {"", " /S", " --help extra \"quoted arg\"", " /D=C:\\Elsewhere"}) {
    bool shown = true;
    EXPECT_EQ(RunImage(image, "vel-good.exe", &shown, arguments), 0) << arguments;
    EXPECT_FALSE(shown) << arguments;
  }
}
