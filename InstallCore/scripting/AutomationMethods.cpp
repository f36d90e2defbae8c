#include <string.h>

#include "Bstr.h"
#include "ExitCodes.h"
#include "InstallEngine.h"
#include "Kilobytes.h"
#include "MappedFile.h"
#include "OwnedHandle.h"
#include "FolderListing.h"

namespace {
const uint32_t kProgressStep = 2000;

int CopyPercent(uint32_t done, uint32_t total) {
  return int(total <= 100000 ? done * 100 / total : done / (total / 100));
}

// Whether both paths name one file, however spelled.
bool SameFile(const Text& a, const Text& b) {
  BY_HANDLE_FILE_INFORMATION first, second;
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  FileHandle one(CreateFileA(a.CStr(), 0, share, nullptr, OPEN_EXISTING, 0, nullptr));
  FileHandle two(CreateFileA(b.CStr(), 0, share, nullptr, OPEN_EXISTING, 0, nullptr));
  return one.Valid() && two.Valid() && GetFileInformationByHandle(one.Get(), &first) &&
         GetFileInformationByHandle(two.Get(), &second) && first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

struct Copy {
  const MappedFile* input;
  Text destination;  // the name progress is shown with, wherever the bytes go first
};

bool CopyMapped(InstallEngine& engine, const char* path, void* context) {
  const Copy* copy = static_cast<const Copy*>(context);
  uint32_t size = copy->input->Size();
  const uint8_t* from = copy->input->View();
  MappedFile output;
  if (!output.Create(path, size)) return false;
  // Progress after the byte at every multiple of the step, as if copied one by one.
  uint32_t copied = 0;
  for (uint32_t mark = kProgressStep; mark < size; mark += kProgressStep) {
    memcpy(output.View() + copied, from + copied, mark + 1 - copied);
    copied = mark + 1;
    engine.OnProgress(copy->destination, CopyPercent(mark, size));
  }
  memcpy(output.View() + copied, from + copied, size - copied);
  engine.OnProgress(copy->destination, 100);
  return true;
}
}  // namespace

HRESULT STDMETHODCALLTYPE InstallEngine::CopyFile(BSTR source, BSTR destination) {
  Text from = Bstr::ToText(source);
  Text to = Bstr::ToText(destination);
  ExpandText(from);
  ExpandText(to);
  CreateFolders(to);
  uint32_t size;
  {
    MappedFile input;
    if (!input.Open(from.CStr()) || input.Size() == 0) return E_INVALIDARG;
    size = input.Size();
    // The source is open for reading: a copy onto itself would only wait for a restart.
    if (SameFile(from, to)) return E_INVALIDARG;
    Copy copy = {&input, to};
    if (uint32_t error = PlaceFile(to, CopyMapped, &copy)) {
      SetLastError(error);
      return E_INVALIDARG;
    }
  }
  doneKb = Kilobytes::Add(doneKb, size / 1024);
  WriteLog(3, to);
  return S_OK;
}

HRESULT InstallEngine::CopyFolder(BSTR source, BSTR destination) {
  Text from = Bstr::ToText(source);
  Text to = Bstr::ToText(destination);
  from.TrimRight('\\');
  to.TrimRight('\\');
  ExpandText(from);
  ExpandText(to);
  FolderListing listing;
  if (!listing.Open(from)) {
    ReportOutcome("Copy " + from, GetLastError());
    return S_OK;
  }
  while (listing.Next()) {
    Bstr nestedSource(from + "\\" + listing.Name());
    Bstr nestedDestination(to + "\\" + listing.Name());
    if (listing.IsFolder())
      CopyFolder(nestedSource.Get(), nestedDestination.Get());
    else
      ReportOutcome("Copy " + to + "\\" + listing.Name(),
                    FailureCode(static_cast<IInstallerObject*>(this)->CopyFile(nestedSource.Get(),
                                                                                nestedDestination.Get())));
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE InstallEngine::VersionMajor(short* value) {
  if (value) *value = 3;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE InstallEngine::VersionMinor(short* value) {
  if (value) *value = 1;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE InstallEngine::RunProgram(BSTR program, BSTR arguments, VARIANT_BOOL wait,
                                                    LONG* exitCode) {
  Text path = Bstr::ToText(program);
  Text line = Bstr::ToText(arguments);
  ExpandText(path);
  ExpandText(line);
  DWORD code = 0;
  bool waited = wait == VARIANT_TRUE;
  if (!StartProgram(path, line, waited, &code)) return E_FAIL;
  if (waited && exitCode) *exitCode = static_cast<LONG>(code);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE InstallEngine::ShowMessage(BSTR text, BSTR caption, LONG style, LONG* button) {
  Text message = Bstr::ToText(text);
  Text title = Bstr::ToText(caption);
  ExpandText(message);
  ExpandText(title);
  int pressed = MessageBoxA(nullptr, message.CStr(), title.CStr(), static_cast<UINT>(style));
  if (button) *button = pressed;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE InstallEngine::Variables(BSTR name, BSTR* value) {
  if (value) *value = Bstr(GetVariable(Bstr::ToText(name))).Release();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE InstallEngine::Variables(BSTR name, BSTR value) {
  SetVariable(Bstr::ToText(name), Bstr::ToText(value));
  return S_OK;
}

HRESULT STDMETHODCALLTYPE InstallEngine::CancelInstall() {
  // No further actions run; what the run installed so far stays registered and logged, so the
  // uninstaller can remove it.
  if (!registeredPath.Empty()) RegisterUninstall(logName.CStr());
  installLog.Write("A script cancelled the install.");
  installLog.WriteExitCode(kExitFailed);
  ExitProcess(kExitFailed);
}
