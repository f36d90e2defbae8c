// A product whose every name is outside the ANSI code page, installed unattended into a folder
// named in two scripts and removed again; and a product in the ANSI code page, whose log keeps
// the layout older uninstallers read.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ChildProcess.h"
#include "InstallChecks.h"

namespace {

const char kProduct[] = "Программа ソフト Ελληνικά برنامج";
const char kFolder[] = "C:\\Programme\\Jürgen 田中";
const char kSettingsKey[] = "Software\\Программа";
const char kService[] = "ВелмораСлужба";
const char kByteOrderMark[] = "\xEF\xBB\xBF";

std::wstring Wide(const std::string& utf8) {
  std::wstring wide(utf8.size(), L'\0');
  wide.resize(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &wide[0], int(wide.size())));
  return wide;
}

std::string Utf8(const std::wstring& wide) {
  std::string utf8(wide.size() * 4, '\0');
  utf8.resize(WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), &utf8[0], int(utf8.size()), nullptr,
                                  nullptr));
  return utf8;
}

std::string UninstallKey() { return std::string("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + kProduct; }

// A program started with a command line as it stands (the /D= switch takes the rest of it,
// blanks and all).
class Process {
 public:
  explicit Process(const std::string& commandLine) {
    std::wstring line = Wide(commandLine);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info_))
      info_ = {};
  }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  ~Process() {
    if (!info_.hProcess) return;
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(info_.hProcess, 999);
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
  }
  // The exit code; -1 when the program could not be started, 999 when it did not end in time.
  long Wait() {
    if (!info_.hProcess) return -1;
    DWORD code = 999;
    if (WaitForSingleObject(info_.hProcess, 120000) == WAIT_OBJECT_0) GetExitCodeProcess(info_.hProcess, &code);
    return long(code);
  }

 private:
  PROCESS_INFORMATION info_ = {};
};

long RunLine(const std::string& commandLine) { return Process(commandLine).Wait(); }

bool FileExists(const std::string& path) { return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string FileText(const std::string& path) {
  HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string text(1 << 16, '\0');
  DWORD read = 0;
  ReadFile(file, &text[0], DWORD(text.size()), &read, nullptr);
  CloseHandle(file);
  text.resize(read);
  return text;
}

// A string value read through the wide functions, in UTF-8; "<missing>" when there is none.
std::string RegistryText(HKEY root, const std::string& key, const std::string& name) {
  wchar_t value[1024] = {};
  DWORD size = sizeof(value) - sizeof(wchar_t);
  if (RegGetValueW(root, Wide(key).c_str(), Wide(name).c_str(), RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
    return "<missing>";
  return Utf8(value);
}

bool HasKey(HKEY root, const std::string& key) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(root, Wide(key).c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
  RegCloseKey(opened);
  return true;
}

// The target as the link's item list names it, and its description.
std::string LinkTarget(const std::string& file, std::string* description) {
  std::string target = "<unreadable>";
  IShellLinkW* link = nullptr;
  IPersistFile* persist = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&link))) &&
      SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
      SUCCEEDED(persist->Load(Wide(file).c_str(), STGM_READ))) {
    wchar_t text[MAX_PATH] = {};
    LPITEMIDLIST items = nullptr;
    if (SUCCEEDED(link->GetIDList(&items)) && items && SHGetPathFromIDListW(items, text)) target = Utf8(text);
    CoTaskMemFree(items);
    if (SUCCEEDED(link->GetDescription(text, MAX_PATH))) *description = Utf8(text);
  }
  if (persist) persist->Release();
  if (link) link->Release();
  return target;
}

void RemoveFolder(const std::string& path) {
  std::wstring from = Wide(path);
  from.push_back(L'\0');
  SHFILEOPSTRUCTW op = {};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
  SHFileOperationW(&op);
}

// The number a registration value holds; -1 when there is none.
long RegistryNumber(HKEY root, const std::string& key, const char* name) {
  DWORD value = 0, size = sizeof(value);
  if (RegGetValueW(root, Wide(key).c_str(), Wide(name).c_str(), RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS)
    return -1;
  return long(value);
}

// Answers a box with the button and waits until it has gone.
void Answer(HWND box, int button) {
  SendMessageW(GetDlgItem(box, button), BM_CLICK, 0, 0);
  for (int i = 0; i < 300 && IsWindow(box); ++i) Sleep(50);
}

std::string Installer(const char* name) { return "\"" + WindowsPath(EnvironmentValue("VELMORA_UNICODE_PACKAGES")) + "\\" + name + "\""; }

class UnicodeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitialize(nullptr);
    Clean();
  }
  void TearDown() override {
    Clean();
    CoUninitialize();
  }
  void Clean() {
    RemoveFolder("C:\\Programme");
    RemoveFolder("C:\\Café Müller");
    DeleteFileW(L"C:\\unicode-install.log");
    RegDeleteTreeW(HKEY_CURRENT_USER, Wide(kSettingsKey).c_str());
    RegDeleteTreeW(HKEY_CURRENT_USER, Wide("Software\\Café Müller").c_str());
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, Wide(UninstallKey()).c_str());
    RegDeleteTreeW(HKEY_LOCAL_MACHINE,
                   Wide("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Café Müller").c_str());
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (SC_HANDLE service = manager ? OpenServiceW(manager, Wide(kService).c_str(), DELETE) : nullptr) {
      DeleteService(service);
      CloseServiceHandle(service);
    }
    if (manager) CloseServiceHandle(manager);
  }
};

TEST_F(UnicodeTest, EveryNameArrivesWholeAndTheProductIsRemovedWhole) {
  std::string folder = kFolder;
  ASSERT_EQ(RunLine(Installer("unicode.exe") + " /S /LOG=C:\\unicode-install.log /D=" + folder), 0);

  // Files and folders in four scripts, and a name outside the Basic Multilingual Plane.
  EXPECT_EQ(FileText(folder + "\\Документы\\読んでください.txt"), "Japanese\r\n");
  EXPECT_EQ(FileText(folder + "\\Φάκελος\\Αρχείο.txt"), "Greek\r\n");
  EXPECT_EQ(FileText(folder + "\\ملف.txt"), "Arabic\r\n");
  EXPECT_EQ(FileText(folder + "\\😀 smile.txt"), "Emoji\r\n");
  // Registry key, value names and data; ${ProductPath} expanded inside a Unicode text.
  std::string settings = std::string(kSettingsKey) + "\\ソフト";
  EXPECT_EQ(RegistryText(HKEY_CURRENT_USER, settings, "Πόλη"), "Zürich → 東京");
  EXPECT_EQ(RegistryText(HKEY_CURRENT_USER, settings, "مسار"), folder);
  std::string description;
  EXPECT_EQ(LinkTarget(folder + "\\ショートカット.lnk", &description), folder + "\\Документы\\読んでください.txt");
  EXPECT_EQ(description, "Ελληνικά");
  std::string serviceKey = std::string("System\\CurrentControlSet\\Services\\") + kService;
  EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, serviceKey, "DisplayName"), "サービス Ελληνικά");
  EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, serviceKey, "ImagePath"), "\"" + folder + "\\خدمة.exe\"");
  // The list of installed programs shows the product by its own name.
  EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, UninstallKey(), "DisplayName"), kProduct);
  EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, UninstallKey(), "Publisher"), "Jürgen 田中");

  // Both logs are UTF-8, marked as such.
  std::string log = FileText(folder + "\\Uninst.log");
  EXPECT_EQ(log.compare(0, 3 + strlen(kProduct) + 2, kByteOrderMark + std::string(kProduct) + "\r\n"), 0) << log;
  EXPECT_NE(log.find("\r\n3 " + folder + "\\😀 smile.txt\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("\r\n8 ВелмораСлужба\r\n"), std::string::npos) << log;
  std::string report = FileText("C:\\unicode-install.log");
  EXPECT_EQ(report.compare(0, 3, kByteOrderMark), 0);
  EXPECT_NE(report.find(std::string("Install log of ") + kProduct + " 1.0"), std::string::npos) << report;
  EXPECT_NE(report.find("ok      File " + folder + "\\Φάκελος\\Αρχείο.txt"), std::string::npos) << report;

  std::string quiet = RegistryText(HKEY_LOCAL_MACHINE, UninstallKey(), "QuietUninstallString");
  ASSERT_EQ(RunLine(quiet), 0) << quiet;
  EXPECT_FALSE(FileExists(folder));
  EXPECT_FALSE(FileExists("C:\\Programme")) << "the install made it, so the removal takes it";
  EXPECT_FALSE(HasKey(HKEY_CURRENT_USER, kSettingsKey));
  EXPECT_FALSE(HasKey(HKEY_LOCAL_MACHINE, serviceKey));
  EXPECT_FALSE(HasKey(HKEY_LOCAL_MACHINE, UninstallKey()));
}

TEST_F(UnicodeTest, AnAnsiPackageKeepsTheLogOlderUninstallersRead) {
  ASSERT_EQ(RunLine(Installer("unicode-ansi.exe")), 0);
  EXPECT_EQ(FileText("C:\\Café Müller\\Gemüse.txt"), "ANSI\r\n");
  EXPECT_EQ(RegistryText(HKEY_CURRENT_USER, "Software\\Café Müller", "Straße"), "Zürich");
  // The system's ANSI code page (Windows-1252 here), no byte-order mark.
  std::string log = FileText("C:\\Café Müller\\Uninst.log");
  EXPECT_EQ(log.compare(0, 13, "Caf\xE9 M\xFCller\r\n"), 0) << log;
  EXPECT_NE(log.find("\r\n3 C:\\Caf\xE9 M\xFCller\\Gem\xFCse.txt\r\n"), std::string::npos) << log;

  ASSERT_EQ(RunLine("\"C:\\Café Müller\\uninst.exe\" \"C:\\Café Müller\\Uninst.log\" /S"), 0);
  EXPECT_FALSE(FileExists("C:\\Café Müller"));
  EXPECT_FALSE(HasKey(HKEY_CURRENT_USER, "Software\\Café Müller"));
}

// The install's language is recorded with the registration, and the uninstaller asks and answers in
// it: in Japanese, and in Arabic, read from the right in a mirrored box.
TEST_F(UnicodeTest, TheUninstallerSpeaksTheLanguageTheProductWasInstalledIn) {
  std::string folder = kFolder;
  std::string uninstall = "\"" + folder + "\\Uninst.exe\" \"" + folder + "\\Uninst.log\"";
  ASSERT_EQ(RunLine(Installer("unicode.exe") + " /LANG=1041 /S /D=" + folder), 0);
  EXPECT_EQ(RegistryNumber(HKEY_LOCAL_MACHINE, UninstallKey(), "Language"), 1041);
  {
    Process uninstaller(uninstall);
    HWND box = FindDialogAnywhere(kProduct + std::string(" のアンインストール"), 30000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(WindowTextUtf8(GetDlgItem(box, 0xFFFF)),
              "Удаление ソフト\r\n\r\n" + std::string(kProduct) + " とそのすべてのコンポーネントを削除しますか?");
    EXPECT_FALSE(GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_LAYOUTRTL);
    Answer(box, IDNO);
    EXPECT_EQ(uninstaller.Wait(), 1);
  }
  EXPECT_TRUE(FileExists(folder + "\\Φάκελος\\Αρχείο.txt"));

  // Installed again in Arabic, over the first install.
  ASSERT_EQ(RunLine(Installer("unicode.exe") + " /LANG=1025 /S /D=" + folder), 0);
  EXPECT_EQ(RegistryNumber(HKEY_LOCAL_MACHINE, UninstallKey(), "Language"), 1025);
  Process uninstaller(uninstall);
  std::string caption = "إلغاء تثبيت " + std::string(kProduct);
  HWND box = FindDialogAnywhere(caption, 30000);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(WindowTextUtf8(GetDlgItem(box, 0xFFFF)), "Удаление ソフト\r\n\r\nهل تريد إزالة " + std::string(kProduct) + " وكافة مكوناته؟");
  EXPECT_TRUE(GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) << "mirrored";
  RECT yes, no;
  GetWindowRect(GetDlgItem(box, IDYES), &yes);
  GetWindowRect(GetDlgItem(box, IDNO), &no);
  EXPECT_GT(yes.left, no.left) << "Yes comes first, from the right";
  Answer(box, IDYES);
  HWND done = FindDialogAnywhere(caption, 60000);
  ASSERT_NE(done, nullptr);
  EXPECT_EQ(WindowTextUtf8(GetDlgItem(done, 0xFFFF)), "تمت إزالة " + std::string(kProduct) + " من الكمبيوتر.");
  Answer(done, IDOK);
  EXPECT_EQ(uninstaller.Wait(), 0);
  EXPECT_FALSE(FileExists(folder));
  EXPECT_FALSE(HasKey(HKEY_LOCAL_MACHINE, UninstallKey())) << "the language value went with the registration";
}

}  // namespace
