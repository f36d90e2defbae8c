#include <string.h>

#include "Bstr.h"
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

// The members below come with the script host and the registration methods.

HRESULT STDMETHODCALLTYPE InstallEngine::VersionMajor(short*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE InstallEngine::VersionMinor(short*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE InstallEngine::RunProgram(BSTR, BSTR, VARIANT_BOOL, LONG*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE InstallEngine::CreateShortcut(BSTR, BSTR, BSTR, BSTR, BSTR, BSTR, short, short, short) {
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE InstallEngine::RegisterFont(BSTR) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE InstallEngine::RegisterServer(BSTR) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE InstallEngine::RegisterTypeLib(BSTR, BSTR) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE InstallEngine::ShowMessage(BSTR, BSTR, LONG, LONG*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE InstallEngine::Variables(BSTR, BSTR* value) {
  if (value) *value = nullptr;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE InstallEngine::Variables(BSTR, BSTR) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE InstallEngine::CancelInstall() { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE InstallEngine::CreateObject(BSTR, IDispatch** object) {
  if (object) *object = nullptr;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE InstallEngine::AddRegKey(BSTR, LONG, VARIANT) { return E_NOTIMPL; }

HRESULT InstallEngine::InstallService(BSTR, BSTR, BSTR, BSTR, uint32_t) { return E_NOTIMPL; }
