// One product over its life, with Velmora's own uninstaller: versions installed over each other,
// files in use, failed actions, runs that end early, and an uninstall that has to be repeated.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "InstallChecks.h"

namespace {

const char kProduct[] = "Velmora E2E Removable";
const char kFolder[] = "C:\\Velmora E2E Removable";
const char kKey[] = "Software\\Velmora E2E Removable";
const char kService[] = "VelmoraRemovable";
const char kRegistration[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velmora E2E Removable";
const char kElsewhere[] = "C:\\Velmora E2E Elsewhere";
const char kProducts[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char kSharedFiles[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
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

// The system's count of a shared file's users, as stored.
std::string SharedCount(const std::string& path) { return RegistryValue(HKEY_LOCAL_MACHINE, kSharedFiles, path.c_str()).second; }

std::string SharedFolder() {
  char windows[MAX_PATH];
  GetWindowsDirectoryA(windows, MAX_PATH);
  return std::string(windows) + "\\Velmora E2E Vendor";
}

std::string SharedLibrary() {
  char system[MAX_PATH];
  GetSystemDirectoryA(system, MAX_PATH);
  return std::string(system) + "\\velmora-e2e-shared.dll";
}

void SetSharedCount(const std::string& path, DWORD count) {
  RegSetKeyValueA(HKEY_LOCAL_MACHINE, kSharedFiles, path.c_str(), REG_DWORD, &count, sizeof(count));
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

// The renames and deletions that wait for the next restart.
std::string PendingRenames() {
  return RegistryValue(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager",
                       "PendingFileRenameOperations")
      .second;
}

// Whether the file cannot be opened for writing for lack of rights.
bool RefusesWriting(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED;
}

// A file whose rights refuse every write: Wine runs as root here, whom no permission refuses,
// but Linux's immutable flag does, and Wine reports that as access denied. The flag is set and
// cleared by chattr, which Wine starts as it starts any Unix program; it hands back no handle
// to one, so the file itself tells when the flag has changed.
class WriteRefused {
 public:
  explicit WriteRefused(const std::string& path) : path_(path) { Flag("+i", true); }
  ~WriteRefused() { Flag("-i", false); }
  // False where the file system or the process's capabilities do not let chattr set the flag.
  bool Holds() const { return RefusesWriting(path_); }

 private:
  void Flag(const char* change, bool refused) {
    typedef char*(CDECL * UnixName)(const wchar_t*);
    UnixName unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    std::wstring wide(path_.begin(), path_.end());
    char* name = unixName ? unixName(wide.c_str()) : nullptr;
    if (!name) return;
    ChildProcess chattr;
    chattr.Start(std::string("Z:\\usr\\bin\\chattr ") + change + " \"" + name + "\"");
    HeapFree(GetProcessHeap(), 0, name);
    for (int i = 0; i < 200 && RefusesWriting(path_) != refused; ++i) Sleep(50);
  }

  std::string path_;
};

// A file that a program has mapped into its memory, as databases and fonts are: it cannot be
// cut short or replaced while the view is there.
class MappedView {
 public:
  explicit MappedView(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    mapping_ = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    CloseHandle(file);
    if (mapping_) view_ = MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, 0);
  }
  ~MappedView() {
    if (view_) UnmapViewOfFile(view_);
    if (mapping_) CloseHandle(mapping_);
  }
  bool Valid() const { return view_ != nullptr; }

 private:
  HANDLE mapping_ = nullptr;
  void* view_ = nullptr;
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
    DeleteTree("C:\\Velmora E2E Vendor");
    DeleteTree(kElsewhere);
    DeleteTree(SharedFolder());
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kSharedFiles, (SharedFolder() + "\\b.txt").c_str());
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kSharedFiles, SharedLibrary().c_str());
    DeleteFileA(SharedLibrary().c_str());
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Velmora E2E Vendor");
    for (const char* product : {"A", "B"})
      RegDeleteTreeA(HKEY_LOCAL_MACHINE, (std::string(kProducts) + "Velmora E2E Vendor " + product).c_str());
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
    EXPECT_NE(PendingRenames().find(a), std::string::npos) << "the rename waits for the restart";
  }
  EXPECT_EQ(Contents(a), "a version 1\r\n");
  // Wine's restart carries out the pending renames.
  EXPECT_EQ(RunProgram("wineboot.exe -r"), 0);
  EXPECT_EQ(Contents(a), "a version 2\r\n");
  EXPECT_EQ(Uninstall(), 0);
  ExpectAsBefore();
}

// Rights refused now are refused at the restart too: a file the system does not let the
// installer write is a failed action, named in the log with its error, and nothing waits for a
// restart. A file that a program has mapped is in use, and does.
TEST_F(Lifecycle, AFileRefusedForLackOfRightsFailsWhileAMappedOneWaitsForTheRestart) {
  ASSERT_EQ(Install("removable-v1"), 0);
  const std::string a = std::string(kFolder) + "\\a.txt";
  const std::string log = TempFolder() + "velmora-refused.log";
  {
    WriteRefused refused(a);
    if (!refused.Holds()) GTEST_SKIP() << "chattr cannot make a file immutable here";
    EXPECT_EQ(RunProgram("\"" + Package("removable-v1") + "\" /S /LOG=\"" + log + "\""), 3);
    EXPECT_NE(Contents(log).find("FAILED  File " + a + ": error 5, "), std::string::npos) << Contents(log);
    EXPECT_EQ(PendingRenames().find(a), std::string::npos) << "nothing waits for the restart";
    std::map<std::string, std::string> files;
    SnapshotFiles(kFolder, &files);
    for (const auto& file : files) EXPECT_EQ(file.first.find("\\vel"), std::string::npos) << file.first;
  }
  DeleteFileA(log.c_str());
  EXPECT_EQ(Contents(a), "a version 1\r\n");
  {
    MappedView view(a);
    ASSERT_TRUE(view.Valid());
    EXPECT_EQ(Install("removable-v2"), 3010);
    EXPECT_NE(PendingRenames().find(a), std::string::npos);
  }
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

// Killed while it writes a large file: the file is in the journal from its first byte, and the
// next run, of a version without that file, takes the journal's lines into its log.
TEST_F(Lifecycle, ARunKilledWhileWritingIsTakenOverByTheNextRun) {
  ChildProcess installer;
  ASSERT_TRUE(installer.Start("\"" + Package("removable-big") + "\""));
  const std::string journal = std::string(kFolder) + "\\Uninst.log.journal";
  const std::string big = std::string(kFolder) + "\\big\\big.bin";
  bool announced = false;
  for (DWORD start = GetTickCount(); !announced && GetTickCount() - start < 60000;)
    announced = Contents(journal).find("3 " + big + "\r\n") != std::string::npos;
  ASSERT_TRUE(announced) << Contents(journal);
  EXPECT_EQ(installer.Wait(0), -1000) << "killed while it wrote";
  ASSERT_EQ(Install("removable-v1"), 0);
  EXPECT_FALSE(Exists(journal));
  EXPECT_NE(Contents(std::string(kFolder) + "\\Uninst.log").find("3 " + big + "\r\n"), std::string::npos);
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

// A script moves the product into a folder that holds another product's log and an earlier
// log of this one: the record goes there at once, as it would have gone there at the start. It
// takes this product's slot, keeps the earlier log's lines, and its journal and registration
// move along, so that a run ending from here on leaves its journal where the registration looks.
TEST_F(Lifecycle, AScriptsFolderTakesItsSlotThereWithTheEarlierLogAndTheJournal) {
  const std::string folder = kFolder;
  const std::string first = "C:\\Program Files\\Velmora E2E Removable";
  const std::string other = folder + "\\other.txt", extra = folder + "\\extra.txt";
  const std::string otherLog = "Velmora E2E Other\r\n3 " + other + "\r\n";
  const std::string earlierLog = std::string(kProduct) + "\r\n3 " + extra + "\r\n";
  ASSERT_TRUE(CreateDirectoryA(kFolder, nullptr));
  ASSERT_TRUE(WriteFileBytes(other, {'o'}));
  ASSERT_TRUE(WriteFileBytes(extra, {'x'}));
  ASSERT_TRUE(WriteFileBytes(folder + "\\Uninst.log", std::vector<unsigned char>(otherLog.begin(), otherLog.end())));
  ASSERT_TRUE(WriteFileBytes(folder + "\\Uninst2.log", std::vector<unsigned char>(earlierLog.begin(), earlierLog.end())));
  const std::string release = WindowsPath(EnvironmentValue("VELMORA_ENGINE_PACKAGES")) + "\\moved-release.txt";
  DeleteFileA(release.c_str());

  ChildProcess installer;
  ASSERT_TRUE(installer.Start("\"" + Package("removable-moved-there") + "\""));
  const std::string journal = folder + "\\Uninst2.log.journal";
  bool moved = false;
  for (int i = 0; i < 600 && !moved; ++i, Sleep(50))
    moved = Contents(journal).find("3 " + folder + "\\a.txt\r\n") != std::string::npos;
  EXPECT_TRUE(moved) << Contents(journal);
  EXPECT_NE(Contents(journal).find("3 " + first + "\\sub\\c.txt\r\n"), std::string::npos) << Contents(journal);
  EXPECT_FALSE(Exists(first + "\\Uninst.log.journal"));
  EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kRegistration, "UninstallString"),
            "\"" + folder + "\\Uninst2.exe\" \"" + folder + "\\Uninst2.log\"");
  ASSERT_TRUE(WriteFileBytes(release, {'r'}));
  EXPECT_EQ(installer.Wait(kTimeoutMs), 0);
  DeleteFileA(release.c_str());

  EXPECT_EQ(Contents(folder + "\\Uninst.log"), otherLog) << "the other product's log stays as it was";
  EXPECT_FALSE(Exists(first + "\\uninst.exe"));
  std::string log = Contents(folder + "\\Uninst2.log");
  EXPECT_NE(log.find("3 " + extra + "\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("3 " + folder + "\\b.txt\r\n"), std::string::npos) << log;
  EXPECT_EQ(Uninstall(), 0);
  EXPECT_FALSE(Exists(first));
  std::map<std::string, std::string> left;
  SnapshotFiles(kFolder, &left);
  EXPECT_EQ(left, (std::map<std::string, std::string>{{other, "o"}, {folder + "\\Uninst.log", otherLog}}));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kRegistration));
}

TEST_F(Lifecycle, AnUninstallThatMeetsAFileInUseCanBeRunAgain) {
  ASSERT_EQ(Install("removable-v1"), 0);
  const std::string b = std::string(kFolder) + "\\b.txt";
  {
    HeldOpen held(b);
    ASSERT_TRUE(held.Valid());
    EXPECT_EQ(Uninstall(), 2);
    EXPECT_FALSE(Exists(std::string(kFolder) + "\\a.txt"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kRegistration)) << "still registered";
    EXPECT_EQ(Contents(std::string(kFolder) + "\\Uninst.log").find("Velmora E2E Removable\r\n3 " + b + "\r\n"), 0u);
    EXPECT_NE(PendingRenames().find(b), std::string::npos) << "the file also goes at the restart";
  }
  // Wine's restart deletes it; the second run finds it gone and ends the removal.
  EXPECT_EQ(RunProgram("wineboot.exe -r"), 0);
  EXPECT_FALSE(Exists(b));
  EXPECT_EQ(Uninstall(), 0);
  ExpectAsBefore();
}

// Installed beside another product, this one logged into Uninst2.log; that product's log has gone
// since, and this product's next run keeps to its own numbered log.
TEST_F(Lifecycle, AnUpgradeFindsItsOwnNumberedLogBeforeAFreeSlot) {
  ASSERT_TRUE(CreateDirectoryA(kFolder, nullptr));
  const std::string extra = std::string(kFolder) + "\\extra.txt";
  ASSERT_TRUE(WriteFileBytes(extra, {'x'}));
  const std::string numbered = std::string(kFolder) + "\\Uninst2.log";
  const std::string earlier = std::string(kProduct) + "\r\n3 " + extra + "\r\n2 " + kFolder + "\r\n";
  ASSERT_TRUE(WriteFileBytes(numbered, std::vector<unsigned char>(earlier.begin(), earlier.end())));
  ASSERT_EQ(Install("removable-v1"), 0);
  EXPECT_FALSE(Exists(std::string(kFolder) + "\\Uninst.log"));
  EXPECT_NE(Contents(numbered).find("3 " + extra + "\r\n"), std::string::npos) << Contents(numbered);
  EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kRegistration, "UninstallString"),
            "\"" + std::string(kFolder) + "\\Uninst2.exe\" \"" + numbered + "\"");
  EXPECT_EQ(Uninstall(), 0);
  ExpectAsBefore();
}

// A library that was in the system folder already is shared: it outlives the uninstall, and its
// count of users is back where it was. Without a count, it had one user before.
TEST_F(Lifecycle, ALibraryFoundInTheSystemFolderOutlivesTheUninstall) {
  const std::string dll = SharedLibrary();
  for (DWORD before : {3u, 0u}) {
    ASSERT_TRUE(WriteFileBytes(dll, {'o', 'l', 'd'}));
    if (before) SetSharedCount(dll, before);
    ASSERT_EQ(Install("shared-system"), 0) << before;
    EXPECT_EQ(Contents(dll), "shared");
    DWORD installed = (before ? before : 1) + 1;
    EXPECT_EQ(SharedCount(dll), std::string(reinterpret_cast<const char*>(&installed), 4)) << before;
    EXPECT_EQ(Uninstall(), 0) << before;
    EXPECT_TRUE(Exists(dll)) << before;
    DWORD left = installed - 1;
    EXPECT_EQ(SharedCount(dll), std::string(reinterpret_cast<const char*>(&left), 4)) << before;
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kSharedFiles, dll.c_str());
  }
  // Where the product put it first, it goes with the product.
  DeleteFileA(dll.c_str());
  ASSERT_EQ(Install("shared-system"), 0);
  EXPECT_EQ(SharedCount(dll), "<missing>");
  EXPECT_EQ(Uninstall(), 0);
  EXPECT_FALSE(Exists(dll));
  ExpectAsBefore();
}

// One product, one entry: a new version goes where the registered one is, and an install into
// another folder takes the earlier one's files over.
TEST_F(Lifecycle, AnInstallOverARegisteredOneUpgradesItInPlaceOrTakesItOver) {
  ASSERT_EQ(RunProgram("\"" + Package("removable-v1") + "\" /S /D=" + kElsewhere), 0);
  ASSERT_EQ(Install("removable-v2"), 0);
  EXPECT_EQ(Contents(std::string(kElsewhere) + "\\a.txt"), "a version 2\r\n");
  EXPECT_FALSE(Exists(kFolder)) << "the package's own folder is not used";
  ASSERT_EQ(RunProgram("\"" + Package("removable-v1") + "\" /S /D=" + kFolder), 0);
  EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kRegistration, "InstallLocation"), kFolder);
  EXPECT_NE(Contents(std::string(kFolder) + "\\Uninst.log").find(std::string(kElsewhere) + "\\a.txt\r\n"),
            std::string::npos);
  EXPECT_EQ(Uninstall(), 0);
  EXPECT_FALSE(Exists(kElsewhere)) << "nothing orphaned";
  ExpectAsBefore();
}

TEST_F(Lifecycle, AFileTheProgramWroteIntoItsFolderStaysWithItsFolderAlone) {
  ASSERT_EQ(Install("removable-v1"), 0);
  const std::string settings = std::string(kFolder) + "\\sub\\settings.ini";
  ASSERT_TRUE(WriteFileBytes(settings, {'s'}));
  EXPECT_EQ(Uninstall(), 0);
  std::map<std::string, std::string> left;
  SnapshotFiles(kFolder, &left);
  EXPECT_EQ(left, (std::map<std::string, std::string>{{std::string(kFolder) + "\\sub", "<folder>"}, {settings, "s"}}));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kRegistration));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kKey));
}

// Two products of one vendor share its key and folder; whichever goes last takes them.
TEST_F(Lifecycle, TwoProductsOfOneVendorGoInEitherOrderAndLeaveNothing) {
  const char* vendorKey = "Software\\Velmora E2E Vendor";
  const char* vendorFolder = "C:\\Velmora E2E Vendor";
  auto uninstall = [](const char* product) {
    std::string command = RegistryText(HKEY_LOCAL_MACHINE, std::string(kProducts) + product, "UninstallString");
    return command.empty() || command == "<missing>" ? -2 : RunProgram(command + " /S");
  };
  for (bool firstGoesFirst : {true, false}) {
    ASSERT_EQ(Install("vendor-a"), 0);
    // The details A's package wrote itself stand; the run's end added the others.
    const std::string a = std::string(kProducts) + "Velmora E2E Vendor A";
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, a, "DisplayIcon"), "C:\\Velmora E2E Vendor\\A\\a.txt");
    EXPECT_EQ(RegistryValue(HKEY_LOCAL_MACHINE, a, "NoModify").second, std::string(4, '\0'));
    EXPECT_EQ(RegistryValue(HKEY_LOCAL_MACHINE, a, "NoRepair").second, std::string("\1\0\0\0", 4));
    ASSERT_EQ(Install("vendor-b"), 0);
    EXPECT_EQ(SharedCount(SharedFolder() + "\\b.txt"), std::string("\2\0\0\0", 4)) << "B found A's file";
    EXPECT_EQ(uninstall(firstGoesFirst ? "Velmora E2E Vendor A" : "Velmora E2E Vendor B"), 0) << firstGoesFirst;
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, std::string(vendorKey) + (firstGoesFirst ? "\\B" : "\\A")));
    EXPECT_EQ(Contents(SharedFolder() + "\\b.txt"), "b version 1\r\n") << "the other still uses it";
    EXPECT_EQ(SharedCount(SharedFolder() + "\\b.txt"), std::string("\1\0\0\0", 4));
    EXPECT_EQ(uninstall(firstGoesFirst ? "Velmora E2E Vendor B" : "Velmora E2E Vendor A"), 0) << firstGoesFirst;
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, vendorKey)) << firstGoesFirst;
    EXPECT_FALSE(Exists(vendorFolder)) << firstGoesFirst;
    EXPECT_FALSE(Exists(SharedFolder())) << firstGoesFirst;
    EXPECT_EQ(SharedCount(SharedFolder() + "\\b.txt"), "<missing>") << firstGoesFirst;
    EXPECT_EQ(uninstall("Velmora E2E Vendor A"), -2) << "no longer registered";
    EXPECT_EQ(uninstall("Velmora E2E Vendor B"), -2) << "no longer registered";
    Clean();
  }
}

}  // namespace
