// The installer and its uninstaller started the way deployment tools start them: with switches,
// watched for windows, judged by their exit codes and their logs, and the product looked up in
// the list of installed programs.
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "InstallChecks.h"

namespace {

const char kProduct[] = "Velmora Deploy";
const char kDefaultFolder[] = "C:\\Velmora Deploy";
const char kSomeFolder[] = "C:\\Some Folder";
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velmora Deploy";
const char kSettingsKey[] = "Software\\Velmora Deploy";
const int kExitCancelled = 2, kExitBadCommandLine = 87;

std::string PackageDir() { return WindowsPath(EnvironmentValue("VELMORA_DEPLOYMENT_PACKAGES")); }
std::string Installer(const char* name) { return "\"" + PackageDir() + "\\" + name + "\""; }

std::string Text(HKEY root, const std::string& key, const char* name) {
  std::string value = RegistryValue(root, key, name).second;
  size_t zero = value.find('\0');
  return zero == std::string::npos ? value : value.substr(0, zero);
}

DWORD Number(const std::string& key, const char* name) {
  RegistryData data = RegistryValue(HKEY_LOCAL_MACHINE, key, name);
  DWORD value = 0xFFFFFFFF;
  if (data.first == REG_DWORD && data.second.size() == 4) memcpy(&value, data.second.data(), 4);
  return value;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

// The log's lines without their "hh:mm:ss " stamps; the file is UTF-8, marked as such.
std::vector<std::string> LogEntries(const std::string& path) {
  std::vector<std::string> entries;
  std::string text = Contents(path);
  if (text.compare(0, 3, "\xEF\xBB\xBF") != 0) return {"<no byte-order mark>"};
  for (const std::string& line : Lines(text.substr(3))) entries.push_back(line.size() > 9 ? line.substr(9) : line);
  return entries;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  for (const std::string& l : lines)
    if (l == line) return true;
  return false;
}

// Polls for a file that another process finishes writing; false after 30 s.
bool WaitUntilEndsWith(const std::string& path, const std::string& end) {
  for (DWORD start = GetTickCount(); GetTickCount() - start < 30000; Sleep(20)) {
    std::string text = Contents(path);
    if (text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0) return true;
  }
  return false;
}

// The system's own text for an error, as the log gives it.
std::string SystemText(DWORD error) {
  char buffer[512] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, buffer,
                           sizeof(buffer), nullptr);
  std::string text(buffer, n);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

struct Watch {
  std::vector<DWORD> ids;
  bool shown;
};

// Notes a visible window of the watched processes, and closes it, so that a run that shows a
// message still ends.
BOOL CALLBACK NoteVisibleWindow(HWND window, LPARAM param) {
  Watch* watch = reinterpret_cast<Watch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  for (DWORD id : watch->ids) {
    if (id != owner || !IsWindowVisible(window)) continue;
    watch->shown = true;
    PostMessageA(window, WM_CLOSE, 0, 0);
  }
  return TRUE;
}

struct Watched {
  long exitCode = -1000;  // -1000: it did not end in time
  bool windowShown = false;
  size_t mostProcesses = 0;  // running at the same time
};

// Of the processes known, and those they started (added to known), the ones still running. A
// process started by one that has ended already is found through the one that ended.
std::vector<DWORD> RunningTree(std::vector<DWORD>* known) {
  std::vector<DWORD> running;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return running;
  std::vector<PROCESSENTRY32> all;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) all.push_back(entry);
  CloseHandle(snapshot);
  auto isKnown = [known](DWORD id) { return std::find(known->begin(), known->end(), id) != known->end(); };
  for (size_t i = 0; i < known->size(); ++i)
    for (const PROCESSENTRY32& p : all)
      if (p.th32ParentProcessID == (*known)[i] && !isKnown(p.th32ProcessID)) known->push_back(p.th32ProcessID);
  for (const PROCESSENTRY32& p : all)
    if (isKnown(p.th32ProcessID)) running.push_back(p.th32ProcessID);
  return running;
}

// Runs a command line and watches it and every process it starts (the uninstaller's copy of
// itself too) for windows until all of them have ended.
Watched RunWatched(const std::string& commandLine) {
  Watched result;
  ChildProcess process;
  if (!process.Start(commandLine)) {
    ADD_FAILURE() << "cannot start " << commandLine;
    return result;
  }
  std::vector<DWORD> known = {process.Id()};
  for (DWORD start = GetTickCount(); GetTickCount() - start < 60000; Sleep(10)) {
    Watch watch = {RunningTree(&known), false};
    result.mostProcesses = std::max(result.mostProcesses, watch.ids.size());
    EnumWindows(NoteVisibleWindow, reinterpret_cast<LPARAM>(&watch));
    result.windowShown = result.windowShown || watch.shown;
    if (watch.ids.empty()) break;
  }
  result.exitCode = process.Wait(0);
  return result;
}

// What the program writes to its standard output.
std::string Output(const std::string& commandLine) {
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  if (!CreatePipe(&read, &write, &inheritable, 0)) return "<no pipe>";
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write;
  startup.hStdError = write;
  PROCESS_INFORMATION info = {};
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back(0);
  BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info);
  CloseHandle(write);
  std::string output;
  char buffer[4096];
  DWORD n = 0;
  while (started && ReadFile(read, buffer, sizeof(buffer), &n, nullptr) && n) output.append(buffer, n);
  CloseHandle(read);
  if (!started) return "<not started>";
  WaitForSingleObject(info.hProcess, 30000);
  CloseHandle(info.hProcess);
  CloseHandle(info.hThread);
  return output;
}

// Everything the product may leave: both folders, its settings and its registration.
class Deployment : public ::testing::Test {
 protected:
  void SetUp() override { CleanUp(); }
  void TearDown() override { CleanUp(); }
  static void CleanUp() {
    DeleteTree(kDefaultFolder);
    DeleteTree(kSomeFolder);
    DeleteTree(LogPath());
    RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kUninstallKey);
  }
  static std::string LogPath() { return TempFolder() + "velmora deploy.log"; }
  static bool NothingInstalled() {
    return !Exists(kDefaultFolder) && !Exists(kSomeFolder) && !KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey) &&
           !KeyExists(HKEY_CURRENT_USER, kSettingsKey);
  }
};

TEST_F(Deployment, SilentInstallIntoAFolderWithBlanksRegistersEveryDetailAndRemovesSilently) {
  // /D comes last and takes the rest of the line, blanks included; it applies although the
  // package does not let the user change the folder.
  Watched install = RunWatched(Installer("deploy.exe") + " /S /D=C:\\Some Folder");
  ASSERT_EQ(install.exitCode, 0);
  EXPECT_FALSE(install.windowShown);
  EXPECT_FALSE(Exists(kDefaultFolder));
  // The package's choice of components: Core and the hidden one that is selected.
  EXPECT_EQ(Contents(std::string(kSomeFolder) + "\\core.bin"), std::string(5632, 'c'));
  EXPECT_TRUE(Exists(std::string(kSomeFolder) + "\\hidden.txt"));
  EXPECT_FALSE(Exists(std::string(kSomeFolder) + "\\docs.txt"));
  EXPECT_FALSE(Exists(std::string(kSomeFolder) + "\\never.txt"));
  EXPECT_EQ(Text(HKEY_CURRENT_USER, kSettingsKey, "Path"), kSomeFolder);
  EXPECT_EQ(RegistryValue(HKEY_CURRENT_USER, kSettingsKey, "Answer").second, std::string("\x07\0\0\0", 4))
      << "the script's message box answered with its default button, No";

  const std::string key = kUninstallKey;
  const std::string folder = kSomeFolder;
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, key, "DisplayName"), kProduct);
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, key, "UninstallString"),
            "\"" + folder + "\\Uninst.exe\" \"" + folder + "\\Uninst.log\"");
  std::string quiet = Text(HKEY_LOCAL_MACHINE, key, "QuietUninstallString");
  EXPECT_EQ(quiet, "\"" + folder + "\\Uninst.exe\" \"" + folder + "\\Uninst.log\" /S");
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, key, "DisplayVersion"), "4.2");
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, key, "Publisher"), "Velmora Tests");
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, key, "InstallLocation"), folder);
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, key, "DisplayIcon"), folder + "\\core.bin,0");
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, key, "URLInfoAbout"), "https://velmora.example/deploy");
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, key, "HelpLink"), "https://velmora.example/deploy/help");
  EXPECT_EQ(RegistryValue(HKEY_LOCAL_MACHINE, key, "QuietUninstallString").first, DWORD(REG_SZ));
  // 5 KB of core.bin, 0 of hidden.txt, and the uninstaller, each counted in whole kilobytes.
  std::vector<unsigned char> uninstaller;
  ASSERT_TRUE(ReadFileBytes(folder + "\\uninst.exe", &uninstaller));
  EXPECT_EQ(Number(key, "EstimatedSize"), 5 + uninstaller.size() / 1024);
  EXPECT_EQ(Number(key, "NoModify"), 1u);
  EXPECT_EQ(Number(key, "NoRepair"), 1u);
  SYSTEMTIME today;
  GetLocalTime(&today);
  char date[16];
  snprintf(date, sizeof(date), "%04u%02u%02u", today.wYear, today.wMonth, today.wDay);
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, key, "InstallDate"), date);

  // Every value is in the uninstall log, so that the uninstaller removes it.
  std::string log = Contents(folder + "\\Uninst.log");
  for (const char* name : {"DisplayVersion", "Publisher", "InstallLocation", "DisplayIcon", "EstimatedSize",
                           "InstallDate", "NoModify", "NoRepair", "URLInfoAbout", "HelpLink", "QuietUninstallString"})
    EXPECT_NE(log.find("6 HKLM\\" + key + "\\" + name + "\r\n"), std::string::npos) << name;

  // Wine's own list of installed programs shows the product.
  EXPECT_NE(Output("uninstaller.exe --list").find(kProduct), std::string::npos);

  // The quiet command, run as written, removes everything and shows nothing, neither itself nor
  // the copy of itself it has do the work.
  Watched removal = RunWatched(quiet);
  EXPECT_EQ(removal.exitCode, 0);
  EXPECT_FALSE(removal.windowShown);
  EXPECT_EQ(removal.mostProcesses, 2u);
  EXPECT_TRUE(NothingInstalled());
  EXPECT_EQ(Output("uninstaller.exe --list").find(kProduct), std::string::npos);
}

TEST_F(Deployment, ComponentsSwitchAndLogSayWhatWasDone) {
  std::string log = LogPath();
  ChildProcess installer;
  ASSERT_TRUE(installer.Start(Installer("deploy.exe") + " -s /components=\"program DOCUMENTS\" /LOG=\"" + log + "\""));
  ASSERT_EQ(installer.Wait(60000), 0);
  // Only the listed component named; the hidden ones keep their selection.
  const std::string folder = kDefaultFolder;
  EXPECT_FALSE(Exists(folder + "\\core.bin"));
  EXPECT_TRUE(Exists(folder + "\\docs.txt"));
  EXPECT_TRUE(Exists(folder + "\\hidden.txt"));
  EXPECT_FALSE(Exists(folder + "\\never.txt"));

  std::vector<std::string> entries = LogEntries(log);
  ASSERT_GE(entries.size(), 3u) << Contents(log);
  EXPECT_EQ(entries[0], "Install log of Velmora Deploy 4.2");
  EXPECT_NE(entries[1].find("/components=\"program DOCUMENTS\""), std::string::npos) << entries[1];
  for (const std::string& done : {"File " + folder + "\\docs.txt", "File " + folder + "\\hidden.txt",
                                  "File " + folder + "\\uninst.exe", "File " + folder + "\\Uninst.log",
                                  "Registry value HKLM\\" + std::string(kUninstallKey) + "\\QuietUninstallString"})
    EXPECT_TRUE(Contains(entries, "ok      " + done)) << done << "\n" << Contents(log);
  EXPECT_EQ(entries.back(), "Exit code 0");
  // Every line is stamped with the time of day.
  for (const std::string& line : Lines(Contents(log).substr(3)))
    EXPECT_TRUE(line.size() > 9 && line[2] == ':' && line[5] == ':' && line[8] == ' ') << line;

  // The uninstaller writes its own log of what it removed.
  std::string uninstall = Text(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString");
  ChildProcess uninstaller;
  ASSERT_TRUE(uninstaller.Start(uninstall + " /S /LOG=\"" + log + "\""));
  ASSERT_EQ(uninstaller.Wait(60000), 0);
  // Its copy, which did the work, may still be closing the log.
  ASSERT_TRUE(WaitUntilEndsWith(log, "Exit code 0\r\n"));
  entries = LogEntries(log);
  EXPECT_EQ(entries[0], "Uninstall log of " + folder + "\\Uninst.log");
  for (const std::string& done : {"Remove file " + folder + "\\docs.txt", "Remove folder " + folder,
                                  "Remove registry key HKLM\\" + std::string(kUninstallKey)})
    EXPECT_TRUE(Contains(entries, "ok      " + done)) << done << "\n" << Contents(log);
  EXPECT_TRUE(NothingInstalled());
}

TEST_F(Deployment, AFailedActionIsLoggedWithItsErrorCodeAndTheSystemsText) {
  // A folder where the file should go: the file cannot be created there.
  ASSERT_TRUE(CreateDirectoryA(kDefaultFolder, nullptr));
  ASSERT_TRUE(CreateDirectoryA((std::string(kDefaultFolder) + "\\core.bin").c_str(), nullptr));
  std::string log = LogPath();
  ChildProcess installer;
  ASSERT_TRUE(installer.Start(Installer("deploy.exe") + " /S /LOG=\"" + log + "\""));
  long code = installer.Wait(60000);
  std::vector<std::string> entries = LogEntries(log);
  std::string failed = "FAILED  File " + std::string(kDefaultFolder) + "\\core.bin: error 5, " +
                       SystemText(ERROR_ACCESS_DENIED);
  EXPECT_TRUE(Contains(entries, failed)) << failed << "\n" << Contents(log);
  EXPECT_TRUE(Contains(entries, "ok      File " + std::string(kDefaultFolder) + "\\hidden.txt"));
  EXPECT_TRUE(Contains(entries, "Message (Velmora Deploy): Core is in place.")) << Contents(log);
  ASSERT_FALSE(entries.empty());
  EXPECT_EQ(entries.back(), "Exit code " + std::to_string(code));
}

TEST_F(Deployment, ABadCommandLineIsNamedAndInstallsNothing) {
  struct Case {
    const char* arguments;
    const char* named;
  } cases[] = {
      {"/SILENT", "/SILENT"},
      {"/LANG=1031 /COMPONENTS=Core,Extras", "\"Extras\""},
      {"/LANG=1050", "1050"},
      {"/D=Some Folder", "/D=Some Folder"},
  };
  for (const Case& c : cases) {
    ChildProcess installer;
    ASSERT_TRUE(installer.Start(Installer("deploy.exe") + " " + c.arguments));
    HWND box = installer.FindDialog(kProduct, 30000);
    ASSERT_NE(box, nullptr) << c.arguments;
    std::string text = WindowText(GetDlgItem(box, 0xFFFF));
    EXPECT_NE(text.find(c.named), std::string::npos) << text;
    EXPECT_NE(text.find("/COMPONENTS=NAME,NAME"), std::string::npos) << "the switches are listed";
    SendMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    EXPECT_EQ(installer.Wait(30000), kExitBadCommandLine) << c.arguments;
    EXPECT_TRUE(NothingInstalled()) << c.arguments;
  }
  // Under /S, wherever it stands, nothing is shown; the log tells why. (Without it, the watch
  // sees the message.)
  Watched shown = RunWatched(Installer("deploy.exe") + " /unknown");
  EXPECT_EQ(shown.exitCode, kExitBadCommandLine);
  EXPECT_TRUE(shown.windowShown);
  std::string log = LogPath();
  Watched silent = RunWatched(Installer("deploy.exe") + " /LOG=\"" + log + "\" /COMPONENTS=Hidden /S");
  EXPECT_EQ(silent.exitCode, kExitBadCommandLine);
  EXPECT_FALSE(silent.windowShown);
  std::vector<std::string> entries = LogEntries(log);
  EXPECT_TRUE(Contains(entries, "No component that the installer lists is named \"Hidden\" (/COMPONENTS=)."))
      << Contents(log);
  EXPECT_EQ(entries.empty() ? "" : entries.back(), "Exit code 87");
  silent = RunWatched(Installer("deploy.exe") + " /S /unknown");
  EXPECT_EQ(silent.exitCode, kExitBadCommandLine);
  EXPECT_FALSE(silent.windowShown);
  DeleteTree(log);
  EXPECT_TRUE(NothingInstalled());
}

// Deployment tools that build the line from a list quote an argument with blanks whole.
TEST_F(Deployment, AQuotedDestinationIsTakenWholeOrInItsPath) {
  for (const char* arguments : {" \"/D=C:\\Some Folder\" /S", " /D=\"C:\\Some Folder\\\\\" /S"}) {
    Watched install = RunWatched(Installer("deploy.exe") + arguments);
    ASSERT_EQ(install.exitCode, 0) << arguments;
    EXPECT_FALSE(install.windowShown) << arguments;
    EXPECT_TRUE(Exists(std::string(kSomeFolder) + "\\core.bin")) << arguments;
    EXPECT_FALSE(Exists(kDefaultFolder)) << arguments;
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallLocation"), kSomeFolder) << arguments;
    EXPECT_EQ(RunWatched(Text(HKEY_LOCAL_MACHINE, kUninstallKey, "QuietUninstallString")).exitCode, 0);
    EXPECT_TRUE(NothingInstalled()) << arguments;
  }
}

// The command line is read before the package: a broken download started with /S shows nothing.
TEST_F(Deployment, ADamagedInstallerUnderSilentExitsOneWithoutAWindow) {
  std::string log = LogPath();
  Watched silent = RunWatched(Installer("deploy-damaged.exe") + " /S /LOG=\"" + log + "\"");
  EXPECT_EQ(silent.exitCode, 1);
  EXPECT_FALSE(silent.windowShown);
  std::vector<std::string> entries = LogEntries(log);
  EXPECT_TRUE(Contains(entries, "This Velmora package is corrupted: installation cannot continue.")) << Contents(log);
  EXPECT_EQ(entries.empty() ? "" : entries.back(), "Exit code 1");
  Watched shown = RunWatched(Installer("deploy-damaged.exe"));
  EXPECT_EQ(shown.exitCode, 1);
  EXPECT_TRUE(shown.windowShown) << "without /S the corruption message shows";
  EXPECT_TRUE(NothingInstalled());
}

// A folder too long for the uninstaller to be started from would leave a product that cannot be
// removed: like a relative one it is a bad value, refused before anything is installed, and
// under /S only the log says so.
TEST_F(Deployment, AnOverLongDestinationUnderSilentIsRefusedWithoutAWindow) {
  std::string folder = kSomeFolder;
  for (char c : {'a', 'b', 'c'}) folder += "\\" + std::string(95, c);
  std::string log = LogPath();
  Watched silent = RunWatched(Installer("deploy.exe") + " /S /LOG=\"" + log + "\" /D=" + folder);
  EXPECT_EQ(silent.exitCode, kExitBadCommandLine);
  EXPECT_FALSE(silent.windowShown);
  std::vector<std::string> entries = LogEntries(log);
  EXPECT_TRUE(Contains(entries, "The folder is too long to install into: /D=" + folder)) << Contents(log);
  EXPECT_EQ(entries.empty() ? "" : entries.back(), "Exit code 87");
  EXPECT_TRUE(NothingInstalled());
}

// /PASSIVE shows the progress, but no message waits for a click: a script's message goes to the
// log, and its default button answers, as under /S.
TEST_F(Deployment, UnderPassiveAScriptsMessageWaitsForNoClick) {
  std::string log = LogPath();
  ChildProcess installer;
  ASSERT_TRUE(installer.Start(Installer("deploy.exe") + " /PASSIVE /LOG=\"" + log + "\""));
  HWND box = installer.FindDialog(kProduct, 30000);
  if (box) PostMessageA(GetDlgItem(box, IDYES), BM_CLICK, 0, 0);
  EXPECT_EQ(box, nullptr) << "the message waited for a click";
  EXPECT_EQ(installer.Wait(60000), 0);
  EXPECT_EQ(RegistryValue(HKEY_CURRENT_USER, kSettingsKey, "Answer").second, std::string("\x07\0\0\0", 4));
  EXPECT_TRUE(Contains(LogEntries(log), "Message (Velmora Deploy): Core is in place.")) << Contents(log);
  EXPECT_EQ(RunWatched(Text(HKEY_LOCAL_MACHINE, kUninstallKey, "QuietUninstallString")).exitCode, 0);
  EXPECT_TRUE(NothingInstalled());
}

TEST_F(Deployment, HelpListsTheSwitchesAndExitsZero) {
  ChildProcess installer;
  ASSERT_TRUE(installer.Start(Installer("deploy.exe") + " /?"));
  HWND box = installer.FindDialog(kProduct, 30000);
  ASSERT_NE(box, nullptr);
  std::string text = WindowText(GetDlgItem(box, 0xFFFF));
  for (const char* item : {"/S", "/D=PATH", "/COMPONENTS=NAME,NAME", "/LANG=ID", "/LOG=FILE", "87 bad command line"})
    EXPECT_NE(text.find(item), std::string::npos) << item;
  SendMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
  EXPECT_EQ(installer.Wait(30000), 0);
  EXPECT_TRUE(NothingInstalled());
}

TEST_F(Deployment, WizardStartsWithTheSwitchesChoicesAndCancelExitsTwo) {
  ChildProcess installer;
  ASSERT_TRUE(installer.Start(Installer("deploy.exe") +
                              " /LANG=1031 /COMPONENTS=Core,\"Program documents\" /D=C:\\Some Folder"));
  HWND wizard = installer.FindDialog("Velmora Deploy 4.2 - Velmora Tests", 30000);
  ASSERT_NE(wizard, nullptr);
  EXPECT_EQ(WindowText(GetDlgItem(wizard, IDCANCEL)), "Abbrechen");
  // The fixed folder shows the one given; both listed components are ticked.
  EXPECT_EQ(WindowText(GetDlgItem(wizard, 207)), kSomeFolder);
  HWND list = GetDlgItem(wizard, 225);
  ASSERT_EQ(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0), 2);
  for (int item : {0, 1})
    EXPECT_EQ(SendMessageA(list, LVM_GETITEMSTATE, WPARAM(item), LVIS_STATEIMAGEMASK) >> 12, 2) << item;
  SendMessageA(GetDlgItem(wizard, IDCANCEL), BM_CLICK, 0, 0);
  EXPECT_EQ(installer.Wait(30000), kExitCancelled);
  EXPECT_TRUE(NothingInstalled());
}

TEST_F(Deployment, APackageWithoutTheBitIgnoresItsCommandLine) {
  ChildProcess installer;
  ASSERT_TRUE(installer.Start(Installer("deploy-plain.exe") + " /S /D=C:\\Some Folder /LANG=1031"));
  HWND wizard = installer.FindDialog("Velmora Deploy 4.2 - Velmora Tests", 30000);
  ASSERT_NE(wizard, nullptr) << "the wizard opens as without switches";
  EXPECT_EQ(WindowText(GetDlgItem(wizard, 207)), kDefaultFolder);
  EXPECT_EQ(WindowText(GetDlgItem(wizard, IDCANCEL)), "Cancel");
  SendMessageA(GetDlgItem(wizard, IDCANCEL), BM_CLICK, 0, 0);
  EXPECT_EQ(installer.Wait(30000), kExitCancelled) << "a cancelled wizard is no success, in every package";
  EXPECT_TRUE(NothingInstalled());
}

}  // namespace
