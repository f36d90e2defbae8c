#include "InstallEngine.h"

#include <shlobj.h>

#include "Bstr.h"
#include "InstallScope.h"
#include "PrivateFolder.h"
#include "SystemFolders.h"
#include "WideText.h"

namespace {

// Entry names of the component list: "%d\flags" and the like.
Text ComponentEntry(uint32_t component, const char* suffix) {
  Text name;
  name.AppendDecimal(component);
  name.Append('\\');
  name.Append(suffix);
  return name;
}

// Component names as an administrator types them: letter case aside.
bool SameName(const Text& a, const Text& b) {
  return a.Length() == b.Length() && WideText::SameIgnoringCase(a, b);
}

// The installer's folder: its path up to the last backslash.
Text FolderOf(const char* path) {
  Text full(path);
  uint32_t slash = full.FindLastChar('\\');
  return slash == Text::kNotFound ? Text() : full.Left(slash);
}
}  // namespace

InstallEngine::InstallEngine(const char* path)
    : PackageReader(path),
      totalKb(0),
      doneKb(0),
      noUninstaller(false),
      variables(WideText::IsLeadByte),
      installerPath(WideText::FromUtf8(FolderOf(path))),
      productFlags(kProductFolderChangeable),
      restartNeeded(false),
      perUser(false),
      scopeSettled(false),
      silent(false),
      logName("Uninst.log"),
      uninstallerName("uninst.exe") {
  LoadProductData();
  LoadComponents();
  AddBuiltInVariables();
  ExpandText(productPath);
  ExpandText(addedFolder);
  FindRegisteredInstall();
}

InstallEngine::~InstallEngine() { RemoveTempFolder(); }

void InstallEngine::RemoveTempFolder() {
  if (!tempPath.Empty()) PrivateFolder::Remove(tempPath);
  tempPath.Clear();
}

void InstallEngine::LoadProductData() {
  productName = ReadEntryString("ProductName");
  companyName = ReadEntryString("CompanyName");
  productVersion = ReadEntryString("ProductVersion");
  productPath = ReadEntryString("ProductPath");
  addedFolder = ReadEntryString("AddedFolder");
  addedFolder.Trim('\\');
  Text flags = ReadEntryString("flags");
  if (!flags.Empty()) {
    // A shorter entry counts its missing bytes as zero.
    productFlags = 0;
    for (uint32_t i = 0; i < 4 && i < flags.Length(); ++i)
      productFlags |= uint32_t(static_cast<unsigned char>(flags[i])) << (8 * i);
  }
  noUninstaller = FindEntry("uninst.exe") == nullptr;
  perUser = (productFlags & kProductPerUser) != 0;
  // An upgrade stays where the earlier install is.
  if (productFlags & kProductScopeChoice) {
    bool here = InstallScope::IsRegistered(productName, perUser);
    bool there = InstallScope::IsRegistered(productName, !perUser);
    if (there && !here) perUser = !perUser;
    scopeSettled = here || there;
  }
}

void InstallEngine::LoadComponents() {
  for (uint32_t n = 0;; ++n) {
    uint8_t* flags = ExtractToMemory(ComponentEntry(n, "flags").CStr(), nullptr);
    if (!flags) return;
    // An empty entry still has the zero byte behind its content.
    Component component{ReadEntryString(ComponentEntry(n, "name").CStr()),
                        ReadEntryString(ComponentEntry(n, "descr").CStr()), (flags[0] & 1) != 0,
                        (flags[0] & 2) != 0};
    MemFree(flags);
    components.Append(component);
  }
}

void InstallEngine::AddBuiltInVariables() {
  // The shared temporary folder is open to every user: what this run puts there for itself goes
  // into a folder of its own instead. Without one, nothing counts as temporary and every file is
  // logged for the uninstaller rather than deleted after its component.
  Text systemTemp = SystemFolders::Temp();
  tempPath = PrivateFolder::Create(systemTemp, "Velmora-");
  AddVariable("UninstallCommand", "${ProductPath}\\Uninst.exe");
  AddVariable("UninstallLog", "${ProductPath}\\Uninst.log");
  AddVariable("ProductPath", productPath);
  AddVariable("ProductMenu", productMenu);
  AddVariable("ProductName", productName);
  AddVariable("CompanyName", companyName);
  AddVariable("ProductVersion", productVersion);
  AddVariable("InstallerPath", installerPath);
  AddVariable("CommonProgramsMenu", InstallScope::Folder("CommonProgramsMenu", perUser));
  AddVariable("CommonStartMenu", InstallScope::Folder("CommonStartMenu", perUser));
  AddVariable("CommonStartupMenu", InstallScope::Folder("CommonStartupMenu", perUser));
  AddVariable("UserProgramsMenu", SystemFolders::Special(CSIDL_PROGRAMS));
  AddVariable("UserStartMenu", SystemFolders::Special(CSIDL_STARTMENU));
  AddVariable("UserStartupMenu", SystemFolders::Special(CSIDL_STARTUP));
  AddVariable("QuickLaunch", "${UserAppData}\\Microsoft\\Internet Explorer");
  AddVariable("UserAppData", SystemFolders::Special(CSIDL_APPDATA));
  AddVariable("CommonAppData", InstallScope::Folder("CommonAppData", perUser));
  AddVariable("DesktopPath", SystemFolders::Special(CSIDL_DESKTOPDIRECTORY));
  AddVariable("FontsPath", InstallScope::Folder("FontsPath", perUser));
  AddVariable("MyDocumentsPath", SystemFolders::Special(CSIDL_PERSONAL));
  AddVariable("SystemPath", SystemFolders::System());
  AddVariable("WindowsPath", SystemFolders::Windows());
  AddVariable("TempPath", tempPath.Empty() ? systemTemp : tempPath);
  AddVariable("ProgramsPath", InstallScope::Folder("ProgramsPath", perUser));
  AddVariable("CommonFiles", InstallScope::Folder("CommonFiles", perUser));
}

void InstallEngine::AddVariable(const Text& name, const Text& value) { variables.Add(name, value); }

void InstallEngine::SetVariable(const Text& name, const Text& value) { variables.Set(name, value); }

Text InstallEngine::GetVariable(const Text& name) const { return variables.Get(name); }

void InstallEngine::ExpandText(Text& text) { variables.Expand(text); }

void InstallEngine::ExpandBstr(BSTR* text) {
  Text expanded = Bstr::ToText(*text);
  ExpandText(expanded);
  Bstr fresh(expanded);
  if (!fresh.Get()) return;
  SysFreeString(*text);
  *text = fresh.Release();
}

void InstallEngine::UseScope(bool forCurrentUser) {
  perUser = forCurrentUser;
  scopeSettled = true;
  for (uint32_t i = 0; i < InstallScope::kVariableCount; ++i)
    SetVariable(InstallScope::kVariables[i], InstallScope::Folder(InstallScope::kVariables[i], perUser));
  productPath = ReadEntryString("ProductPath");
  ExpandText(productPath);
  // An install registered in the chosen scope is upgraded where it is.
  FindRegisteredInstall();
}

void InstallEngine::UseDestination(const Text& path) {
  productPath = path;
  SetVariable("ProductPath", path);
}

bool InstallEngine::SelectOnly(const List<Text>& names, Text* unknown) {
  for (const Text& name : names) {
    bool found = false;
    for (const Component& component : components) found = found || (component.listed && SameName(component.name, name));
    if (!found) {
      *unknown = name;
      return false;
    }
  }
  for (Component& component : components) {
    if (!component.listed) continue;
    component.selected = false;
    for (const Text& name : names) component.selected = component.selected || SameName(component.name, name);
  }
  return true;
}

void InstallEngine::UpdateOverallProgress() {}

bool InstallEngine::CanInstall() { return true; }

void InstallEngine::EnterProgressState() {}

uint16_t InstallEngine::RunLanguage() { return 0; }
