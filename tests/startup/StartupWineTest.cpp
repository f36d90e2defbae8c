// Starts the real installer as its own process with good and damaged packages.
#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

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

// Runs the image as an installer; returns its exit code and the text of the message box with
// the integrity caption it showed ("" for none). The box is looked for while the process runs.
long RunImageFor(const std::vector<unsigned char>& image, const char* name, std::string* message,
                 const std::string& arguments = "") {
  std::string path = TempFolder() + name;
  EXPECT_TRUE(WriteFileBytes(path, image));
  ChildProcess child;
  EXPECT_TRUE(child.Start("\"" + path + "\"" + arguments));
  message->clear();
  HWND box = child.FindDialog(kCaption, 20000);
  if (box) {
    HWND text = GetDlgItem(box, 0xFFFF);
    EXPECT_NE(text, nullptr);
    *message = WindowText(text);
    EXPECT_NE(GetDlgItem(box, IDOK), nullptr);
    EXPECT_EQ(GetDlgItem(box, IDCANCEL), nullptr) << "only an OK button";
    EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr);
    SendMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
  }
  long code = child.Wait(20000);
  DeleteFileA(path.c_str());
  return code;
}

// Whether it showed the corruption message.
long RunImage(const std::vector<unsigned char>& image, const char* name, bool* messageShown,
              const std::string& arguments = "") {
  std::string message;
  long code = RunImageFor(image, name, &message, arguments);
  *messageShown = !message.empty();
  if (*messageShown) EXPECT_EQ(message, kText) << name;
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
  image[image.size() - 3] = 0xF6;
  bool shown = true;
  EXPECT_EQ(RunImage(image, "vel-flags.exe", &shown), 0);
  EXPECT_FALSE(shown);
}

TEST(Startup, ReadablePackageWithoutTheCommandLineBitExitsWithZeroWhateverTheArguments) {
  std::vector<unsigned char> image = Load("good.exe");
  // Package flag bit 3 makes the installer read its command line (the deployment tests).
  image[image.size() - 3] &= ~0x08;
  for (const char* arguments : {"", " /S", " --help extra \"quoted arg\"", " /D=C:\\Elsewhere"}) {
    bool shown = true;
    EXPECT_EQ(RunImage(image, "vel-good.exe", &shown, arguments), 0) << arguments;
    EXPECT_FALSE(shown) << arguments;
  }
}

namespace {
const char kDamagedPrefix[] = "This Velmora package is damaged: \"";
const char kDamagedSuffix[] =
    "\" cannot be installed.\n\nPossible reasons:\n - broken Internet download\n"
    " - this EXE file was modified.\n\nThe installation was stopped.";
const char kDamageFolder[] = "C:\\Velmora Damage Test";
const char* const kDamageFiles[] = {"small.txt", "prose.txt", "noise.bin"};

// The damage installer's files: removed before and after each run.
void RemoveDamageFolder() {
  for (const char* file : kDamageFiles) {
    std::string path = std::string(kDamageFolder) + "\\" + file;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
  }
  RemoveDirectoryA(kDamageFolder);
}

enum class Result { kInstalled, kCorrupt, kEntryDamaged };

// Runs a variant of the damage installer: it installs all three files unchanged and exits with
// 0, or shows the corruption message and installs nothing, or names a damaged file, which is
// then absent, exits with 1 and leaves every file it did install unchanged.
Result RunDamageVariant(const std::vector<unsigned char>& image, const std::string& what) {
  RemoveDamageFolder();
  std::string message;
  long code = RunImageFor(image, "vel-damage.exe", &message);
  Result result;
  std::string named;
  if (message.empty()) {
    EXPECT_EQ(code, 0) << what;
    result = Result::kInstalled;
  } else if (message == kText) {
    EXPECT_EQ(code, 1) << what;
    result = Result::kCorrupt;
  } else {
    EXPECT_EQ(message.rfind(kDamagedPrefix, 0), 0u) << what << ": " << message;
    size_t end = message.find(kDamagedSuffix);
    EXPECT_NE(end, std::string::npos) << what << ": " << message;
    if (end != std::string::npos) named = message.substr(strlen(kDamagedPrefix), end - strlen(kDamagedPrefix));
    EXPECT_EQ(code, 1) << what;
    result = Result::kEntryDamaged;
  }
  for (const char* file : kDamageFiles) {
    std::string installed = std::string(kDamageFolder) + "\\" + file;
    std::vector<unsigned char> got, expected;
    bool present = ReadFileBytes(installed, &got);
    EXPECT_TRUE(ReadFileBytes(PackageDir() + "\\damage\\" + file, &expected)) << file;
    if (result == Result::kInstalled) {
      EXPECT_TRUE(present && got == expected) << what << ": " << file;
    } else if (result == Result::kCorrupt || installed == named) {
      EXPECT_FALSE(present) << what << ": " << file;
    } else if (present) {
      EXPECT_EQ(got, expected) << what << ": " << file << " installed, but not as packed";
    }
  }
  RemoveDamageFolder();
  return result;
}

size_t Find(const std::vector<unsigned char>& haystack, const std::vector<unsigned char>& needle) {
  auto at = std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end());
  return at == haystack.end() ? std::string::npos : size_t(at - haystack.begin());
}
}  // namespace

TEST(Startup, DamagedEntriesStopTheInstallAndAreNamed) {
  std::vector<unsigned char> good = Load("damage.exe");
  ASSERT_GT(good.size(), 100000u);
  EXPECT_EQ(RunDamageVariant(good, "undamaged"), Result::kInstalled);

  // Stored file content lies in the file as it is: one bit of it damages exactly that file.
  std::vector<unsigned char> noise;
  ASSERT_TRUE(ReadFileBytes(PackageDir() + "\\damage\\noise.bin", &noise));
  size_t noiseAt = Find(good, std::vector<unsigned char>(noise.begin(), noise.begin() + 64));
  ASSERT_NE(noiseAt, std::string::npos);
  std::vector<unsigned char> image = good;
  image[noiseAt + 30000] ^= 0x08;
  RemoveDamageFolder();
  std::string message;
  EXPECT_EQ(RunImageFor(image, "vel-damage.exe", &message), 1);
  EXPECT_EQ(message, kDamagedPrefix + std::string(kDamageFolder) + "\\noise.bin" + kDamagedSuffix);
  // Files install in name order: the damaged first one stopped the others.
  for (const char* file : kDamageFiles)
    EXPECT_EQ(GetFileAttributesA((std::string(kDamageFolder) + "\\" + file).c_str()), INVALID_FILE_ATTRIBUTES) << file;
  RemoveDamageFolder();

  // Single bits spread over the package, from the data area to the trailer.
  size_t catalog = CatalogStart(good);
  size_t dataBase = catalog - ReadU32(good, good.size() - 12);
  int counts[3] = {};
  const int kSamples = 24;
  for (int k = 0; k < kSamples; ++k) {
    size_t at = dataBase + (good.size() - dataBase) * size_t(k) / kSamples;
    image = good;
    image[at] ^= uint8_t(1u << (k % 8));
    ++counts[int(RunDamageVariant(image, "bit " + std::to_string(k % 8) + " of byte " + std::to_string(at)))];
  }
  for (size_t at : {catalog, catalog + 12, catalog + 40, good.size() - 12, good.size() - 8}) {
    image = good;
    image[at] ^= 0x10;
    ++counts[int(RunDamageVariant(image, "byte " + std::to_string(at)))];
  }
  EXPECT_GT(counts[int(Result::kEntryDamaged)], 0);
  EXPECT_GT(counts[int(Result::kCorrupt)], 0);
}

TEST(Startup, LongRangeStreamsInstallOrFailAsAnyEntryDoes) {
  std::vector<unsigned char> good = Load("damage-long.exe");
  ASSERT_GT(good.size(), 16u);
  EXPECT_EQ(RunDamageVariant(good, "undamaged"), Result::kInstalled);
  // An installer that knows no long-range streams sees no package bit it accepts.
  std::vector<unsigned char> image = good;
  image[image.size() - 3] &= 0xEF;
  EXPECT_EQ(RunDamageVariant(image, "long-stream bit cleared"), Result::kCorrupt);

  size_t dataBase = CatalogStart(good) - ReadU32(good, good.size() - 12);
  int damaged = 0;
  const int kSamples = 8;
  for (int k = 0; k < kSamples; ++k) {
    size_t at = dataBase + (CatalogStart(good) - dataBase) * size_t(k) / kSamples;
    image = good;
    image[at] ^= uint8_t(1u << (k % 8));
    damaged += RunDamageVariant(image, "bit " + std::to_string(k % 8) + " of byte " + std::to_string(at)) ==
               Result::kEntryDamaged;
  }
  EXPECT_GT(damaged, 0);
}

namespace {
// The file offset of the security directory entry (table offset, then size) in a PE header.
size_t SecurityDirectory(const std::vector<unsigned char>& image) {
  size_t pe = ReadU32(image, 0x3C);
  size_t optional = pe + 24;
  unsigned magic = image[optional] | image[optional + 1] << 8;
  return optional + (magic == 0x20B ? 112 : 96) + 4 * 8;
}

void PutU32(std::vector<unsigned char>& image, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) image[at + i] = (unsigned char)(value >> (8 * i));
}
}  // namespace

TEST(Startup, SignedInstallersFindThePackageBeforeTheCertificateTable) {
  std::vector<unsigned char> signedImage = Load("signed.exe");
  size_t directory = SecurityDirectory(signedImage);
  uint32_t table = ReadU32(signedImage, directory);
  uint32_t tableSize = ReadU32(signedImage, directory + 4);
  ASSERT_GT(tableSize, 0u);
  ASSERT_EQ(size_t(table) + tableSize, signedImage.size()) << "the signature ends the file";
  EXPECT_EQ(RunDamageVariant(signedImage, "signed"), Result::kInstalled);

  bool shown = true;
  EXPECT_EQ(RunImage(Load("signed-padded.exe"), "vel-signed-padded.exe", &shown), 0);
  EXPECT_FALSE(shown) << "padded to the table's boundary in front of the package";

  struct Variant {
    const char* name;
    uint32_t offset, size;
    size_t appended;
  } variants[] = {
      {"vel-cert-short.exe", table, tableSize - 8, 0},
      {"vel-cert-beyond.exe", table + 8, tableSize, 0},
      {"vel-cert-outside.exe", 0xFFFFFFF0u, tableSize, 0},
      {"vel-cert-huge.exe", table, 0xFFFFFFF0u, 0},
      {"vel-cert-appended.exe", table, tableSize, 8},
      {"vel-cert-none.exe", 0, 0, 0},
  };
  for (const Variant& v : variants) {
    std::vector<unsigned char> image = signedImage;
    PutU32(image, directory, v.offset);
    PutU32(image, directory + 4, v.size);
    image.insert(image.end(), v.appended, 0);
    ExpectCorruption(image, v.name);
  }
}

TEST(Startup, WhatWasInstalledBeforeADamagedEntryStaysLoggedAndRegistered) {
  const std::string folder = "C:\\Velmora Damage Logged";
  const std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velmora Damage Logged";
  auto clean = [&] {
    for (const char* file : {"a.txt", "b.bin", "c.txt", "uninst.exe", "Uninst.log"})
      DeleteFileA((folder + "\\" + file).c_str());
    RemoveDirectoryA(folder.c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
  };
  clean();
  std::vector<unsigned char> image = Load("damage-logged.exe");
  std::vector<unsigned char> noise;
  ASSERT_TRUE(ReadFileBytes(PackageDir() + "\\damage-logged\\b.bin", &noise));
  size_t at = Find(image, std::vector<unsigned char>(noise.begin(), noise.begin() + 64));
  ASSERT_NE(at, std::string::npos);
  image[at + 100] ^= 0x01;
  std::string message;
  EXPECT_EQ(RunImageFor(image, "vel-damage-logged.exe", &message), 1);
  EXPECT_EQ(message, kDamagedPrefix + folder + "\\b.bin" + kDamagedSuffix);
  std::vector<unsigned char> log, first;
  EXPECT_TRUE(ReadFileBytes(folder + "\\a.txt", &first));
  EXPECT_FALSE(ReadFileBytes(folder + "\\b.bin", &noise)) << "the damaged file is not left behind";
  EXPECT_FALSE(ReadFileBytes(folder + "\\c.txt", &noise)) << "nothing after the damaged file is installed";
  ASSERT_TRUE(ReadFileBytes(folder + "\\Uninst.log", &log));
  EXPECT_EQ(std::string(log.begin(), log.end()),
            "Velmora Damage Logged\r\n3 " + folder + "\\Uninst.log\r\n"
            "6 HKLM\\" + key + "\\QuietUninstallString\r\n6 HKLM\\" + key + "\\NoRepair\r\n"
            "6 HKLM\\" + key + "\\NoModify\r\n6 HKLM\\" + key + "\\InstallDate\r\n"
            "6 HKLM\\" + key + "\\EstimatedSize\r\n6 HKLM\\" + key + "\\DisplayIcon\r\n"
            "6 HKLM\\" + key + "\\InstallLocation\r\n3 " + folder + "\\uninst.exe\r\n"
            "6 HKLM\\" + key + "\\DisplayName\r\n6 HKLM\\" + key + "\\UninstallString\r\n5 HKLM\\" + key + "\r\n"
            "3 " + folder + "\\a.txt\r\n2 " + folder + "\r\n");
  HKEY registration;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &registration), ERROR_SUCCESS);
  RegCloseKey(registration);
  clean();
}

TEST(Startup, SignedInstallerInstallsItsSignedUninstallerWhichRemovesTheProduct) {
  const std::string folder = "C:\\Velmora Damage Logged";
  const std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velmora Damage Logged";
  std::vector<unsigned char> image = Load("signed-logged.exe"), uninstaller;
  ASSERT_GT(ReadU32(image, SecurityDirectory(image) + 4), 0u) << "signed";
  bool shown = true;
  EXPECT_EQ(RunImage(image, "vel-signed-logged.exe", &shown), 0);
  EXPECT_FALSE(shown);
  ASSERT_TRUE(ReadFileBytes(folder + "\\uninst.exe", &uninstaller));
  EXPECT_GT(ReadU32(uninstaller, SecurityDirectory(uninstaller) + 4), 0u) << "signed as well";
  ChildProcess removal;
  ASSERT_TRUE(removal.Start("\"" + folder + "\\uninst.exe\" \"" + folder + "\\Uninst.log\" /S"));
  EXPECT_EQ(removal.Wait(60000), 0);
  EXPECT_EQ(GetFileAttributesA(folder.c_str()), INVALID_FILE_ATTRIBUTES);
  HKEY registration;
  EXPECT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &registration), ERROR_SUCCESS);
}
