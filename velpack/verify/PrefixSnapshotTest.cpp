// Snapshots of a small prefix-shaped folder, and what compares as changed between them.
#include "PrefixSnapshot.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "PackageTestSupport.h"
#include "SnapshotDiff.h"

namespace {

void Write(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  ScratchFolder::Write(path, Bytes(text.begin(), text.end()));
}

// A pending deletion as Wine's registry file holds it: REG_MULTI_SZ pairs of source and target.
std::string PendingRenames(const std::string& source) {
  std::string units;
  for (char c : "\\??\\" + source) {
    char byte[8];
    std::snprintf(byte, sizeof(byte), "%02x,00,", static_cast<unsigned char>(c));
    units += byte;
  }
  return "[System\\\\CurrentControlSet\\\\Control\\\\Session Manager] 1\n"
         "\"PendingFileRenameOperations\"=hex(7):" + units + "00,00,00,00,00,00\n";
}

class Snapshots : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix_ = folder_.File("prefix");
    Write(prefix_ + "/drive_c/Program Files/App/app.txt", "one");
    Write(prefix_ + "/drive_c/windows/temp/wine-noise.tmp", "t");
    Write(prefix_ + "/drive_c/users/me/Temp/uninst-copy.exe", "MZ");
    Write(prefix_ + "/drive_c/users/me/AppData/Local/Temp/x.tmp", "t");
    Write(prefix_ + "/drive_c/users/me/Templates/keep.txt", "kept");
    Write(prefix_ + "/user.reg", "WINE REGISTRY Version 2\n\n[Software\\\\App] 1\n\"Level\"=dword:00000001\n");
    SetSystem("");
  }
  void SetSystem(const std::string& more) {
    Write(prefix_ + "/system.reg", "WINE REGISTRY Version 2\n\n[Software\\\\Wine] 1\n\"Noise\"=dword:00000001\n" + more);
  }
  PrefixSnapshot Take(const PrefixSnapshot* previous = nullptr) {
    PrefixSnapshot snapshot;
    std::string error;
    EXPECT_TRUE(TakeSnapshot(prefix_, previous, &snapshot, &error)) << error;
    return snapshot;
  }

  ScratchFolder folder_;
  std::string prefix_;
};

TEST_F(Snapshots, LeaveOutTemporaryFoldersAndTheirPendingDeletions) {
  SetSystem(PendingRenames("C:\\users\\me\\Temp\\uninst-copy.exe"));
  PrefixSnapshot s = Take();
  EXPECT_EQ(s.files.count("c:\\program files\\app\\app.txt"), 1u);
  EXPECT_EQ(s.files.at("c:\\program files\\app\\app.txt").path, "C:\\Program Files\\App\\app.txt");
  EXPECT_EQ(s.files.at("c:\\program files\\app\\app.txt").sha256,
            "7692c3ad3540bb803c020b3aee66cd8887123234ea0c6e7143c0add73ff431ed");
  EXPECT_EQ(s.files.count("c:\\users\\me\\templates\\keep.txt"), 1u);
  for (const auto& file : s.files) EXPECT_EQ(file.first.find("temp\\"), std::string::npos) << file.first;
  EXPECT_EQ(s.registry.at("hklm\\system\\currentcontrolset\\control\\session manager").values.size(), 0u);

  // A pending deletion of anything else stays: the next start of Windows would not undo it.
  SetSystem(PendingRenames("C:\\Program Files\\App\\app.txt"));
  EXPECT_EQ(Take().registry.at("hklm\\system\\currentcontrolset\\control\\session manager").values.size(), 1u);
}

TEST_F(Snapshots, CompareByContentAndIgnoreWhatTheBaselineChanged) {
  PrefixSnapshot before = Take();
  // The baseline: Wine rewrites its value and a file of its own.
  Write(prefix_ + "/system.reg",
        "WINE REGISTRY Version 2\n\n[Software\\\\Wine] 2\n\"Noise\"=dword:00000002\n[Software\\\\Wine\\\\Fresh] 2\n");
  Write(prefix_ + "/drive_c/windows/win.ini", "[wine]\n");
  PrefixSnapshot baseline = Take(&before);
  Noise noise = NoiseOf(CompareSnapshots(before, baseline, Noise()));
  EXPECT_EQ(noise.files.count("c:\\windows\\win.ini"), 1u);
  EXPECT_EQ(noise.keys.count("hklm\\software\\wine\\fresh"), 1u);
  EXPECT_EQ(CompareSnapshots(before, baseline, noise).Empty(), true);

  // The install: the same bytes rewritten are no change; other bytes of the same size are.
  Write(prefix_ + "/drive_c/Program Files/App/app.txt", "one");
  Write(prefix_ + "/drive_c/Program Files/App/new/added.txt", "added");
  Write(prefix_ + "/drive_c/windows/win.ini", "[wine]\nmore\n");
  Write(prefix_ + "/user.reg",
        "WINE REGISTRY Version 2\n\n[Software\\\\App] 1\n\"Level\"=dword:00000002\n\"Name\"=\"App\"\n"
        "[Software\\\\App\\\\Sub] 1\n\"Deep\"=\"x\"\n");
  PrefixSnapshot installed = Take(&baseline);
  SnapshotDiff diff = CompareSnapshots(baseline, installed, noise);
  ASSERT_EQ(diff.files.size(), 2u);
  EXPECT_EQ(diff.files[0].change, Change::kAdded);
  EXPECT_EQ(diff.files[0].after.path, "C:\\Program Files\\App\\new");
  EXPECT_TRUE(diff.files[0].after.folder);
  EXPECT_EQ(diff.files[1].after.path, "C:\\Program Files\\App\\new\\added.txt");
  ASSERT_EQ(diff.keys.size(), 1u);
  EXPECT_EQ(diff.keys[0].path, "HKCU\\Software\\App\\Sub");
  ASSERT_EQ(diff.values.size(), 3u);
  EXPECT_EQ(diff.values[0].change, Change::kChanged);
  EXPECT_EQ(diff.values[0].name, "Level");
  EXPECT_EQ(diff.values[1].name, "Name");
  EXPECT_EQ(diff.values[2].key, "HKCU\\Software\\App\\Sub");

  Write(prefix_ + "/drive_c/Program Files/App/app.txt", "two");
  std::filesystem::remove_all(prefix_ + "/drive_c/users/me/Templates");
  diff = CompareSnapshots(baseline, Take(&installed), noise);
  ASSERT_GE(diff.files.size(), 4u);
  EXPECT_EQ(diff.files[0].change, Change::kChanged);
  EXPECT_EQ(diff.files[0].before.size, diff.files[0].after.size);
  EXPECT_EQ(diff.files.back().change, Change::kRemoved);
  EXPECT_EQ(diff.files.back().before.path, "C:\\users\\me\\Templates\\keep.txt");
}

TEST_F(Snapshots, TheDefaultProfileIsPartOfTheRegistry) {
  Write(prefix_ + "/userdef.reg", "WINE REGISTRY Version 2\n\n[Control Panel\\\\Desktop] 1\n\"Wallpaper\"=\"\"\n");
  PrefixSnapshot before = Take();
  Write(prefix_ + "/userdef.reg", "WINE REGISTRY Version 2\n\n[Control Panel\\\\Desktop] 1\n\"Wallpaper\"=\"\"\n"
                                  "[Software\\\\Vendor] 2\n\"Seen\"=dword:00000001\n");
  SnapshotDiff diff = CompareSnapshots(before, Take(&before), Noise());
  ASSERT_EQ(diff.keys.size(), 2u);
  EXPECT_EQ(diff.keys[0].path, "HKU\\.DEFAULT\\Software");
  EXPECT_EQ(diff.keys[1].path, "HKU\\.DEFAULT\\Software\\Vendor");
  ASSERT_EQ(diff.values.size(), 1u);
  EXPECT_EQ(diff.values[0].name, "Seen");
  // A prefix without the file (made by an older Wine) is read as before.
  std::filesystem::remove(prefix_ + "/userdef.reg");
  EXPECT_EQ(Take().registry.count("hku\\.default\\software\\vendor"), 0u);
}

}  // namespace
