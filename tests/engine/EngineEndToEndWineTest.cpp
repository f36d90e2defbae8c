// Installers built from manifests and hand-made records, run unattended by the real stub as
// their own processes; the results are read back from the Wine prefix.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ChildProcess.h"
#include "InstallChecks.h"

namespace {

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::string PackageDir() { return WindowsPath(EnvironmentValue("VELMORA_ENGINE_PACKAGES")); }

// A REG_SZ value as text, whether or not it was stored with its terminator.
std::string RegistryText(HKEY root, const std::string& key, const char* name) {
  std::string value = RegistryValue(root, key, name).second;
  size_t zero = value.find('\0');
  return zero == std::string::npos ? value : value.substr(0, zero);
}

long RunInstaller(const char* name) {
  ChildProcess installer;
  if (!installer.Start("\"" + PackageDir() + "\\" + name + "\"")) return -1;
  return installer.Wait(120000);
}

// One product per test: its folder, its own registry key and its registration are removed before
// and after.
class EndToEnd : public ::testing::Test {
 protected:
  EndToEnd(const char* product, const char* folder)
      : product_(product),
        folder_(folder),
        files_(folder, HKEY_CURRENT_USER, "Software\\" + product_),
        registration_(folder, HKEY_LOCAL_MACHINE, kUninstallKey + product_) {}
  std::string In(const std::string& rest) const { return files_.In(rest); }

  std::string product_;
  std::string folder_;
  Scratch files_;
  Scratch registration_;
};

class BasicInstall : public EndToEnd {
 protected:
  BasicInstall() : EndToEnd("Velmora E2E Basic", "C:\\Velmora E2E Basic") {}
  void SetUp() override {
    temp_ = TempFolder();
    while (!temp_.empty() && temp_.back() == '\\') temp_.pop_back();
  }
  void TearDown() override {
    if (!private_.empty()) DeleteTree(private_ + "2");
  }
  std::string temp_;
  std::string private_;  // the run's own temporary folder, as its deferred helper reported it
};

TEST_F(BasicInstall, InstallsEverythingAndWritesTheLogNewestFirst) {
  ASSERT_EQ(RunInstaller("basic.exe"), 0);

  // The helper in the run's temporary folder ran after the run; the folder was made for the
  // run below the system's one, and is gone now that the installer has ended.
  const std::string helperTail = "\\helper\\MarkerWriter.exe\"";
  std::string helper = Contents(In("temp-after.txt"));
  size_t tail = helper.find(helperTail);
  ASSERT_NE(tail, std::string::npos) << helper;
  private_ = helper.substr(1, tail - 1);
  EXPECT_EQ(private_.rfind(temp_ + "\\Velmora-", 0), 0u) << private_;
  EXPECT_EQ(private_.size(), temp_.size() + 9 + 16) << private_;
  EXPECT_FALSE(Exists(private_));
  // The other helper found the file unpacked beside it, which its component's end did not take.
  EXPECT_EQ(Contents(In("companion-seen.txt")), "Read me first.\r\n");

  const std::string p = folder_;
  const std::string hkcu = "HKCU\\Software\\Velmora E2E Basic";
  const std::string hklm = std::string("HKLM\\") + kUninstallKey + product_;
  const std::string sibling = private_ + "2\\Velmora E2E Basic";
  EXPECT_EQ(Contents(In("Uninst.log")),
            "Velmora E2E Basic\r\n"
            "1 keep settings\r\n"
            "3 " + p + "\\Uninst.log\r\n"
            + ProductDetailLines(hklm) +
            "3 " + p + "\\uninst.exe\r\n"
            "6 " + hklm + "\\DisplayName\r\n"
            "6 " + hklm + "\\UninstallString\r\n"
            "5 " + hklm + "\r\n"
            "3 " + p + "\\extra.bin\r\n"
            "3 " + sibling + "\\sibling.txt\r\n"
            "2 " + sibling + "\r\n"
            "2 " + private_ + "2\r\n"
            "3 " + p + "\\copied\\sub\\deep.txt\r\n"
            "2 " + p + "\\copied\\sub\r\n"
            "2 " + p + "\\copied\r\n"
            "3 " + p + "\\copy\\now-copy.txt\r\n"
            "2 " + p + "\\copy\r\n"
            "6 " + hkcu + "\\\r\n"
            "6 " + hkcu + "\\List\r\n"
            "6 " + hkcu + "\\Number\r\n"
            "6 " + hkcu + "\\Binary\r\n"
            "6 " + hkcu + "\\Expand\r\n"
            "6 " + hkcu + "\\Text\r\n"
            "5 " + hkcu + "\r\n"
            "3 " + p + "\\flags\\hidden.txt\r\n"
            "2 " + p + "\\flags\r\n"
            "3 " + p + "\\bin\\MarkerWriter.exe\r\n"
            "2 " + p + "\\bin\r\n"
            "3 " + p + "\\docs\\readme.txt\r\n"
            "2 " + p + "\\docs\r\n"
            "3 " + p + "\\data.bin\r\n"
            "2 " + p + "\r\n");

  // Files: bytes, the last-write time from the build machine, attributes.
  const uint64_t built = FileTime(2001, 2, 3, 4, 5, 6);
  EXPECT_EQ(Contents(In("docs\\readme.txt")), "Read me first.\r\n");
  EXPECT_EQ(Contents(In("data.bin")), std::string(3000, 'd'));
  EXPECT_EQ(LastWrite(In("docs\\readme.txt")), built);
  EXPECT_EQ(LastWrite(In("data.bin")), built);
  EXPECT_EQ(Attributes(In("flags\\hidden.txt")), DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(Attributes(In("data.bin")), 0u);
  EXPECT_EQ(Contents(In("uninst.exe")), Contents(PackageDir() + "\\bin\\MarkerWriter.exe"));
  EXPECT_EQ(Contents(In("extra.bin")), std::string(3000, 'd'));
  EXPECT_FALSE(Exists(In("unselected.bin")));

  // Registry values of every type, with references expanded in every string.
  using Value = RegistryData;
  const std::string key = "Software\\Velmora E2E Basic";
  EXPECT_EQ(RegistryValue(HKEY_CURRENT_USER, key, "Text"),
            Value(REG_SZ, std::string("at C:\\Velmora E2E Basic\0", 24)));
  EXPECT_EQ(RegistryValue(HKEY_CURRENT_USER, key, "Expand"),
            Value(REG_EXPAND_SZ, std::string("%SystemRoot%\\Velmora E2E Basic\0", 31)));
  EXPECT_EQ(RegistryValue(HKEY_CURRENT_USER, key, "Binary"), Value(REG_BINARY, std::string("\xde\xad\x00\xef", 4)));
  EXPECT_EQ(RegistryValue(HKEY_CURRENT_USER, key, "Number"), Value(REG_DWORD, std::string("\x78\x56\x34\x12", 4)));
  EXPECT_EQ(RegistryValue(HKEY_CURRENT_USER, key, "List"),
            Value(REG_MULTI_SZ, std::string("Velmora E2E Basic\0v2.5\0plain\0\0", 30)));
  EXPECT_EQ(RegistryValue(HKEY_CURRENT_USER, key, ""),
            Value(REG_SZ, std::string("default of Velmora Tests\0", 25)));

  // The registration starts the uninstaller with the log, both quoted.
  const std::string uninstall = kUninstallKey + product_;
  EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, uninstall, "UninstallString"),
            "\"C:\\Velmora E2E Basic\\Uninst.exe\" \"C:\\Velmora E2E Basic\\Uninst.log\"");
  EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, uninstall, "DisplayName"), "Velmora E2E Basic");

  // The waited program ran before the next action; the one without arguments got one space.
  const std::string marker = In("bin\\MarkerWriter.exe");
  EXPECT_EQ(Contents(In("now.txt")), "\"" + marker + "\" \"" + In("now.txt") + "\" 7");
  EXPECT_EQ(Contents(In("copy\\now-copy.txt")), Contents(In("now.txt")));
  EXPECT_EQ(Contents(In("bin\\MarkerWriter.txt")), "\"" + marker + "\" ");
  // The deferred one starts once the installer is done.
  ASSERT_TRUE(WaitForFile(In("after.txt")));
  EXPECT_EQ(Contents(In("after.txt")), "\"" + marker + "\" \"" + In("after.txt") + "\" 0");

  // Folders are made only on the way to a file.
  EXPECT_EQ(Contents(In("copied\\sub\\deep.txt")), "deep");
  EXPECT_FALSE(Exists(In("copied\\empty")));

  // The sibling of the temporary folder is not temporary.
  EXPECT_EQ(Contents(sibling + "\\sibling.txt"), "Read me first.\r\n");
}

// Smaller packages, each a product of its own.
TEST(SmallPackages, NoUninstallerWizardFlagAndShortFlags) {
  {
    Scratch product("C:\\Velmora E2E No Uninstaller", HKEY_LOCAL_MACHINE,
                    std::string(kUninstallKey) + "Velmora E2E No Uninstaller");
    ASSERT_EQ(RunInstaller("no-uninstaller.exe"), 0);
    EXPECT_EQ(Contents(product.In("data.bin")), std::string(3000, 'd'));
    // Neither log nor registration without the uninstaller.
    EXPECT_FALSE(Exists(product.In("Uninst.log")));
    EXPECT_FALSE(Exists(product.In("uninst.exe")));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + "Velmora E2E No Uninstaller"));
  }
  {
    // Not unattended: the wizard opens; cancelled (exit code 2), nothing is installed and nothing
    // is started.
    Scratch product("C:\\Velmora E2E Wizard", HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + "Velmora E2E Wizard");
    DeleteFileA("C:\\Velmora E2E Wizard.txt");
    ChildProcess installer;
    ASSERT_TRUE(installer.Start("\"" + PackageDir() + "\\wizard.exe\""));
    HWND wizard = installer.FindDialog("Velmora E2E Wizard", 30000);
    ASSERT_NE(wizard, nullptr);
    SendMessageA(GetDlgItem(wizard, IDCANCEL), BM_CLICK, 0, 0);
    ASSERT_EQ(installer.Wait(30000), 2);
    EXPECT_FALSE(Exists(product.Folder()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + "Velmora E2E Wizard"));
    EXPECT_FALSE(Exists("C:\\Velmora E2E Wizard.txt"));
  }
  {
    // A drive-relative destination would land in the current folder of drive C: nothing is
    // installed or registered, and the run fails.
    const std::string registration = std::string(kUninstallKey) + "Velmora E2E Relative";
    Scratch product("C:\\Velmora E2E Relative", HKEY_LOCAL_MACHINE, registration);
    char previous[MAX_PATH];
    ASSERT_NE(GetCurrentDirectoryA(MAX_PATH, previous), 0u);
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\"));
    long code = RunInstaller("relative-destination.exe");
    SetCurrentDirectoryA(previous);
    EXPECT_EQ(code, 1);
    EXPECT_FALSE(Exists(product.Folder()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, registration));
  }
  {
    // Without TMP, TEMP and USERPROFILE the system's temporary folder is the Windows folder: a
    // file installed there is the product's, not a temporary one to delete after its component.
    char windows[MAX_PATH];
    ASSERT_NE(GetWindowsDirectoryA(windows, MAX_PATH), 0u);
    const std::string kept = std::string(windows) + "\\Velmora E2E No Temp.txt";
    DeleteFileA(kept.c_str());
    const char* variables[] = {"TMP", "TEMP", "USERPROFILE"};
    std::string saved[3];
    for (int i = 0; i < 3; ++i) {
      saved[i] = EnvironmentValue(variables[i]);
      SetEnvironmentVariableA(variables[i], nullptr);
    }
    long code = RunInstaller("no-temp-variable.exe");
    for (int i = 0; i < 3; ++i) SetEnvironmentVariableA(variables[i], saved[i].c_str());
    EXPECT_EQ(code, 0);
    EXPECT_EQ(Contents(kept), "kept");
    DeleteFileA(kept.c_str());
  }
  {
    // A "flags" entry of one byte with bit 0 installs without the wizard.
    Scratch product("C:\\Velmora E2E Short Flags", HKEY_CURRENT_USER, "Software\\Velmora E2E Short Flags");
    ASSERT_EQ(RunInstaller("short-flags.exe"), 0);
    EXPECT_EQ(Contents(product.In("installed.txt")), "installed");
  }
}

// Where an installer's files and registry values land on this Windows: a 64-bit one (and a 32-bit
// one on 32-bit Windows) in the native views, a 32-bit one on 64-bit Windows in the redirected ones.
class ArchitectureInstall : public ::testing::Test {
 protected:
  static constexpr const char* kProduct = "Velmora E2E Architecture";
  static constexpr const char* kKey = "Software\\Velmora E2E Architecture";

  // Installs the package and checks where it went; the other view must stay untouched.
  void InstallsInto(const char* package, const std::string& programFiles, REGSAM view, REGSAM otherView) {
    const std::string folder = programFiles + "\\" + kProduct;
    const std::string registration = std::string(kUninstallKey) + kProduct;
    Scratch files(folder, HKEY_LOCAL_MACHINE, kKey, view);
    Scratch registered(folder, HKEY_LOCAL_MACHINE, registration, view);
    ASSERT_EQ(RunInstaller(package), 0);
    EXPECT_EQ(Contents(files.In("readme.txt")), "Which Program Files am I in?\r\n");
    EXPECT_EQ(RegistryValue(HKEY_LOCAL_MACHINE, kKey, "Folder", view),
              RegistryData(REG_SZ, folder + std::string(1, '\0')));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, registration, view));
    EXPECT_NE(Contents(files.In("Uninst.log")).find("6 HKLM\\" + std::string(kKey) + "\\Folder\r\n"),
              std::string::npos);
    if (otherView != 0) {
      EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kKey, otherView));
      EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, registration, otherView));
    }
  }
};

TEST_F(ArchitectureInstall, NativeInstallerUsesTheNativeViewsAndProgramFiles) {
  bool is64 = sizeof(void*) == 8;
  InstallsInto("architecture-native.exe", "C:\\Program Files", is64 ? KEY_WOW64_64KEY : 0,
               is64 ? KEY_WOW64_32KEY : 0);
}

TEST_F(ArchitectureInstall, X86InstallerOn64BitWindowsUsesTheRedirectedViews) {
  if (sizeof(void*) == 4) GTEST_SKIP() << "32-bit Windows has no redirected views";
  if (EnvironmentValue("VELMORA_RUNS_32BIT") != "1") GTEST_SKIP() << "this machine runs no 32-bit programs";
  ASSERT_TRUE(Exists(PackageDir() + "\\architecture-x86.exe"));
  InstallsInto("architecture-x86.exe", "C:\\Program Files (x86)", KEY_WOW64_32KEY, KEY_WOW64_64KEY);
}

}  // namespace
