#include "Bstr.h"
#include "CopyProgress.h"
#include "ExitCodes.h"
#include "InstallEngine.h"
#include "Kilobytes.h"
#include "Memory.h"
#include "OwnedHandle.h"
#include "FolderListing.h"
#include "WideText.h"

namespace {
// Files are copied through a buffer of this size: any size fits, also in a 32-bit process.
const DWORD kCopyChunk = 65536;

// Whether both paths name one file, however spelled.
bool SameFile(const Text& a, const Text& b) {
  BY_HANDLE_FILE_INFORMATION first, second;
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  FileHandle one(CreateFileW(WideText(a), 0, share, nullptr, OPEN_EXISTING, 0, nullptr));
  FileHandle two(CreateFileW(WideText(b), 0, share, nullptr, OPEN_EXISTING, 0, nullptr));
  return one.Valid() && two.Valid() && GetFileInformationByHandle(one.Get(), &first) &&
         GetFileInformationByHandle(two.Get(), &second) && first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

// The button a message box of this style answers when Enter is pressed at once.
int DefaultButton(UINT style) {
  static const int kButtons[][3] = {
      {IDOK, 0, 0},         {IDOK, IDCANCEL, 0},         {IDABORT, IDRETRY, IDIGNORE},
      {IDYES, IDNO, IDCANCEL}, {IDYES, IDNO, 0},         {IDRETRY, IDCANCEL, 0},
      {IDCANCEL, IDTRYAGAIN, IDCONTINUE},
  };
  UINT type = style & MB_TYPEMASK;
  UINT index = (style & MB_DEFMASK) >> 8;
  if (type >= sizeof(kButtons) / sizeof(kButtons[0])) return IDOK;
  return index < 3 && kButtons[type][index] ? kButtons[type][index] : kButtons[type][0];
}

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

struct Copy {
  HANDLE input;
  uint64_t size;
  Text destination;  // the name progress is shown with, wherever the bytes go first
  uint64_t copied;
};

// Streams the source into a new file at path; no shortened copy stays behind looking like the file.
bool CopyStreamed(InstallEngine& engine, const char* path, void* context) {
  Copy* copy = static_cast<Copy*>(context);
  CopyBuffer buffer;
  LARGE_INTEGER start = {};
  // A second attempt, beside a file in use, starts over.
  if (!buffer.Get() || !SetFilePointerEx(copy->input, start, nullptr, FILE_BEGIN)) return false;
  WideText widePath(path);
  FileHandle output(CreateFileW(widePath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!output.Valid()) return false;
  CopyProgress progress(copy->size);
  uint64_t copied = 0;
  int percent = 0;
  for (;;) {
    DWORD read = 0;
    DWORD written = 0;
    bool ok = ReadFile(copy->input, buffer.Get(), kCopyChunk, &read, nullptr) != 0;
    if (ok && read == 0) break;
    if (!ok || !WriteFile(output.Get(), buffer.Get(), read, &written, nullptr) || written != read) {
      DWORD error = GetLastError();
      output.Reset();
      DeleteFileW(widePath);
      SetLastError(error ? error : ERROR_WRITE_FAULT);
      return false;
    }
    copied += read;
    while (progress.Next(copied, &percent)) engine.OnProgress(copy->destination, percent);
  }
  engine.OnProgress(copy->destination, 100);
  copy->copied = copied;
  return true;
}
}  // namespace

HRESULT STDMETHODCALLTYPE InstallEngine::CopyFile(BSTR source, BSTR destination) {
  Text from = Bstr::ToText(source);
  Text to = Bstr::ToText(destination);
  ExpandText(from);
  ExpandText(to);
  CreateFolders(to);
  // Shared for reading only: nothing changes the source while it is copied.
  FileHandle input(CreateFileW(WideText(from), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  LARGE_INTEGER length;
  if (!input.Valid() || !GetFileSizeEx(input.Get(), &length)) return E_INVALIDARG;
  // The source is open for reading: a copy onto itself would only wait for a restart.
  if (SameFile(from, to)) return E_INVALIDARG;
  Copy copy = {input.Get(), uint64_t(length.QuadPart), to, 0};
  if (uint32_t error = PlaceFile(to, CopyStreamed, &copy)) {
    SetLastError(error);
    return E_INVALIDARG;
  }
  doneKb = Kilobytes::Add(doneKb, Kilobytes::FromBytes(copy.copied));
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
  // A folder inside itself (through a link) or too deep is not copied.
  if (!copyTrail.Enter(from)) {
    ReportOutcome("Copy " + from, ERROR_CANT_RESOLVE_FILENAME);
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
  if (silent) {
    // Nobody is there to click: the log keeps the message, and its default button answers.
    installLog.Write("Message (" + title + "): " + message);
    if (button) *button = DefaultButton(static_cast<UINT>(style));
    return S_OK;
  }
  int pressed = MessageBoxW(nullptr, WideText(message), WideText(title), static_cast<UINT>(style));
  if (button) *button = pressed;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE InstallEngine::Variables(BSTR name, BSTR* value) {
  if (value) *value = Bstr(GetVariable(Bstr::ToText(name))).Release();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE InstallEngine::Variables(BSTR name, BSTR value) {
  Text variable = Bstr::ToText(name);
  SetVariable(variable, Bstr::ToText(value));
  if (variable.Equals("ProductPath")) FollowProductPath();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE InstallEngine::CancelInstall() {
  // No further actions run; what the run installed so far stays registered and logged, so the
  // uninstaller can remove it.
  if (!registeredPath.Empty()) RegisterUninstall();
  installLog.Write("A script cancelled the install.");
  installLog.WriteExitCode(kExitFailed);
  // This run's temporary folder goes, as the engine's end would have removed it.
  RemoveTempFolder();
  ExitProcess(kExitFailed);
}
