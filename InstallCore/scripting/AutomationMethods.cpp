#include <string.h>

#include "Bstr.h"
#include "ExitCodes.h"
#include "InstallEngine.h"
#include "Kilobytes.h"
#include "MappedFile.h"
#include "FolderListing.h"

namespace {
const uint32_t kProgressStep = 2000;

int CopyPercent(uint32_t done, uint32_t total) {
  return int(total <= 100000 ? done * 100 / total : done / (total / 100));
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
    MappedFile output;
    if (!output.Create(to.CStr(), size)) return E_INVALIDARG;
    // Progress after the byte at every multiple of the step, as if copied one by one.
    uint32_t copied = 0;
    for (uint32_t mark = kProgressStep; mark < size; mark += kProgressStep) {
      memcpy(output.View() + copied, input.View() + copied, mark + 1 - copied);
      copied = mark + 1;
      OnProgress(to, CopyPercent(mark, size));
    }
    memcpy(output.View() + copied, input.View() + copied, size - copied);
    OnProgress(to, 100);
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
  if (!listing.Open(from)) return S_OK;
  while (listing.Next()) {
    Bstr nestedSource(from + "\\" + listing.Name());
    Bstr nestedDestination(to + "\\" + listing.Name());
    if (listing.IsFolder())
      CopyFolder(nestedSource.Get(), nestedDestination.Get());
    else
      static_cast<IInstallerObject*>(this)->CopyFile(nestedSource.Get(), nestedDestination.Get());
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
  // Nothing more of the run happens: no further actions, no log, no registration.
  installLog.Write("A script cancelled the install.");
  installLog.WriteExitCode(kExitFailed);
  ExitProcess(kExitFailed);
}
