#include "Bstr.h"
#include "CopyProgress.h"
#include "InstallEngine.h"
#include "Kilobytes.h"
#include "Memory.h"
#include "OwnedHandle.h"
#include "FolderListing.h"

namespace {
// Files are copied through a buffer of this size: any size fits, also in a 32-bit process.
const DWORD kCopyChunk = 65536;

// Frees the copy buffer on every way out.
class CopyBuffer {
 public:
  CopyBuffer() : bytes_(static_cast<uint8_t*>(MemAlloc(kCopyChunk))) {}
  ~CopyBuffer() { MemFree(bytes_); }
  CopyBuffer(const CopyBuffer&) = delete;
  CopyBuffer& operator=(const CopyBuffer&) = delete;
  uint8_t* Get() const { return bytes_; }

 private:
  uint8_t* bytes_;
};
}  // namespace

HRESULT STDMETHODCALLTYPE InstallEngine::CopyFile(BSTR source, BSTR destination) {
  Text from = Bstr::ToText(source);
  Text to = Bstr::ToText(destination);
  ExpandText(from);
  ExpandText(to);
  CreateFolders(to);
  // Shared for reading only: the same file as destination then cannot be opened for writing.
  FileHandle input(CreateFileA(from.CStr(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  LARGE_INTEGER length;
  CopyBuffer buffer;
  if (!input.Valid() || !GetFileSizeEx(input.Get(), &length) || !buffer.Get()) return E_INVALIDARG;
  CopyProgress progress(uint64_t(length.QuadPart));
  FileHandle output(CreateFileA(to.CStr(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!output.Valid()) return E_INVALIDARG;
  uint64_t copied = 0;
  int percent = 0;
  for (;;) {
    DWORD read = 0;
    DWORD written = 0;
    bool ok = ReadFile(input.Get(), buffer.Get(), kCopyChunk, &read, nullptr) != 0;
    if (ok && read == 0) break;
    if (!ok || !WriteFile(output.Get(), buffer.Get(), read, &written, nullptr) || written != read) {
      // No shortened copy stays behind looking like the file.
      output.Reset();
      DeleteFileA(to.CStr());
      return E_INVALIDARG;
    }
    copied += read;
    while (progress.Next(copied, &percent)) OnProgress(to, percent);
  }
  OnProgress(to, 100);
  doneKb = Kilobytes::Add(doneKb, Kilobytes::FromBytes(copied));
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
  if (!listing.Open(from) || !copyTrail.Enter(from)) return S_OK;
  while (listing.Next()) {
    Bstr nestedSource(from + "\\" + listing.Name());
    Bstr nestedDestination(to + "\\" + listing.Name());
    if (listing.IsFolder())
      CopyFolder(nestedSource.Get(), nestedDestination.Get());
    else
      static_cast<IInstallerObject*>(this)->CopyFile(nestedSource.Get(), nestedDestination.Get());
  }
  copyTrail.Leave();
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
  // Nothing more of the run happens: no further actions, no log, no registration. Only this
  // run's temporary folder goes, as the engine's end would have removed it.
  RemoveTempFolder();
  ExitProcess(1);
}
