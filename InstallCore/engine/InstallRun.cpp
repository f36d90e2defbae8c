#include "FolderListing.h"
#include "InstallEngine.h"
#include "InstallLogText.h"
#include "Kilobytes.h"
#include "OwnedHandle.h"
#include "SystemApi.h"
#include "WideText.h"

namespace {
// "\Uninst99.log.journal", the longest name the uninstall record takes in the product's folder.
const uint32_t kLongestRecordName = 21;

uint64_t FileSize(const WIN32_FIND_DATAW& found) {
  return uint64_t(found.nFileSizeHigh) << 32 | found.nFileSizeLow;
}
}  // namespace

bool InstallEngine::RunInstall() {
  if (!CanInstall()) return false;
  // Without the wizard nothing else checks the destination: a relative one would install into
  // the current folder and log paths the uninstaller cannot trust, and from a long one the
  // uninstaller could not be started. A package that installs nothing needs none.
  if (InstallsAnything() && (!IsFullPath(productPath) || !FitsPathLimit(productPath))) {
    installLog.Write((IsFullPath(productPath) ? "The destination folder is too long to install into: "
                                              : "The destination folder is no full path: ") +
                     productPath);
    return false;
  }
  productPath.TrimRight('\\');
  if (productFlags & kProductUnattended) {
    UseDefaultMenu();
    // Scripts see the folder as the wizard's installs give it, not the entry's unexpanded text.
    SetVariable("ProductPath", productPath);
  } else {
    EnterProgressState();
    for (uint32_t c = 0; c < components.Count(); ++c)
      if (components[c].selected) totalKb = Kilobytes::Add(totalKb, ComponentSizeKb(c));
  }
  // Damage found before anything was installed leaves nothing to register.
  if (!DamagedEntry().Empty()) return true;
  // Registered before the first change, with the log kept on disk as it grows: a run that ends
  // early still leaves everything it changed removable.
  if (!noUninstaller) StartUninstallRecord();
  for (uint32_t c = 0; c < components.Count() && DamagedEntry().Empty(); ++c) {
    if (!components[c].selected) continue;
    RunComponentActions(c);
    CleanTempFiles();
  }
  // Also after a damaged entry stopped the run: what was installed until then stays removable.
  if (!noUninstaller) RegisterUninstall();
  return true;
}

void InstallEngine::ReportOutcome(const Text& action, uint32_t error) {
  installLog.WriteOutcome(action, error);
  if (error == 0) return;
  failures.Append(action + " (error " + InstallLogText::ErrorNumber(error) + ")");
}

uint32_t InstallEngine::RunExitCode() const {
  if (failures.Count() > 0) return kExitInstalledWithFailures;
  return restartNeeded ? kExitRestartNeeded : kExitInstalled;
}

bool InstallEngine::FitsPathLimit(const Text& folder) const {
  Text trimmed(folder);
  trimmed.TrimRight('\\');
  return noUninstaller || uint32_t(WideText(trimmed).Length()) + kLongestRecordName < MAX_PATH;
}

bool InstallEngine::InstallsAnything() const {
  if (!noUninstaller) return true;
  for (const Component& component : components)
    if (component.selected) return true;
  return false;
}

void InstallEngine::UseDefaultMenu() {
  // As the wizard would propose it: the product's folder below the user's or the common
  // programs menu.
  Text folder = ReadEntryString("AddedMenu");
  ExpandText(folder);
  folder.TrimLeft('\\');
  productMenu = ProgramsMenuBase();
  productMenu.Append(folder);
  SetVariable("ProductMenu", productMenu);
}

Text InstallEngine::ProgramsMenuBase() {
  return Text(ReadEntryString("UserMenu").Equals("0") ? "${CommonProgramsMenu}\\" : "${UserProgramsMenu}\\");
}

uint32_t InstallEngine::ComponentSizeKb(uint32_t component) {
  uint32_t total = 0;
  for (uint32_t n = 0;; ++n) {
    Text name = ActionRecord::EntryName(component, n);
    if (!FindEntry(name.CStr())) return total;
    if (const CatalogEntry* data = FindEntry((name + ".f").CStr())) {
      total = Kilobytes::Add(total, data->size / 1024);
    } else if (FindEntry((name + ".p").CStr())) {
      Text path = ReadEntryString((name + ".p").CStr());
      ExpandText(path);
      WIN32_FIND_DATAW found;
      FindHandle find(FindFirstFileW(WideText(path), &found));
      if (find.Valid()) total = Kilobytes::Add(total, Kilobytes::FromBytes(FileSize(found)));
    } else {
      Text folder = ReadEntryString((name + ".d").CStr());
      if (!folder.Empty()) total = Kilobytes::Add(total, FolderSizeKb(folder));
    }
  }
}

uint32_t InstallEngine::FolderSizeKb(const Text& path) {
  FolderTrail trail;
  return FolderSizeKb(path, trail);
}

uint32_t InstallEngine::FolderSizeKb(const Text& path, FolderTrail& trail) {
  Text folder(path);
  folder.TrimRight('\\');
  ExpandText(folder);
  FolderListing listing;
  uint32_t total = 0;
  if (!listing.Open(folder) || !trail.Enter(folder)) return 0;
  while (listing.Next()) {
    uint32_t size = listing.IsFolder() ? FolderSizeKb(folder + "\\" + listing.Name(), trail)
                                       : Kilobytes::FromBytes(listing.Size());
    total = Kilobytes::Add(total, size);
  }
  trail.Leave();
  return total;
}

uint32_t InstallEngine::RequiredSpaceKb() {
  uint32_t total = noUninstaller ? 0 : 11;
  for (uint32_t c = 0; c < components.Count(); ++c)
    if (components[c].selected) total = Kilobytes::Add(total, ComponentSizeKb(c));
  return total;
}

uint32_t InstallEngine::FreeSpaceKb(const Text& path) {
  Text root;
  if (path.Length() >= 2 && path[0] == '\\' && path[1] == '\\') {
    root = path;
    if (path[path.Length() - 1] != '\\') root.Append('\\');
  } else {
    root = path.Left(2);
  }
  WideText wideRoot(root);
  if (SystemApi::GetDiskFreeSpaceExWFn freeSpaceEx = SystemApi::GetDiskFreeSpaceExW()) {
    ULARGE_INTEGER available, total, free;
    if (!freeSpaceEx(wideRoot, &available, &total, &free)) return 0;
    return Kilobytes::FromBytes(available.QuadPart);
  }
  DWORD sectorsPerCluster, bytesPerSector, freeClusters, clusters;
  if (!GetDiskFreeSpaceW(wideRoot, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters)) return 0;
  return Kilobytes::FromBytes(uint64_t(sectorsPerCluster) * bytesPerSector * freeClusters);
}
