#include <shlobj.h>
#include <string.h>

#include "Bstr.h"
#include "FontFaceName.h"
#include "InstallEngine.h"
#include "InstallScope.h"
#include "MappedFile.h"
#include "Memory.h"
#include "OwnedHandle.h"
#include "SystemApi.h"
#include "WideText.h"

namespace {
const uint32_t kClassesRoot = 0x80000000u;
const uint32_t kCurrentUser = 0x80000001u;
const uint32_t kLocalMachine = 0x80000002u;
const uint32_t kCurrentConfig = 0x80000005u;
const DWORD kAnyContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;

bool Given(BSTR text) { return text && text[0] != 0; }

// A running service gets this long to stop before it is reconfigured all the same.
const int kStopPolls = 50;
const DWORD kStopPollMs = 200;

// Stops the service and gives it the new record's program, name and start type; 0 or the error.
DWORD UpdateService(SC_HANDLE service, BSTR displayName, BSTR program, uint32_t startType) {
  SERVICE_STATUS status = {};
  if (ControlService(service, SERVICE_CONTROL_STOP, &status)) {
    for (int i = 0; i < kStopPolls && QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED;
         ++i)
      Sleep(kStopPollMs);
  }
  if (!ChangeServiceConfigW(service, SERVICE_WIN32_OWN_PROCESS, startType, SERVICE_ERROR_NORMAL, program, nullptr,
                            nullptr, nullptr, nullptr, nullptr, displayName))
    return GetLastError();
  return 0;
}

const char kFontsKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts\\";
const DWORD kBroadcastTimeoutMs = 1000;

// The name the font is listed by: its face's full name (else its file name without extension)
// and the kind of font.
Text FontValueName(const Text& path) {
  MappedFile file;
  Text name = file.Open(path.CStr()) ? FontFaceName(file.View(), file.Size()) : Text();
  if (name.Empty()) {
    uint32_t slash = path.FindLastChar('\\');
    name = slash == Text::kNotFound ? path : path.Mid(slash + 1);
    uint32_t dot = name.FindLastChar('.');
    if (dot != Text::kNotFound && dot > 0) name.Truncate(dot);
  }
  name.Append(" (TrueType)");
  return name;
}

// Whether the fonts list holds the name for another file: the system's own font, or another
// product's, keeps its entry.
bool ListedForAnother(bool perUser, const Text& valueName, const Text& path) {
  Text key(kFontsKey);
  key.Truncate(key.Length() - 1);
  wchar_t listed[MAX_PATH + 1] = {0};
  DWORD size = MAX_PATH * sizeof(wchar_t);
  if (RegGetValueW(perUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, WideText(key), WideText(valueName), RRF_RT_REG_SZ,
                   nullptr, listed, &size) != ERROR_SUCCESS)
    return false;
  return !WideText::SameIgnoringCase(WideText::ToText(listed), path);
}

// A caller's text, converted and expanded.
Text Expanded(InstallEngine& engine, BSTR text) {
  Text converted = Bstr::ToText(text);
  engine.ExpandText(converted);
  return converted;
}

// The registry root a script names by the first five characters of a key path, or 0.
uint32_t RootOf(BSTR path) {
  static const struct {
    const wchar_t* prefix;
    uint32_t root;
  } kRoots[] = {{L"HKLM\\", kLocalMachine}, {L"HKCR\\", kClassesRoot}, {L"HKCU\\", kCurrentUser},
                {L"HKCC\\", kCurrentConfig}};
  if (SysStringLen(path) < 5) return 0;
  for (const auto& r : kRoots)
    if (memcmp(path, r.prefix, 5 * sizeof(wchar_t)) == 0) return r.root;
  return 0;
}

// Quoted for the service manager when it holds a blank: unquoted, "C:\Program Files\x.exe" would
// also be tried as "C:\Program.exe", which anyone who can write to C:\ could plant.
bool QuoteIfNeeded(Bstr& path) {
  BSTR text = path.Get();
  UINT length = SysStringLen(text);
  if (length == 0 || text[0] == L'"' || !wcschr(text, L' ')) return true;
  BSTR quoted = SysAllocStringLen(nullptr, length + 2);
  if (!quoted) return false;
  quoted[0] = L'"';
  memcpy(quoted + 1, text, length * sizeof(wchar_t));
  quoted[length + 1] = L'"';
  path.CopyFrom(quoted);
  SysFreeString(quoted);
  return path.Get() != nullptr;
}
}  // namespace

HRESULT STDMETHODCALLTYPE InstallEngine::CreateShortcut(BSTR shortcutFile, BSTR target, BSTR description,
                                                        BSTR arguments, BSTR workingFolder, BSTR iconFile,
                                                        short iconIndex, short showCommand, short hotKey) {
  IShellLinkW* link = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link));
  if (FAILED(hr)) return hr;
  IPersistFile* file = nullptr;
  hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
  if (FAILED(hr)) {
    link->Release();
    return hr;
  }
  if (Given(arguments)) link->SetArguments(WideText(Expanded(*this, arguments)));
  if (Given(target)) link->SetPath(WideText(Expanded(*this, target)));
  if (Given(workingFolder)) link->SetWorkingDirectory(WideText(Expanded(*this, workingFolder)));
  if (Given(description)) link->SetDescription(WideText(Expanded(*this, description)));
  if (Given(iconFile) && iconIndex >= 0) link->SetIconLocation(WideText(Expanded(*this, iconFile)), iconIndex);
  link->SetShowCmd(showCommand);
  hr = link->SetHotkey(static_cast<WORD>(hotKey));
  if (SUCCEEDED(hr)) {
    Text path = Expanded(*this, shortcutFile);
    CreateFolders(path);
    uint32_t tail = path.Length() < 4 ? 0 : path.Length() - 4;
    if (lstrcmpiA(path.CStr() + tail, ".lnk") != 0) path.Append(".lnk");
    hr = file->Save(Bstr(path).Get(), TRUE);
    if (SUCCEEDED(hr)) WriteLog(3, path);
  }
  file->Release();
  link->Release();
  return hr;
}

HRESULT STDMETHODCALLTYPE InstallEngine::RegisterFont(BSTR fontFile) {
  AddFont(Expanded(*this, fontFile));
  return S_OK;
}

uint32_t InstallEngine::AddFont(const Text& path) {
  if (AddFontResourceW(WideText(path)) == 0) {
    DWORD error = GetLastError();
    return error ? error : ERROR_FILE_NOT_FOUND;
  }
  // Registered, the font is loaded again at every start; logged, the uninstaller removes the
  // value and the font with it. A name listed for another file stays as it is: this font is
  // loaded for the session only.
  Text valueName = FontValueName(path);
  uint32_t error = 0;
  if (ListedForAnother(perUser, valueName, path))
    installLog.Write("The fonts list names another file " + valueName + ": it stays, and " + path + " is not listed.");
  else
    error = SetRegistryValue(InstallScope::RegistryRoot(perUser), Text(kFontsKey) + valueName, REG_SZ,
                             reinterpret_cast<const uint8_t*>(path.CStr()), uint32_t(strlen(path.CStr())) + 1);
  SendMessageTimeoutW(HWND_BROADCAST, WM_FONTCHANGE, 0, 0, SMTO_ABORTIFHUNG, kBroadcastTimeoutMs, nullptr);
  return error;
}

HRESULT STDMETHODCALLTYPE InstallEngine::RegisterServer(BSTR libraryFile) {
  Text path = Expanded(*this, libraryFile);
  Library library(SystemApi::LoadLibraryWithItsFolder(path.CStr()));
  if (!library.Valid()) return E_FAIL;
  typedef HRESULT(STDAPICALLTYPE * RegisterFn)();
  RegisterFn registerServer = reinterpret_cast<RegisterFn>(GetProcAddress(library.Get(), "DllRegisterServer"));
  if (!registerServer) return E_FAIL;
  HRESULT hr;
  {
    UserClasses classes(perUser);
    hr = registerServer();
  }
  if (SUCCEEDED(hr)) WriteLog(4, path);
  return hr;
}

HRESULT STDMETHODCALLTYPE InstallEngine::RegisterTypeLib(BSTR typeLibraryFile, BSTR helpFolder) {
  Bstr file;
  Bstr help;
  if (!file.CopyFrom(typeLibraryFile) || !help.CopyFrom(helpFolder)) return E_OUTOFMEMORY;
  ExpandBstr(file.Address());
  ExpandBstr(help.Address());
  ITypeLib* library = nullptr;
  HRESULT hr = LoadTypeLib(file.Get(), &library);
  if (FAILED(hr)) return hr;
  wchar_t guid[80] = {0};
  TLIBATTR* attributes = nullptr;
  if (SUCCEEDED(library->GetLibAttr(&attributes))) {
    StringFromGUID2(attributes->guid, guid, 80);
    library->ReleaseTLibAttr(attributes);
  }
  {
    UserClasses classes(perUser);
    hr = ::RegisterTypeLib(library, file.Get(), help.Get());
  }
  if (SUCCEEDED(hr)) WriteLog(7, Bstr::ToTextUntilZero(guid, 80));
  library->Release();
  return hr;
}

HRESULT STDMETHODCALLTYPE InstallEngine::CreateObject(BSTR progId, IDispatch** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  Bstr name;
  if (!name.CopyFrom(progId)) return E_OUTOFMEMORY;
  ExpandBstr(name.Address());
  CLSID type;
  HRESULT hr = CLSIDFromProgID(name.Get(), &type);
  if (FAILED(hr)) return hr;
  return CoCreateInstance(type, nullptr, kAnyContext, IID_IDispatch, reinterpret_cast<void**>(object));
}

HRESULT STDMETHODCALLTYPE InstallEngine::AddRegKey(BSTR keyPath, LONG valueType, VARIANT value) {
  Bstr path;
  if (!path.CopyFrom(keyPath)) return E_OUTOFMEMORY;
  ExpandBstr(path.Address());
  uint32_t root = RootOf(path.Get());
  if (root == 0) return S_OK;

  VARIANT converted;
  VariantInit(&converted);
  Text data;
  uint32_t size = 0;
  HRESULT hr = S_OK;
  switch (valueType) {
    case REG_SZ:
    case REG_EXPAND_SZ:
    case REG_MULTI_SZ: {
      hr = VariantChangeType(&converted, &value, 0, VT_BSTR);
      if (FAILED(hr)) break;
      Bstr text;
      if (!text.CopyFrom(V_BSTR(&converted))) {
        hr = E_OUTOFMEMORY;
        break;
      }
      ExpandBstr(text.Address());
      data = Bstr::ToText(text.Get());
      data.Append('\0');
      size = data.Length();
      break;
    }
    case REG_BINARY: {
      hr = VariantChangeType(&converted, &value, 0, VT_ARRAY | VT_UI1);
      if (FAILED(hr)) break;
      BSTR packed = nullptr;
      if (FAILED(BstrFromVector(V_ARRAY(&converted), &packed))) {
        hr = E_INVALIDARG;
        break;
      }
      // The bytes travel as a text, as scripts pass them; the size is in the text's own units.
      size = SysStringLen(packed);
      data = Bstr::ToTextUntilZero(packed, size);
      SysFreeString(packed);
      // Never more than the text holds, zeros after it.
      if (data.Length() > size) data.Truncate(size);
      while (data.Length() < size) data.Append('\0');
      break;
    }
    case REG_DWORD: {
      hr = VariantChangeType(&converted, &value, 0, VT_UI4);
      if (FAILED(hr)) break;
      ULONG number = V_UI4(&converted);
      data = Text(reinterpret_cast<const char*>(&number), 4);
      size = 4;
      break;
    }
    default:
      hr = E_INVALIDARG;
      break;
  }
  VariantClear(&converted);
  if (FAILED(hr)) return hr;
  Text rest = Bstr::ToText(path.Get()).Mid(5);
  SetRegistryValue(root, rest, static_cast<uint32_t>(valueType), reinterpret_cast<const uint8_t*>(data.Data()),
                   size);
  return S_OK;
}

HRESULT InstallEngine::InstallService(BSTR name, BSTR displayName, BSTR description, BSTR executable,
                                      uint32_t startType) {
  ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager.Valid()) {
    ReportOutcome("Service " + Bstr::ToText(name), GetLastError());
    return E_FAIL;
  }
  Bstr serviceName, shownName, text, program;
  if (!serviceName.CopyFrom(name) || !shownName.CopyFrom(displayName) || !text.CopyFrom(description) ||
      !program.CopyFrom(executable))
    return E_FAIL;
  ExpandBstr(serviceName.Address());
  ExpandBstr(shownName.Address());
  ExpandBstr(text.Address());
  ExpandBstr(program.Address());
  if (!QuoteIfNeeded(program)) return E_FAIL;
  Text loggedName = Bstr::ToText(serviceName.Get());
  ServiceHandle service(CreateServiceW(manager.Get(), serviceName.Get(), shownName.Get(), SERVICE_ALL_ACCESS,
                                       SERVICE_WIN32_OWN_PROCESS, startType, SERVICE_ERROR_NORMAL, program.Get(),
                                       nullptr, nullptr, nullptr, nullptr, nullptr));
  DWORD error = service.Valid() ? 0 : GetLastError();
  // An earlier run of this product made it: it is updated to this record and logged again.
  if (error == ERROR_SERVICE_EXISTS && logText.RecordedEarlier(8, loggedName)) {
    error = 0;
    *service.Receive() = OpenServiceW(manager.Get(), serviceName.Get(), SERVICE_ALL_ACCESS);
    if (service.Valid()) error = UpdateService(service.Get(), shownName.Get(), program.Get(), startType);
    else error = GetLastError();
  }
  ReportOutcome("Service " + loggedName, error);
  if (error) return E_FAIL;
  if (SystemApi::ChangeServiceConfig2WFn configure = SystemApi::ChangeServiceConfig2W()) {
    SERVICE_DESCRIPTIONW describe = {text.Get()};
    configure(service.Get(), SERVICE_CONFIG_DESCRIPTION, &describe);
  }
  service.Reset();
  // The name the service manager knows, so that the uninstaller finds the service.
  WriteLog(8, loggedName);
  return S_OK;
}
