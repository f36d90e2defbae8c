// Starts real installers as their own processes and drives their wizard dialog as a user would:
// reads texts, visibility and enablement, types, ticks, switches languages, installs.
#include <windows.h>
#include <commctrl.h>
#include <richedit.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "InstallChecks.h"

namespace {

const long kExitCancelled = 2;
const int kAccept = 5, kFile = 203, kFileBar = 204, kTotalBar = 205, kLogo = 206, kFolder = 207, kBrowse = 208,
          kFolderLabel = 222, kSpace = 223, kMenuLabel = 224, kList = 225, kListLabel = 226, kTotalLabel = 228,
          kLicence = 230, kDescription = 231, kMenuFixed = 234, kMenu = 235, kLanguage = 236, kLanguageLabel = 238,
          kLicenceIntro = 239;

std::string PackageDir() { return WindowsPath(EnvironmentValue("VELMORA_WIZARD_PACKAGES")); }

// The installer runs in its own process: what the test waits for is polled until it holds or the
// time is up. True when it held.
template <typename Condition>
bool WaitUntil(Condition done, DWORD timeoutMs) {
  for (DWORD start = GetTickCount(); !done(); Sleep(20))
    if (GetTickCount() - start >= timeoutMs) return false;
  return true;
}

// Memory inside the installer's process, for the list-view messages that carry pointers.
class RemoteMemory {
 public:
  RemoteMemory(HWND window, size_t size) {
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, id);
    at_ = process_ ? static_cast<char*>(VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE,
                                                        PAGE_READWRITE))
                   : nullptr;
  }
  ~RemoteMemory() {
    if (at_) VirtualFreeEx(process_, at_, 0, MEM_RELEASE);
    if (process_) CloseHandle(process_);
  }
  char* At(size_t offset = 0) const { return at_ + offset; }
  bool Write(size_t offset, const void* data, size_t size) {
    return at_ && WriteProcessMemory(process_, at_ + offset, data, size, nullptr);
  }
  bool Read(size_t offset, void* data, size_t size) {
    return at_ && ReadProcessMemory(process_, at_ + offset, data, size, nullptr);
  }

 private:
  HANDLE process_ = nullptr;
  char* at_ = nullptr;
};

// One installer process and its wizard dialog.
class Wizard {
 public:
  Wizard(const char* package, const char* title, const std::string& arguments = "") {
    started_ = process_.Start("\"" + PackageDir() + "\\" + package + "\" " + arguments);
    if (started_) dialog_ = process_.FindDialog(title, 30000);
  }
  bool Open() const { return dialog_ != nullptr; }
  HWND Dialog() const { return dialog_; }
  ChildProcess& Process() { return process_; }

  HWND Item(int id) const { return GetDlgItem(dialog_, id); }
  bool Visible(int id) const { return (GetWindowLongPtrA(Item(id), GWL_STYLE) & WS_VISIBLE) != 0; }
  bool Enabled(int id) const { return IsWindowEnabled(Item(id)) != 0; }
  std::string Text(int id) const { return WindowText(Item(id)); }
  // A control's text as the system holds it, in UTF-8.
  std::wstring Wide(HWND window) const {
    wchar_t wide[512] = {};
    DWORD_PTR length = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 512, LPARAM(wide), SMTO_ABORTIFHUNG, 5000, &length);
    return wide;
  }
  std::string Unicode(HWND window) const {
    char utf8[2048] = {};
    WideCharToMultiByte(CP_UTF8, 0, Wide(window).c_str(), -1, utf8, sizeof(utf8), nullptr, nullptr);
    return utf8;
  }
  std::string Unicode(int id) const { return Unicode(Item(id)); }
  bool Mirrored() const { return (GetWindowLongW(dialog_, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0; }
  HWND Focus() const {
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    GetGUIThreadInfo(GetWindowThreadProcessId(dialog_, nullptr), &info);
    return info.hwndFocus;
  }
  void Click(int id) { SendMessageA(Item(id), BM_CLICK, 0, 0); }
  // Install runs inside the click and ends in a modal message: its click must not wait.
  void ClickInstall() { PostMessageA(Item(IDOK), BM_CLICK, 0, 0); }
  void Command(int id, int code) { SendMessageA(dialog_, WM_COMMAND, MAKEWPARAM(id, code), LPARAM(Item(id))); }
  // Sets the edit's text as typing would: the edit reports the change to the dialog.
  void Type(int id, const std::string& text) { SendMessageA(Item(id), WM_SETTEXT, 0, LPARAM(text.c_str())); }

  // Items of a combo box. Wine copies one character of CB_GETLBTEXT across processes in its A
  // form, so the W form is read and converted.
  std::vector<std::string> ComboItems(int id) const {
    std::vector<std::string> items;
    LRESULT count = SendMessageA(Item(id), CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
      wchar_t wide[512] = {};
      SendMessageW(Item(id), CB_GETLBTEXT, WPARAM(i), LPARAM(wide));
      char narrow[1024] = {};
      WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof(narrow), nullptr, nullptr);
      items.push_back(narrow);
    }
    return items;
  }
  void SelectLanguage(const std::string& name) {
    std::vector<std::string> items = ComboItems(kLanguage);
    for (size_t i = 0; i < items.size(); ++i) {
      if (items[i] != name) continue;
      SendMessageA(Item(kLanguage), CB_SETCURSEL, WPARAM(i), 0);
      Command(kLanguage, CBN_SELCHANGE);
      return;
    }
    ADD_FAILURE() << "no language " << name;
  }

  int ListCount() const { return int(SendMessageA(Item(kList), LVM_GETITEMCOUNT, 0, 0)); }
  std::string ListText(int item) const {
    RemoteMemory remote(dialog_, sizeof(LVITEMA) + 256);
    LVITEMA query = {};
    query.iSubItem = 0;
    query.pszText = remote.At(sizeof(LVITEMA));
    query.cchTextMax = 256;
    char text[256] = {};
    if (!remote.Write(0, &query, sizeof(query))) return "<unreadable>";
    SendMessageA(Item(kList), LVM_GETITEMTEXTA, WPARAM(item), LPARAM(remote.At()));
    remote.Read(sizeof(LVITEMA), text, sizeof(text) - 1);
    return text;
  }
  bool Checked(int item) const {
    return (SendMessageA(Item(kList), LVM_GETITEMSTATE, WPARAM(item), LVIS_STATEIMAGEMASK) >> 12) == 2;
  }
  void SetItemState(int item, UINT state, UINT mask) {
    RemoteMemory remote(dialog_, sizeof(LVITEMA));
    LVITEMA change = {};
    change.state = state;
    change.stateMask = mask;
    ASSERT_TRUE(remote.Write(0, &change, sizeof(change)));
    SendMessageA(Item(kList), LVM_SETITEMSTATE, WPARAM(item), LPARAM(remote.At()));
  }
  void Tick(int item, bool on) { SetItemState(item, INDEXTOSTATEIMAGEMASK(on ? 2 : 1), LVIS_STATEIMAGEMASK); }
  void SelectItem(int item) { SetItemState(item, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED); }
  // Cancel: the wizard ends without a message and the installer exits with this code (2, which
  // no caller takes for success).
  long Cancel() {
    Click(IDCANCEL);
    return process_.Wait(30000);
  }
  int BarPosition(int id) const { return int(SendMessageA(Item(id), PBM_GETPOS, 0, 0)); }

  // The final message: its text, after which it is dismissed with OK.
  std::string DismissMessage(const char* caption) {
    HWND box = process_.FindDialog(caption, 30000);
    if (!box) return "<no message>";
    std::string text = WindowText(GetDlgItem(box, 0xFFFF));
    EXPECT_EQ(GetDlgItem(box, IDCANCEL), nullptr) << "only an OK button";
    EXPECT_FALSE(IsWindowVisible(dialog_)) << "the wizard is hidden behind its final message";
    SendMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    return text;
  }

 private:
  ChildProcess process_;
  bool started_ = false;
  HWND dialog_ = nullptr;
};

const char kOptionsTitle[] = "Velmora Wizard Options - Velmora Tests";
const char kOptionsFolder[] = "C:\\Velmora Wizard Options";
const char kProgressTitle[] = "Velmora Wizard Progress 2.0 - Velmora Tests";
const char kProgressFolder[] = "C:\\Velmora Wizard Progress";

const char kOptionsKey[] = "Software\\Velmora Wizard Options";

void CleanUpOptions() {
  DeleteTree(kOptionsFolder);
  RegDeleteTreeA(HKEY_CURRENT_USER, kOptionsKey);
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velmora Wizard Options");
}

bool Matches(const std::string& text, const char* pattern) { return std::regex_match(text, std::regex(pattern)); }

}  // namespace

TEST(WizardOptions, OpensOnTheOptionsPageWithTheLocksAppliedAtOnce) {
  CleanUpOptions();
  Wizard wizard("options.exe", kOptionsTitle);
  ASSERT_TRUE(wizard.Open()) << "title: version empty, company set";
  EXPECT_EQ(wizard.Focus(), wizard.Item(kLanguage));
  for (int id : {IDOK, IDCANCEL, kList, kFolder, kBrowse, kListLabel, kSpace, kFolderLabel, kMenuLabel,
                 kDescription, kLanguage, kLanguageLabel, kMenuFixed})
    EXPECT_TRUE(wizard.Visible(id)) << id;
  for (int id : {kAccept, kLicence, kLicenceIntro, kMenu, kFile, kFileBar, kTotalBar, kTotalLabel, kLogo})
    EXPECT_FALSE(wizard.Visible(id)) << id;
  // Flags 2: the folder may change, the Start-menu folder is fixed to the first item.
  EXPECT_EQ(wizard.Text(kMenuFixed), "Velmora Options");
  EXPECT_FALSE(wizard.Enabled(kMenu));
  EXPECT_EQ(wizard.Text(kFolder), kOptionsFolder);
  EXPECT_TRUE(wizard.Enabled(IDOK));

  // English texts, a variable expanded in a control text.
  EXPECT_EQ(wizard.ComboItems(kLanguage), (std::vector<std::string>{"Deutsch", "English"}));
  EXPECT_EQ(wizard.Text(kLanguage), "English");
  EXPECT_EQ(wizard.Text(IDOK), "&Install");
  EXPECT_EQ(wizard.Text(IDCANCEL), "Cancel");
  EXPECT_EQ(wizard.Text(kBrowse), "...");
  EXPECT_EQ(wizard.Text(kFolderLabel), "Install Velmora Wizard Options in this folder:");
  // Core 100 + Documents 200 + the unlisted component 1 + the uninstaller 11.
  EXPECT_TRUE(Matches(wizard.Text(kSpace), "Space required: 312 Kb    Space available: [0-9]+ (Kb|Mb)"))
      << wizard.Text(kSpace);
  EXPECT_EQ(wizard.Text(kDescription), "Select a component to see its description.");

  // Five listed components: the column leaves room for the scroll bar.
  ASSERT_EQ(wizard.ListCount(), 5);
  const char* names[] = {"Core", "Documents", "Tools", "Extra one", "Extra two"};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(wizard.ListText(i), names[i]);
    EXPECT_EQ(wizard.Checked(i), i < 2) << i;
  }
  RECT client;
  GetClientRect(wizard.Item(kList), &client);
  EXPECT_EQ(SendMessageA(wizard.Item(kList), LVM_GETCOLUMNWIDTH, 0, 0),
            client.right - GetSystemMetrics(SM_CXVSCROLL) - 10);

  EXPECT_EQ(wizard.Cancel(), kExitCancelled);
  EXPECT_FALSE(Exists(kOptionsFolder));
}

TEST(WizardOptions, InstallIsEnabledExactlyWhenTheChoiceCanBeInstalled) {
  CleanUpOptions();
  Wizard wizard("options.exe", kOptionsTitle);
  ASSERT_TRUE(wizard.Open());

  wizard.SelectItem(1);
  EXPECT_EQ(wizard.Text(kDescription), "Manuals and samples.");
  wizard.Tick(2, true);
  EXPECT_TRUE(Matches(wizard.Text(kSpace), "Space required: 1012 Kb    Space available: .*")) << wizard.Text(kSpace);
  // Every listed box empty: the unlisted component is still selected.
  for (int i = 0; i < 5; ++i) wizard.Tick(i, false);
  EXPECT_TRUE(Matches(wizard.Text(kSpace), "Space required: 12 Kb    Space available: .*")) << wizard.Text(kSpace);
  EXPECT_TRUE(wizard.Enabled(IDOK));

  wizard.Type(kFolder, "");
  EXPECT_FALSE(wizard.Enabled(IDOK));
  EXPECT_EQ(wizard.Text(kSpace), "Space required: 12 Kb    Space available: 0 Kb");
  // A drive that does not exist has no free space.
  wizard.Type(kFolder, "Q:\\Nowhere");
  EXPECT_FALSE(wizard.Enabled(IDOK));
  EXPECT_EQ(wizard.Text(kSpace), "Space required: 12 Kb    Space available: 0 Kb");

  // Only a full path will do: not one relative to a drive's current folder or to the current drive.
  for (const char* relative : {"C:Velmora Options", "\\Velmora Options", "Velmora Options", "\\\\server"}) {
    wizard.Type(kFolder, relative);
    EXPECT_FALSE(wizard.Enabled(IDOK)) << relative;
  }
  wizard.Type(kFolder, "C:\\");
  EXPECT_TRUE(wizard.Enabled(IDOK));

  // A click that arrives while the choice cannot be installed installs nothing and stays here.
  wizard.Type(kFolder, "");
  wizard.Command(IDOK, BN_CLICKED);
  EXPECT_TRUE(wizard.Visible(kList));
  EXPECT_TRUE(wizard.Visible(IDCANCEL));
  EXPECT_FALSE(wizard.Visible(kFileBar));
  EXPECT_TRUE(IsWindowVisible(wizard.Dialog()));
  EXPECT_EQ(wizard.Process().FindDialog("Velmora Wizard Options", 500), nullptr) << "no final message";

  // Installed now, the refused click has left no trace in the committed choices.
  wizard.Type(kFolder, kOptionsFolder);
  EXPECT_TRUE(wizard.Enabled(IDOK));
  wizard.ClickInstall();
  EXPECT_EQ(wizard.DismissMessage("Velmora Wizard Options"), "Finished: ${ProductName}");
  EXPECT_EQ(wizard.Process().Wait(60000), 0);
  EXPECT_TRUE(Exists(std::string(kOptionsFolder) + "\\c1.bin"));
  EXPECT_FALSE(Exists(std::string(kOptionsFolder) + "\\c100.bin"));
  char programs[MAX_PATH] = {};
  ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, programs, CSIDL_PROGRAMS, FALSE));
  EXPECT_EQ(RegistryValue(HKEY_CURRENT_USER, kOptionsKey, "Menu"),
            RegistryData(REG_SZ, std::string(programs) + "\\Velmora Options" + '\0'));
  CleanUpOptions();
}

TEST(WizardOptions, SwitchingLanguagesReappliesEveryText) {
  CleanUpOptions();
  Wizard wizard("options.exe", kOptionsTitle);
  ASSERT_TRUE(wizard.Open());
  wizard.SelectLanguage("Deutsch");
  EXPECT_EQ(wizard.Text(kLanguage), "Deutsch");
  EXPECT_EQ(wizard.Text(IDOK), "&Installieren");
  EXPECT_EQ(wizard.Text(IDCANCEL), "Abbrechen");
  EXPECT_EQ(wizard.Text(kLanguageLabel), "Sprache:");
  EXPECT_EQ(wizard.Text(kFolderLabel), "Velmora Wizard Options installieren in:");
  EXPECT_EQ(wizard.Text(kMenuLabel), "Startmen\xFC-Ordner:");
  EXPECT_TRUE(Matches(wizard.Text(kSpace), "Ben\xF6tigt: 312 Kb    Verf\xFCgbar: [0-9]+ (Kb|Mb)")) << wizard.Text(kSpace);
  wizard.SelectLanguage("English");
  EXPECT_EQ(wizard.Text(IDOK), "&Install");
  EXPECT_EQ(wizard.Text(kMenuLabel), "Start menu folder:");
  EXPECT_TRUE(Matches(wizard.Text(kSpace), "Space required: 312 Kb.*"));

  // Install with the package's choice; the numbered string's variable stays as it is.
  wizard.ClickInstall();
  EXPECT_EQ(wizard.DismissMessage("Velmora Wizard Options"), "Finished: ${ProductName}");
  EXPECT_EQ(wizard.Process().Wait(60000), 0);
  EXPECT_TRUE(Exists(std::string(kOptionsFolder) + "\\c100.bin"));
  EXPECT_TRUE(Exists(std::string(kOptionsFolder) + "\\c200.bin"));
  EXPECT_TRUE(Exists(std::string(kOptionsFolder) + "\\c1.bin"));
  EXPECT_FALSE(Exists(std::string(kOptionsFolder) + "\\c700.bin"));
  EXPECT_TRUE(Exists(std::string(kOptionsFolder) + "\\Uninst.log"));
  CleanUpOptions();
}

TEST(WizardProgress, LicenceThenOptionsThenBothBarsWhileTheWindowResponds) {
  const std::string folder = kProgressFolder;
  const std::string release = PackageDir() + "\\release.txt";
  const char* key = "Software\\Velmora Wizard Progress";
  DeleteTree(folder);
  DeleteFileA(release.c_str());
  RegDeleteTreeA(HKEY_CURRENT_USER, key);
  // Subfolders of the programs menu become Start-menu choices.
  char programs[MAX_PATH] = {};
  ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, programs, CSIDL_PROGRAMS, TRUE));
  const std::string menuA = std::string(programs) + "\\Velmora Menu A", menuB = std::string(programs) + "\\Velmora Menu B";
  CreateDirectoryA(menuA.c_str(), nullptr);
  CreateDirectoryA(menuB.c_str(), nullptr);

  Wizard wizard("progress.exe", kProgressTitle);
  ASSERT_TRUE(wizard.Open()) << "title: name, version and company";
  // The licence page: the licence has the focus, the options and their locks wait.
  EXPECT_EQ(wizard.Focus(), wizard.Item(kLicence));
  for (int id : {kAccept, kLicence, kLicenceIntro, IDCANCEL, kLanguage, kLogo}) EXPECT_TRUE(wizard.Visible(id)) << id;
  for (int id : {IDOK, kList, kFolder, kBrowse, kSpace, kMenu, kMenuFixed, kDescription})
    EXPECT_FALSE(wizard.Visible(id)) << id;
  EXPECT_NE(wizard.Text(kLicence).find("Velmora test licence"), std::string::npos) << wizard.Text(kLicence);
  EXPECT_EQ(wizard.Text(kAccept), "I &Agree");
  EXPECT_EQ(wizard.Text(kLicenceIntro),
            "Please read the licence agreement. To install Velmora Wizard Progress, click I Agree.");
  EXPECT_FALSE(GetWindowLongPtrA(wizard.Item(kFolder), GWL_STYLE) & ES_READONLY) << "locked only after I Agree";
  EXPECT_EQ(LRESULT(SendMessageA(wizard.Item(kLicence), EM_GETOPTIONS, 0, 0) & ECO_READONLY), LRESULT(ECO_READONLY));
  RECT logo;
  GetClientRect(wizard.Item(kLogo), &logo);
  EXPECT_GT(logo.right, 0);
  // Language changes stay on the page.
  wizard.SelectLanguage("Deutsch");
  EXPECT_EQ(wizard.Text(kAccept), "&Zustimmen");
  EXPECT_TRUE(wizard.Visible(kLicence));
  wizard.SelectLanguage("English");

  wizard.Click(kAccept);
  EXPECT_FALSE(wizard.Visible(kAccept));
  EXPECT_FALSE(wizard.Visible(kLicence));
  EXPECT_TRUE(wizard.Visible(IDOK));
  // Folder fixed: no browse button, read-only, as wide as the list. Start-menu folder free.
  EXPECT_FALSE(wizard.Visible(kBrowse));
  EXPECT_TRUE(GetWindowLongPtrA(wizard.Item(kFolder), GWL_STYLE) & ES_READONLY);
  RECT edit, list;
  GetWindowRect(wizard.Item(kFolder), &edit);
  GetWindowRect(wizard.Item(kList), &list);
  EXPECT_EQ(edit.right - edit.left, list.right - list.left);
  EXPECT_TRUE(wizard.Visible(kMenu));
  EXPECT_FALSE(wizard.Visible(kMenuFixed));
  std::vector<std::string> menus = wizard.ComboItems(kMenu);
  ASSERT_FALSE(menus.empty());
  EXPECT_EQ(menus[0], "Velmora Progress");
  EXPECT_EQ(wizard.Text(kMenu), "Velmora Progress");
  int found = 0;
  for (const std::string& item : menus)
    found += item == "Velmora Menu A\\Velmora Progress" || item == "Velmora Menu B\\Velmora Progress";
  EXPECT_EQ(found, 2);
  // Three listed components keep the full width.
  RECT client;
  GetClientRect(wizard.Item(kList), &client);
  EXPECT_EQ(SendMessageA(wizard.Item(kList), LVM_GETCOLUMNWIDTH, 0, 0), client.right);
  SendMessageA(wizard.Item(kMenu), WM_SETTEXT, 0, LPARAM("\\\\Velmora Chosen"));

  wizard.ClickInstall();
  // Held by the second component: its file is written, the first component's 100 of 1000 KB done.
  WaitUntil([&] { return wizard.BarPosition(kTotalBar) >= 10; }, 30000);
  EXPECT_EQ(wizard.BarPosition(kTotalBar), 10);
  EXPECT_EQ(wizard.BarPosition(kFileBar), 100);
  EXPECT_EQ(wizard.Text(kFile), "C:\\...\\c200.bin");
  EXPECT_EQ(wizard.Text(kListLabel), "Installing, please wait...");
  for (int id : {kTotalLabel, kFile, kFileBar, kTotalBar, kFolder, kMenuFixed, kFolderLabel, kMenuLabel})
    EXPECT_TRUE(wizard.Visible(id)) << id;
  for (int id : {kList, kSpace, IDOK, IDCANCEL, kDescription, kMenu, kBrowse}) EXPECT_FALSE(wizard.Visible(id)) << id;
  for (int id : {IDOK, IDCANCEL, kLanguage}) EXPECT_FALSE(wizard.Enabled(id)) << id;
  EXPECT_EQ(wizard.Text(kMenuFixed), "\\\\Velmora Chosen");
  EXPECT_EQ(wizard.Text(kTotalLabel), "Overall progress:");
  // The window answers while the install waits.
  char title[256] = {};
  DWORD_PTR copied = 0;
  EXPECT_TRUE(SendMessageTimeoutA(wizard.Dialog(), WM_GETTEXT, sizeof(title), LPARAM(title), SMTO_ABORTIFHUNG, 5000,
                                  &copied));
  EXPECT_STREQ(title, kProgressTitle);
  EXPECT_FALSE(Exists(folder + "\\program files\\data\\c700.bin"));

  HANDLE gate = CreateFileA(release.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(gate, INVALID_HANDLE_VALUE);
  CloseHandle(gate);
  EXPECT_EQ(wizard.DismissMessage("Velmora Wizard Progress"), "Installation complete.");
  EXPECT_EQ(wizard.Process().Wait(60000), 0);
  EXPECT_TRUE(Exists(folder + "\\program files\\data\\c700.bin"));
  EXPECT_EQ(RegistryValue(HKEY_CURRENT_USER, key, "Path"), RegistryData(REG_SZ, folder + '\0'));
  EXPECT_EQ(RegistryValue(HKEY_CURRENT_USER, key, "Menu"),
            RegistryData(REG_SZ, std::string(programs) + "\\Velmora Chosen" + '\0'));

  DeleteFileA(release.c_str());
  DeleteTree(folder);
  RemoveDirectoryA(menuA.c_str());
  RemoveDirectoryA(menuB.c_str());
  RegDeleteTreeA(HKEY_CURRENT_USER, key);
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velmora Wizard Progress");
}

// /PASSIVE: the dialog shows only its progress, past the licence, and ends without a click.
TEST(WizardProgress, PassiveRunShowsTheProgressAndWaitsForNothing) {
  const std::string folder = kProgressFolder;
  const std::string release = PackageDir() + "\\release.txt";
  DeleteTree(folder);
  DeleteFileA(release.c_str());
  Wizard wizard("progress.exe", kProgressTitle, "/PASSIVE /COMPONENTS=First,Second");
  ASSERT_TRUE(wizard.Open());
  // Held by the second component's gate.
  ASSERT_TRUE(WaitUntil([&] { return wizard.BarPosition(kFileBar) == 100 && wizard.Visible(kTotalBar); }, 30000));
  for (int id : {kTotalLabel, kFile, kFileBar, kTotalBar}) EXPECT_TRUE(wizard.Visible(id)) << id;
  for (int id : {kAccept, kLicence, kLicenceIntro, kList, IDOK, IDCANCEL}) EXPECT_FALSE(wizard.Visible(id)) << id;
  EXPECT_TRUE(IsWindowVisible(wizard.Dialog()));
  HANDLE gate = CreateFileA(release.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(gate, INVALID_HANDLE_VALUE);
  CloseHandle(gate);
  // No closing message: the installer ends by itself.
  EXPECT_EQ(wizard.Process().Wait(60000), 0);
  EXPECT_TRUE(Exists(folder + "\\program files\\data\\c200.bin"));
  EXPECT_FALSE(Exists(folder + "\\program files\\data\\c700.bin"));

  DeleteFileA(release.c_str());
  DeleteTree(folder);
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velmora Wizard Progress");
}

TEST(WizardLanguages, StartLanguageIsFoundByItsIdElseLanguageZero) {
  // This prefix's system language is 1033 (or has no table entry, which falls back to 1033).
  {
    Wizard wizard("lang-second.exe", "Velmora Wizard Raw");
    ASSERT_TRUE(wizard.Open());
    EXPECT_EQ(wizard.Text(kLanguage), "English");
    EXPECT_EQ(wizard.Text(kFolderLabel), "Folder:");
    wizard.SelectLanguage("Deutsch");
    EXPECT_EQ(wizard.Text(kFolderLabel), "Zielordner:");
    // Strings the table lacks leave the space line empty; no table text for IDOK keeps the template's.
    EXPECT_EQ(wizard.Text(kSpace), "");
    EXPECT_EQ(wizard.Text(IDOK), "");
    EXPECT_EQ(wizard.Cancel(), kExitCancelled);
  }
  {
    // 01033 is not 1033, and the list ends at the first language without a name.
    Wizard wizard("lang-none.exe", "Velmora Wizard Raw");
    ASSERT_TRUE(wizard.Open());
    EXPECT_EQ(wizard.ComboItems(kLanguage), (std::vector<std::string>{"English", "Francais"}));
    EXPECT_EQ(wizard.Text(kLanguage), "Francais");
    EXPECT_EQ(wizard.Text(kFolderLabel), "Dossier:");
    EXPECT_EQ(wizard.Cancel(), kExitCancelled);
  }
}

TEST(WizardLogo, HeadersPointingOutsideTheEntryShowNoLogo) {
  for (const char* package : {"logo-far-pixels.exe", "logo-big-size.exe"}) {
    Wizard wizard(package, "Velmora Wizard Raw");
    ASSERT_TRUE(wizard.Open()) << package;
    EXPECT_FALSE(wizard.Visible(kLogo)) << package;
    EXPECT_EQ(wizard.Cancel(), kExitCancelled) << package;
  }
  Wizard wizard("logo-top-down.exe", "Velmora Wizard Raw");
  ASSERT_TRUE(wizard.Open());
  EXPECT_TRUE(wizard.Visible(kLogo)) << "top-down rows are a logo too";
  EXPECT_EQ(wizard.Cancel(), kExitCancelled);
}

namespace {
// Keys go to the focused control through the dialog's own message loop, as typed keys do. The
// focus may pass through no window on its way, so the key counts as handled once it has settled
// on another window (or the dialog is gone).
void PressKey(Wizard& wizard, WPARAM key) {
  HWND focus = wizard.Focus();
  PostMessageA(focus ? focus : wizard.Dialog(), WM_KEYDOWN, key, 0);
  PostMessageA(focus ? focus : wizard.Dialog(), WM_KEYUP, key, 0xC0000000);
  Sleep(300);
  WaitUntil(
      [&] {
        HWND now = wizard.Focus();
        return !IsWindow(wizard.Dialog()) || (now && now != focus);
      },
      5000);
}
}  // namespace

TEST(WizardKeyboard, TabEnterAndEscapeWorkAsInAnyDialog) {
  DeleteTree(kProgressFolder);
  Wizard wizard("progress.exe", kProgressTitle);
  ASSERT_TRUE(wizard.Open());
  ASSERT_EQ(wizard.Focus(), wizard.Item(kLicence));
  // Tab order is template order over the controls shown: the language list, then I Agree.
  PressKey(wizard, VK_TAB);
  EXPECT_EQ(wizard.Focus(), wizard.Item(kLanguage));
  PressKey(wizard, VK_TAB);
  EXPECT_EQ(wizard.Focus(), wizard.Item(kAccept));
  PressKey(wizard, VK_RETURN);
  EXPECT_TRUE(wizard.Visible(IDOK));
  EXPECT_FALSE(wizard.Visible(kLicence));
  EXPECT_EQ(SendMessageA(wizard.Dialog(), DM_GETDEFID, 0, 0), MAKELRESULT(IDOK, DC_HASDEFID));
  PressKey(wizard, VK_ESCAPE);
  EXPECT_EQ(wizard.Process().Wait(30000), kExitCancelled);
  EXPECT_FALSE(Exists(kProgressFolder));
}

namespace {
const char kDesktopKey[] = "Control Panel\\Desktop";

// The prefix's screen resolution, as Wine reads it when a program starts.
void SetLogPixels(DWORD dpi) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof(dpi));
  RegCloseKey(key);
}

std::wstring WithoutAccessKeys(std::wstring text) {
  for (size_t at = text.find(L'&'); at != std::wstring::npos; at = text.find(L'&', at + 1)) text.erase(at, 1);
  return text;
}

// Every shown control lies inside the dialog, none overlaps another, and every label and button
// text fits its control in the dialog's font at this resolution.
void ExpectTidyLayout(const Wizard& wizard, int dpi, const std::string& state) {
  HWND dialog = wizard.Dialog();
  RECT client;
  GetClientRect(dialog, &client);
  HFONT font = CreateFontA(-MulDiv(8, dpi, 72), 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0,
                           "MS Shell Dlg 2");
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  std::vector<std::pair<int, RECT>> shown;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (!(GetWindowLongPtrA(child, GWL_STYLE) & WS_VISIBLE)) continue;
    int id = GetDlgCtrlID(child);
    std::string where = state + ", control " + std::to_string(id);
    RECT at;
    GetWindowRect(child, &at);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&at), 2);
    EXPECT_TRUE(at.left >= 0 && at.top >= 0 && at.right <= client.right && at.bottom <= client.bottom) << where;
    for (const auto& [other, rect] : shown) {
      RECT both;
      EXPECT_FALSE(IntersectRect(&both, &at, &rect)) << where << " overlaps " << other;
    }
    shown.push_back({id, at});

    std::wstring text = WithoutAccessKeys(wizard.Wide(child));
    char kind[32] = {};
    GetClassNameA(child, kind, sizeof(kind));
    if (text.empty() || (lstrcmpiA(kind, "Static") != 0 && lstrcmpiA(kind, "Button") != 0)) continue;
    RECT inside;
    GetClientRect(child, &inside);
    LONG_PTR style = GetWindowLongPtrA(child, GWL_STYLE);
    bool wraps = lstrcmpiA(kind, "Static") == 0 ? (style & SS_TYPEMASK) == SS_LEFT : (style & BS_MULTILINE) != 0;
    if (wraps) {
      // A multi-line button's text wraps beside its box.
      int box = lstrcmpiA(kind, "Button") == 0 ? MulDiv(16, dpi, 96) : 0;
      RECT need = {0, 0, inside.right - box, 0};
      DrawTextW(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
      EXPECT_LE(need.bottom, inside.bottom) << where << ": \"" << wizard.Unicode(child) << "\" needs more lines";
    } else {
      SIZE need;
      GetTextExtentPoint32W(dc, text.c_str(), int(text.size()), &need);
      int margin = lstrcmpiA(kind, "Button") == 0 ? MulDiv(6, dpi, 96) : 0;
      EXPECT_LE(need.cx + margin, inside.right) << where << ": \"" << wizard.Unicode(child) << "\" is cut off";
      EXPECT_LE(need.cy, inside.bottom) << where << ": \"" << wizard.Unicode(child) << "\" is cut off";
    }
  }
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(font);
}

void ExpectTidyInBothLanguages(Wizard& wizard, int dpi, const std::string& page) {
  for (const char* language : {"English", "Deutsch"}) {
    wizard.SelectLanguage(language);
    ExpectTidyLayout(wizard, dpi, page + " in " + language + " at " + std::to_string(dpi) + " DPI");
  }
}
}  // namespace

TEST(WizardLayout, NothingIsCutOffOrOverlapsAt96And144Dpi) {
  const std::string release = PackageDir() + "\\release.txt";
  LONG dialogWidth96 = 0;
  for (int dpi : {96, 144}) {
    SetLogPixels(dpi);
    DeleteTree(kProgressFolder);
    DeleteFileA(release.c_str());
    {
      Wizard wizard("progress.exe", kProgressTitle);
      ASSERT_TRUE(wizard.Open()) << dpi;
      RECT client;
      GetClientRect(wizard.Dialog(), &client);
      if (dpi == 96) dialogWidth96 = client.right;
      // The resolution took effect: dialog units and the logo grow with it.
      if (dpi == 144) EXPECT_GT(client.right * 10, dialogWidth96 * 13);
      RECT logo;
      GetWindowRect(wizard.Item(kLogo), &logo);
      EXPECT_EQ(logo.right - logo.left, MulDiv(32, dpi, 96));
      ExpectTidyInBothLanguages(wizard, dpi, "licence page");
      wizard.Click(kAccept);
      ExpectTidyInBothLanguages(wizard, dpi, "options page, folder fixed");
      wizard.ClickInstall();
      WaitUntil([&] { return wizard.BarPosition(kTotalBar) >= 10; }, 30000);
      ExpectTidyLayout(wizard, dpi, "progress state at " + std::to_string(dpi) + " DPI");
      HANDLE gate = CreateFileA(release.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
      CloseHandle(gate);
      EXPECT_EQ(wizard.DismissMessage("Velmora Wizard Progress"), "Die Installation ist abgeschlossen.");
      EXPECT_EQ(wizard.Process().Wait(60000), 0);
    }
    {
      Wizard wizard("options.exe", kOptionsTitle);
      ASSERT_TRUE(wizard.Open()) << dpi;
      ExpectTidyInBothLanguages(wizard, dpi, "options page, Start-menu folder fixed");
      EXPECT_EQ(wizard.Cancel(), kExitCancelled);
    }
    {
      Wizard wizard("scope.exe", "Velmora Wizard Scope");
      ASSERT_TRUE(wizard.Open()) << dpi;
      ASSERT_TRUE(wizard.Visible(240));
      ExpectTidyInBothLanguages(wizard, dpi, "options page with the choice of who to install for");
      EXPECT_EQ(wizard.Cancel(), kExitCancelled);
    }
  }
  SetLogPixels(96);
  DeleteFileA(release.c_str());
  DeleteTree(kProgressFolder);
  RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Velmora Wizard Progress");
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velmora Wizard Progress");
}

namespace {
struct TextSearch {
  const char* text;
  bool found;
};

BOOL CALLBACK FindText(HWND window, LPARAM param) {
  TextSearch* search = reinterpret_cast<TextSearch*>(param);
  if (WindowText(window) == search->text) search->found = true;
  return !search->found;
}

struct OwnedSearch {
  HWND owner;
  HWND found;
};

BOOL CALLBACK FindOwned(HWND window, LPARAM param) {
  OwnedSearch* search = reinterpret_cast<OwnedSearch*>(param);
  if (GetWindow(window, GW_OWNER) == search->owner && IsWindowVisible(window)) search->found = window;
  return !search->found;
}

// The folder browser the wizard opened, polled for up to 30 s.
HWND FindBrowser(HWND wizard) {
  OwnedSearch search = {wizard, nullptr};
  WaitUntil(
      [&] {
        EnumWindows(FindOwned, LPARAM(&search));
        return search.found != nullptr;
      },
      30000);
  return search.found;
}
}  // namespace

TEST(WizardBrowse, ThePickedFolderGetsTheAddedFolderAndCancelChangesNothing) {
  Wizard wizard("options.exe", kOptionsTitle);
  ASSERT_TRUE(wizard.Open());
  struct Case {
    const char* start;
    int button;
    const char* result;
  } cases[] = {
      // The browser starts on the destination typed so far; OK takes it.
      {"C:\\windows", IDOK, "C:\\windows\\Velmora Wizard Options"},
      {"C:\\", IDOK, "C:\\Velmora Wizard Options"},
      {"C:\\windows", IDCANCEL, "C:\\windows"},
  };
  for (const Case& c : cases) {
    wizard.Type(kFolder, c.start);
    PostMessageA(wizard.Item(kBrowse), BM_CLICK, 0, 0);
    HWND browser = FindBrowser(wizard.Dialog());
    ASSERT_NE(browser, nullptr) << c.start;
    TextSearch title = {"Choose the folder to install into:", false};
    EnumChildWindows(browser, FindText, LPARAM(&title));
    EXPECT_TRUE(title.found) << "the browser shows string 5";
    Sleep(300);
    SendMessageA(GetDlgItem(browser, c.button), BM_CLICK, 0, 0);
    WaitUntil([&] { return !IsWindow(browser); }, 10000);
    EXPECT_EQ(wizard.Text(kFolder), c.result) << c.start;
  }
  EXPECT_EQ(wizard.Cancel(), kExitCancelled);
}

// A product for either scope: the choice in English and German, made by keyboard, moves the folder.
TEST(WizardScope, TheChoiceOfWhoToInstallForIsMadeByKeyboardInEitherLanguage) {
  const char product[] = "Velmora Wizard Scope";
  char local[MAX_PATH] = {}, programFiles[MAX_PATH] = {};
  ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, local, CSIDL_LOCAL_APPDATA, TRUE));
  ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, programFiles, CSIDL_PROGRAM_FILES, TRUE));
  const std::string mine = std::string(local) + "\\Programs\\" + product;
  const std::string everyone = std::string(programFiles) + "\\" + product;
  const std::string key = std::string("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + product;
  auto clean = [&] {
    DeleteTree(mine);
    DeleteTree(everyone);
    RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str());
  };
  clean();
  Wizard wizard("scope.exe", product);
  ASSERT_TRUE(wizard.Open());
  const int kAll = 240, kMine = 241;
  EXPECT_TRUE(wizard.Visible(kAll));
  EXPECT_TRUE(wizard.Visible(kMine));
  EXPECT_EQ(wizard.Text(kAll), "Install for all users (needs administrator rights)");
  EXPECT_EQ(wizard.Text(kMine), "Install just for me");
  // Wine runs every program as an administrator: all users come first.
  EXPECT_EQ(SendMessageA(wizard.Item(kAll), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(wizard.Text(kFolder), everyone);
  wizard.SelectLanguage("Deutsch");
  EXPECT_EQ(wizard.Text(kAll), "F\xFCr alle Benutzer installieren (erfordert Administratorrechte)");
  EXPECT_EQ(wizard.Text(kMine), "Nur f\xFCr mich installieren");

  // Tab from the language list reaches the choice, an arrow key changes it.
  ASSERT_EQ(wizard.Focus(), wizard.Item(kLanguage));
  PressKey(wizard, VK_TAB);
  EXPECT_EQ(wizard.Focus(), wizard.Item(kAll));
  PressKey(wizard, VK_DOWN);
  EXPECT_EQ(SendMessageA(wizard.Item(kMine), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(wizard.Text(kFolder), mine);
  PressKey(wizard, VK_RETURN);
  EXPECT_EQ(wizard.DismissMessage(product), "Die Installation ist abgeschlossen.");
  EXPECT_EQ(wizard.Process().Wait(60000), 0);
  EXPECT_TRUE(Exists(mine + "\\c100.bin"));
  EXPECT_FALSE(Exists(everyone));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, key));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, key));
  clean();
}

namespace {
const char kLanguagesTitle[] = "Velmora Wizard Languages - Velmora Tests";

struct LanguageSeen {
  bool mirrored;
  std::string install, cancel, label;
  LONG installFromLeft, installFromRight;  // the Install button's distance from the client edges
};

LanguageSeen Look(const Wizard& wizard) {
  RECT client, button;
  GetClientRect(wizard.Dialog(), &client);
  GetWindowRect(wizard.Item(IDOK), &button);
  POINT corner = {0, 0};
  ClientToScreen(wizard.Dialog(), &corner);
  // In a mirrored window the client origin is its right edge.
  LONG left = wizard.Mirrored() ? corner.x - client.right : corner.x;
  return LanguageSeen{wizard.Mirrored(), wizard.Unicode(IDOK), wizard.Unicode(IDCANCEL), wizard.Unicode(kLanguageLabel),
                      button.left - left, left + client.right - button.right};
}
}  // namespace

TEST(WizardUnicode, JapaneseArabicAndRussianReadBackWholeAndArabicIsMirrored) {
  Wizard russian("languages.exe", kLanguagesTitle, "/LANG=1049");
  ASSERT_TRUE(russian.Open());
  LanguageSeen ru = Look(russian);
  EXPECT_EQ(russian.Unicode(russian.Dialog()), kLanguagesTitle);
  EXPECT_EQ(ru.install, "&Установить");
  EXPECT_EQ(ru.cancel, "Отмена");
  EXPECT_EQ(russian.Unicode(kLanguage), "Русский");
  EXPECT_EQ(russian.Unicode(kFolderLabel), "Установить Velmora Wizard Languages в папку:");
  EXPECT_FALSE(ru.mirrored);
  EXPECT_EQ(russian.ListCount(), 1);
  PressKey(russian, VK_ESCAPE);
  EXPECT_EQ(russian.Process().Wait(30000), kExitCancelled);

  Wizard japanese("languages.exe", kLanguagesTitle, "/LANG=1041");
  ASSERT_TRUE(japanese.Open());
  LanguageSeen ja = Look(japanese);
  EXPECT_EQ(ja.install, "インストール(&I)");
  EXPECT_EQ(ja.cancel, "キャンセル");
  EXPECT_EQ(ja.label, "言語:");
  EXPECT_EQ(japanese.Unicode(kLanguage), "日本語");
  EXPECT_FALSE(ja.mirrored);
  PressKey(japanese, VK_ESCAPE);
  EXPECT_EQ(japanese.Process().Wait(30000), kExitCancelled);

  Wizard arabic("languages.exe", kLanguagesTitle, "/LANG=1025");
  ASSERT_TRUE(arabic.Open());
  LanguageSeen ar = Look(arabic);
  EXPECT_EQ(ar.install, "&تثبيت");
  EXPECT_EQ(ar.cancel, "إلغاء الأمر");
  EXPECT_EQ(arabic.Unicode(kLanguage), "العربية");
  EXPECT_TRUE(ar.mirrored);
  // The whole layout turns: the button keeps its distance, now from the other edge.
  EXPECT_EQ(ar.installFromRight, ru.installFromLeft);
  EXPECT_EQ(ar.installFromLeft, ru.installFromRight);
  for (int bar : {kFileBar, kTotalBar, kList, kLanguage})
    EXPECT_TRUE(GetWindowLongW(arabic.Item(bar), GWL_EXSTYLE) & WS_EX_LAYOUTRTL) << bar;
  PressKey(arabic, VK_ESCAPE);
  EXPECT_EQ(arabic.Process().Wait(30000), kExitCancelled);
}

TEST(WizardUnicode, TheListTurnsTheLayoutWhenTheLanguageChangesByKeyboard) {
  Wizard wizard("languages.exe", kLanguagesTitle, "/LANG=1033");
  ASSERT_TRUE(wizard.Open());
  EXPECT_EQ(wizard.ComboItems(kLanguage).size(), 25u);
  HWND list = wizard.Item(kLanguage);
  // Arrow keys walk the list (sorted by the system) one language at a time.
  auto stepTo = [&](const char* name) {
    for (int key : {VK_HOME, VK_DOWN}) {
      for (int step = 0; step < 30 && wizard.Unicode(kLanguage) != name; ++step) {
        PostMessageW(list, WM_KEYDOWN, key, 0);
        PostMessageW(list, WM_KEYUP, key, 0xC0000000);
        Sleep(60);
        if (key == VK_HOME) break;
      }
    }
    return wizard.Unicode(kLanguage) == name;
  };
  ASSERT_TRUE(stepTo("עברית"));
  EXPECT_TRUE(wizard.Mirrored());
  EXPECT_EQ(wizard.Unicode(IDCANCEL), "ביטול");
  ASSERT_TRUE(stepTo("Ελληνικά"));
  EXPECT_FALSE(wizard.Mirrored());
  EXPECT_EQ(wizard.Unicode(IDCANCEL), "Άκυρο");
  EXPECT_FALSE(GetWindowLongW(wizard.Item(kTotalBar), GWL_EXSTYLE) & WS_EX_LAYOUTRTL);
  PressKey(wizard, VK_ESCAPE);
  EXPECT_EQ(wizard.Process().Wait(30000), kExitCancelled);
}

// Run by the wizard_user_language tests, each with a user interface language of its own (Wine
// takes it from LC_ALL) and the identifier of the language the wizard should start in.
TEST(WizardUserLanguage, StartsInTheUsersOwnLanguageUnlessTheCommandLineNamesOne) {
  const std::string expected = EnvironmentValue("VELMORA_EXPECTED_LANGUAGE");
  if (expected.empty()) GTEST_SKIP() << "runs only under a user language set for it";
  const std::pair<const char*, const char*> names[] = {
      {"1041", "日本語"}, {"2070", "Português (Portugal)"}, {"1031", "Deutsch"}, {"1033", "English"}};
  std::string shown = "<unknown identifier " + expected + ">";
  for (const auto& [id, name] : names)
    if (expected == id) shown = name;
  {
    Wizard wizard("languages.exe", kLanguagesTitle);
    ASSERT_TRUE(wizard.Open());
    EXPECT_EQ(wizard.Unicode(kLanguage), shown);
    EXPECT_EQ(wizard.Cancel(), kExitCancelled);
  }
  Wizard wizard("languages.exe", kLanguagesTitle, "/LANG=1037");
  ASSERT_TRUE(wizard.Open());
  EXPECT_EQ(wizard.Unicode(kLanguage), "עברית");
  EXPECT_TRUE(wizard.Mirrored());
  EXPECT_EQ(wizard.Cancel(), kExitCancelled);
}

// An install that shows no texts and names no language records none: its uninstaller speaks the
// user's language.
TEST(WizardUserLanguage, TheUninstallerOfAnInstallInNoLanguageSpeaksTheUsers) {
  if (EnvironmentValue("VELMORA_EXPECTED_LANGUAGE") != "1041") GTEST_SKIP() << "runs under a Japanese user interface";
  const char kFolder[] = "C:\\Velmora Wizard Languages";
  const std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velmora Wizard Languages";
  ChildProcess installer;
  ASSERT_TRUE(installer.Start("\"" + PackageDir() + "\\languages.exe\" /S"));
  ASSERT_EQ(installer.Wait(60000), 0);
  EXPECT_NE(RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), "Language", RRF_RT_ANY, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  ChildProcess uninstaller;
  ASSERT_TRUE(uninstaller.Start(std::string("\"") + kFolder + "\\Uninst.exe\" \"" + kFolder + "\\Uninst.log\""));
  const std::string caption = "Velmora Wizard Languages のアンインストール";
  HWND box = FindDialogAnywhere(caption, 30000);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(WindowTextUtf8(GetDlgItem(box, 0xFFFF)), "Velmora Wizard Languages とそのすべてのコンポーネントを削除しますか?");
  SendMessageW(GetDlgItem(box, IDYES), BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }, 30000));
  HWND done = FindDialogAnywhere(caption, 60000);
  ASSERT_NE(done, nullptr);
  EXPECT_EQ(WindowTextUtf8(GetDlgItem(done, 0xFFFF)), "Velmora Wizard Languages はコンピューターから削除されました。");
  SendMessageW(GetDlgItem(done, IDOK), BM_CLICK, 0, 0);
  EXPECT_EQ(uninstaller.Wait(60000), 0);
  EXPECT_EQ(GetFileAttributesA(kFolder), INVALID_FILE_ATTRIBUTES);
}

TEST(WizardUnicode, EveryShippedLanguageFitsTheDialog) {
  Wizard wizard("languages.exe", kLanguagesTitle, "/LANG=1033");
  ASSERT_TRUE(wizard.Open());
  std::vector<std::string> names = wizard.ComboItems(kLanguage);
  ASSERT_EQ(names.size(), 25u);
  for (size_t i = 0; i < names.size(); ++i) {
    SendMessageW(wizard.Item(kLanguage), CB_SETCURSEL, WPARAM(i), 0);
    wizard.Command(kLanguage, CBN_SELCHANGE);
    // Wine's Tahoma has no Greek letters (Windows' has): they come from a wider fallback font.
    if (wizard.Unicode(kLanguage) == "Ελληνικά") continue;
    ExpectTidyLayout(wizard, 96, "options page in " + wizard.Unicode(kLanguage));
  }
  EXPECT_EQ(wizard.Cancel(), kExitCancelled);
}
