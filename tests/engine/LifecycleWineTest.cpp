// One product over its life, with Velmora's own uninstaller: versions installed over each other,
// files in use, failed actions, runs that end early, and an uninstall that has to be repeated.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "ChildProcess.h"
#include "InstallChecks.h"

namespace {

const char kProduct[] = "Velmora E2E Removable";
const char kFolder[] = "C:\\Velmora E2E Removable";
const char kKey[] = "Software\\Velmora E2E Removable";
const char kService[] = "VelmoraRemovable";
const char kRegistration[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velmora E2E Removable";
const char kServiceKey[] = "System\\CurrentControlSet\\Services\\VelmoraRemovable";
const DWORD kTimeoutMs = 120000;

std::string Package(const char* name) {
  return WindowsPath(EnvironmentValue("VELMORA_ENGINE_PACKAGES")) + "\\" + name + ".exe";
}

long RunProgram(const std::string& commandLine) {
  ChildProcess child;
  if (!child.Start(commandLine)) return -1;
  return child.Wait(kTimeoutMs);
}

long Install(const char* name) { return RunProgram("\"" + Package(name) + "\""); }

std::string RegistryText(HKEY root, const std::string& key, const char* name) {
  std::string value = RegistryValue(root, key, name).second;
  size_t zero = value.find('\0');
  return zero == std::string::npos ? value : value.substr(0, zero);
}

// The registered uninstaller, run without questions.
long Uninstall() {
  std::string command = RegistryText(HKEY_LOCAL_MACHINE, kRegistration, "UninstallString");
  if (command.empty() || command == "<missing>") return -2;
  return RunProgram(command + " /S");
}

// Every file and folder below path, every value below the keys: what the product may touch.
void SnapshotFiles(const std::string& path, std::map<std::string, std::string>* into) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
  for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found)) {
    std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    std::string full = path + "\\" + name;
    bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    (*into)[full] = folder ? "<folder>" : Contents(full);
    if (folder) SnapshotFiles(full, into);
  }
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
}

void SnapshotKey(HKEY root, const std::string& key, std::map<std::string, std::string>* into) {
  HKEY opened;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return;
  (*into)["key " + key] = "";
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = sizeof(name);
    if (RegEnumValueA(opened, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    (*into)["value " + key + "\\" + name] = RegistryValue(root, key, name).second;
  }
  for (DWORD i = 0;; ++i) {
    DWORD length = sizeof(name);
    if (RegEnumKeyExA(opened, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    SnapshotKey(root, key + "\\" + name, into);
  }
  RegCloseKey(opened);
}

std::map<std::string, std::string> Snapshot() {
  std::map<std::string, std::string> state;
  SnapshotFiles(kFolder, &state);
  if (Exists(kFolder)) state[kFolder] = "<folder>";
  SnapshotKey(HKEY_CURRENT_USER, kKey, &state);
  SnapshotKey(HKEY_LOCAL_MACHINE, kRegistration, &state);
  SnapshotKey(HKEY_LOCAL_MACHINE, kServiceKey, &state);
  return state;
}

// A file opened by this process without sharing: no other program can write, move or delete it.
class HeldOpen {
 public:
  explicit HeldOpen(const std::string& path)
      : file_(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}
  ~HeldOpen() { Release(); }
  bool Valid() const { return file_ != INVALID_HANDLE_VALUE; }
  void Release() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE file_;
};

class Lifecycle : public ::testing::Test {
 protected:
  void SetUp() override {
    Clean();
    before_ = Snapshot();
  }
  void TearDown() override { Clean(); }
  static void Clean() {
    DeleteTree(kFolder);
    DeleteTree("C:\\Program Files\\Velmora E2E Removable");
    DeleteServiceNamed(kService);
    RegDeleteTreeA(HKEY_CURRENT_USER, kKey);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kRegistration);
  }
  void ExpectAsBefore() { EXPECT_EQ(Snapshot(), before_); }

  std::map<std::string, std::string> before_;
};

TEST_F(Lifecycle, VersionTwoOverVersionOneThenOneUninstallLeavesNothing) {
  ASSERT_EQ(Install("removable-v1"), 0);
  EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kServiceKey, "ImagePath"), "\"" + std::string(kFolder) + "\\service1.exe\"");
  ASSERT_EQ(Install("removable-v2"), 0);
  // The existing read-only, hidden and system file was replaced.
  EXPECT_EQ(Contents(std::string(kFolder) + "\\guarded.txt"), "guarded version 2\r\n");
  // The service version 1 made was stopped and given version 2's record.
  EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kServiceKey, "ImagePath"), "\"" + std::string(kFolder) + "\\service2.exe\"");
  EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kServiceKey, "DisplayName"), "Velmora Removable 2");
  EXPECT_EQ(RegistryValue(HKEY_LOCAL_MACHINE, kServiceKey, "Start").second, std::string("\x04\0\0\0", 4));
  // The new log heads with this run's lines and keeps version 1's below them.
  std::string log = Contents(std::string(kFolder) + "\\Uninst.log");
  EXPECT_EQ(log.rfind("Velmora E2E Removable\r\n3 C:\\Velmora E2E Removable\\Uninst.log\r\n", 0), 0u) << log;
  EXPECT_NE(log.find("3 C:\\Velmora E2E Removable\\sub\\c.txt\r\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("8 VelmoraRemovable"), log.rfind("8 VelmoraRemovable")) << "each line once";
  EXPECT_FALSE(Exists(std::string(kFolder) + "\\Uninst.log.journal"));

  EXPECT_EQ(Uninstall(), 0);
  ExpectAsBefore();
}

TEST_F(Lifecycle, AFileInUseIsReplacedAtTheRestart) {
  ASSERT_EQ(Install("removable-v1"), 0);
  const std::string a = std::string(kFolder) + "\\a.txt";
  {
    HeldOpen held(a);
    ASSERT_TRUE(held.Valid());
    EXPECT_EQ(Install("removable-v2"), 3010);
    std::string pending = RegistryValue(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager",
                                         "PendingFileRenameOperations")
                              .second;
    EXPECT_NE(pending.find(a), std::string::npos) << "the rename waits for the restart";
  }
  EXPECT_EQ(Contents(a), "a version 1\r\n");
  // Wine's restart carries out the pending renames.
  EXPECT_EQ(RunProgram("wineboot.exe -r"), 0);
  EXPECT_EQ(Contents(a), "a version 2\r\n");
  EXPECT_EQ(Uninstall(), 0);
  ExpectAsBefore();
}

TEST_F(Lifecycle, FailedActionsAreNamedInTheClosingMessageAndTheExitCode) {
  ASSERT_TRUE(CreateDirectoryA(kFolder, nullptr));
  ASSERT_TRUE(WriteFileBytes(std::string(kFolder) + "\\blocked", {'x'}));
  // A file in use as well: the restart is asked for, but the failure decides the exit code.
  ASSERT_TRUE(WriteFileBytes(std::string(kFolder) + "\\a.txt", {'o', 'l', 'd'}));
  HeldOpen held(std::string(kFolder) + "\\a.txt");
  ChildProcess installer;
  ASSERT_TRUE(installer.Start("\"" + Package("removable-fails") + "\""));
  HWND wizard = installer.FindDialog(kProduct, 30000);
  ASSERT_NE(wizard, nullptr);
  PostMessageA(GetDlgItem(wizard, IDOK), BM_CLICK, 0, 0);
  HWND message = nullptr;
  for (int i = 0; i < 600 && !message; ++i) {
    HWND found = installer.FindDialog(kProduct, 100);
    if (found && found != wizard) message = found;
    Sleep(50);
  }
  ASSERT_NE(message, nullptr);
  EXPECT_EQ(WindowText(GetDlgItem(message, 0xFFFF)),
            "The installation is incomplete. These items could not be installed:\r\n"
            "File C:\\Velmora E2E Removable\\blocked\\a.txt (error 3)\r\n\r\n"
            "Restart your computer to finish the installation.");
  PostMessageA(GetDlgItem(message, IDOK), BM_CLICK, 0, 0);
  EXPECT_EQ(installer.Wait(kTimeoutMs), 3);
  held.Release();
  // What did install stays removable, the copy that waits for the restart included.
  EXPECT_EQ(Uninstall(), 0);
  EXPECT_FALSE(Exists(std::string(kFolder) + "\\a.txt"));
  EXPECT_TRUE(Exists(std::string(kFolder) + "\\blocked")) << "not the product's";
  std::map<std::string, std::string> left;
  SnapshotFiles(kFolder, &left);
  EXPECT_EQ(left.size(), 1u) << left.begin()->first;
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kRegistration));
}

TEST_F(Lifecycle, CancelledAndKilledRunsLeaveWhatTheyChangedRemovable) {
  EXPECT_EQ(Install("removable-cancel"), 1);
  EXPECT_EQ(Contents(std::string(kFolder) + "\\sub\\c.txt"), "c version 1\r\n");
  EXPECT_FALSE(Exists(std::string(kFolder) + "\\a.txt"));
  EXPECT_EQ(Uninstall(), 0);
  ExpectAsBefore();

  // Killed in the middle of a long script: the journal on disk tells the uninstaller what was done.
  ChildProcess installer;
  ASSERT_TRUE(installer.Start("\"" + Package("removable-long") + "\""));
  const std::string journal = std::string(kFolder) + "\\Uninst.log.journal";
  bool inScript = false;
  for (int i = 0; i < 600 && !inScript; ++i, Sleep(50))
    inScript = Contents(journal).find("\\1\\Version\r\n") != std::string::npos;
  ASSERT_TRUE(inScript) << Contents(journal);
  EXPECT_EQ(installer.Wait(0), -1000) << "killed while the script still ran";
  EXPECT_FALSE(Exists(std::string(kFolder) + "\\Uninst.log"));
  EXPECT_EQ(Uninstall(), 0);
  ExpectAsBefore();
}

TEST_F(Lifecycle, AScriptsFolderMovesTheLogTheUninstallerAndTheRegistration) {
  ASSERT_EQ(Install("removable-moved"), 0);
  EXPECT_EQ(RegistryText(HKEY_CURRENT_USER, kKey, "Seen"), "C:\\Program Files\\Velmora E2E Removable");
  EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kRegistration, "UninstallString"),
            "\"C:\\Velmora E2E Removable\\Uninst.exe\" \"C:\\Velmora E2E Removable\\Uninst.log\"");
  EXPECT_TRUE(Exists(std::string(kFolder) + "\\uninst.exe"));
  EXPECT_EQ(Contents(std::string(kFolder) + "\\a.txt"), "a version 1\r\n");
  EXPECT_FALSE(Exists("C:\\Program Files\\Velmora E2E Removable\\uninst.exe"));
  EXPECT_EQ(Uninstall(), 0);
  EXPECT_FALSE(Exists("C:\\Program Files\\Velmora E2E Removable"));
  ExpectAsBefore();
}

TEST_F(Lifecycle, AnUninstallThatMeetsAFileInUseCanBeRunAgain) {
  ASSERT_EQ(Install("removable-v1"), 0);
  {
    HeldOpen held(std::string(kFolder) + "\\b.txt");
    ASSERT_TRUE(held.Valid());
    EXPECT_EQ(Uninstall(), 2);
    EXPECT_FALSE(Exists(std::string(kFolder) + "\\a.txt"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kRegistration)) << "still registered";
    EXPECT_EQ(Contents(std::string(kFolder) + "\\Uninst.log").find("Velmora E2E Removable\r\n3 C:\\Velmora E2E Removable\\b.txt\r\n"),
              0u);
  }
  EXPECT_EQ(Uninstall(), 0);
  ExpectAsBefore();
}

}  // namespace
