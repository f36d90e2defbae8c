#include "InstallEngine.h"

const IID IID_IInstallerObject = {0x4056564B, 0x5D97, 0x4798, {0x8B, 0xCF, 0x6D, 0x70, 0x9D, 0x4F, 0xA1, 0xEE}};

namespace {
enum Member : DISPID {
  kVersionMajor = 1,
  kVersionMinor,
  kCopyFile,
  kRunProgram,
  kCreateShortcut,
  kRegisterFont,
  kRegisterServer,
  kRegisterTypeLib,
  kShowMessage,
  kVariables,
  kCancelInstall,
  kCreateObject,
  kAddRegKey,
};

struct MemberName {
  const wchar_t* name;
  DISPID id;
};

const MemberName kMembers[] = {
    {L"VersionMajor", kVersionMajor},     {L"VersionMinor", kVersionMinor},     {L"CopyFile", kCopyFile},
    {L"RunProgram", kRunProgram},         {L"CreateShortcut", kCreateShortcut}, {L"RegisterFont", kRegisterFont},
    {L"RegisterServer", kRegisterServer}, {L"RegisterTypeLib", kRegisterTypeLib}, {L"ShowMessage", kShowMessage},
    {L"Variables", kVariables},           {L"CancelInstall", kCancelInstall},   {L"CreateObject", kCreateObject},
    {L"AddRegKey", kAddRegKey},
};

// CreateShortcut's count, the largest.
const UINT kMaxArguments = 9;

// The arguments of one call in the script's order, each owned by its slot; every slot is cleared
// when the call ends, whichever way it ends.
class ArgumentSlots {
 public:
  explicit ArgumentSlots(const DISPPARAMS& params) : count_(params.cArgs) {
    for (VARIANT& slot : slots_) VariantInit(&slot);
    // The caller's array holds the arguments last first.
    for (UINT k = 0; k < count_; ++k) {
      HRESULT copied = VariantCopy(&slots_[k], &params.rgvarg[count_ - 1 - k]);
      if (FAILED(copied)) {
        VariantClear(&slots_[k]);
        V_VT(&slots_[k]) = VT_ERROR;
        V_ERROR(&slots_[k]) = copied;
      }
    }
  }
  ~ArgumentSlots() {
    for (VARIANT& slot : slots_) VariantClear(&slot);
  }
  ArgumentSlots(const ArgumentSlots&) = delete;
  ArgumentSlots& operator=(const ArgumentSlots&) = delete;

  UINT Count() const { return count_; }
  VARIANT& operator[](UINT k) { return slots_[k]; }
  bool Convert(UINT k, VARTYPE type) { return SUCCEEDED(VariantChangeType(&slots_[k], &slots_[k], 0, type)); }
  // Converts the first count slots to the given types, in order, stopping at the first failure.
  bool ConvertAll(const VARTYPE* types, UINT count) {
    for (UINT k = 0; k < count; ++k)
      if (!Convert(k, types[k])) return false;
    return true;
  }
  BSTR Text(UINT k) { return V_BSTR(&slots_[k]); }

 private:
  UINT count_;
  VARIANT slots_[kMaxArguments];
};

void SetShort(VARIANT* result, short value) {
  if (!result) return;
  V_VT(result) = VT_I2;
  V_I2(result) = value;
}

void SetLong(VARIANT* result, LONG value) {
  if (!result) return;
  V_VT(result) = VT_I4;
  V_I4(result) = value;
}
}  // namespace

HRESULT STDMETHODCALLTYPE InstallEngine::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IID_IInstallerObject)) {
    *object = static_cast<IInstallerObject*>(this);
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE InstallEngine::AddRef() { return 1; }

ULONG STDMETHODCALLTYPE InstallEngine::Release() { return 1; }

HRESULT STDMETHODCALLTYPE InstallEngine::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE InstallEngine::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE InstallEngine::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (count && (!names || !ids)) return E_POINTER;
  for (UINT i = 0; i < count; ++i) {
    bool found = false;
    for (const MemberName& member : kMembers) {
      if (names[i] && lstrcmpW(names[i], member.name) == 0) {
        ids[i] = member.id;
        found = true;
      }
    }
    if (!found) return DISP_E_UNKNOWNNAME;
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE InstallEngine::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                                VARIANT* result, EXCEPINFO*, UINT*) {
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  if (!params) params = &none;
  if (params->cNamedArgs != 0 &&
      (params->cNamedArgs != 1 || !params->rgdispidNamedArgs || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT))
    return DISP_E_NONAMEDARGS;
  if (params->cArgs > kMaxArguments) return DISP_E_BADPARAMCOUNT;
  if (params->cArgs && !params->rgvarg) return E_POINTER;
  if (result) VariantInit(result);

  ArgumentSlots a(*params);
  auto expects = [&a](UINT count) { return a.Count() == count; };
  switch (id) {
    case kVersionMajor:
    case kVersionMinor: {
      if (id == kVersionMinor && !(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
      if (!expects(0)) return DISP_E_BADPARAMCOUNT;
      short value = 0;
      HRESULT hr = id == kVersionMajor ? VersionMajor(&value) : VersionMinor(&value);
      SetShort(result, value);
      return hr;
    }
    case kCopyFile: {
      static const VARTYPE types[] = {VT_BSTR, VT_BSTR};
      if (!expects(2)) return DISP_E_BADPARAMCOUNT;
      if (!a.ConvertAll(types, 2)) return DISP_E_TYPEMISMATCH;
      return CopyFile(a.Text(0), a.Text(1));
    }
    case kRunProgram: {
      static const VARTYPE types[] = {VT_BSTR, VT_BSTR, VT_BOOL};
      if (!expects(3)) return DISP_E_BADPARAMCOUNT;
      if (!a.ConvertAll(types, 3)) return DISP_E_TYPEMISMATCH;
      // What a script reads when the program was not waited for or did not start.
      LONG exitCode = 0;
      HRESULT hr = RunProgram(a.Text(0), a.Text(1), V_BOOL(&a[2]), &exitCode);
      SetLong(result, exitCode);
      return hr;
    }
    case kCreateShortcut: {
      static const VARTYPE types[] = {VT_BSTR, VT_BSTR, VT_BSTR, VT_BSTR, VT_BSTR, VT_BSTR, VT_I2, VT_I2, VT_I2};
      if (!expects(9)) return DISP_E_BADPARAMCOUNT;
      if (!a.ConvertAll(types, 9)) return DISP_E_TYPEMISMATCH;
      return CreateShortcut(a.Text(0), a.Text(1), a.Text(2), a.Text(3), a.Text(4), a.Text(5), V_I2(&a[6]),
                            V_I2(&a[7]), V_I2(&a[8]));
    }
    case kRegisterFont:
    case kRegisterServer: {
      if (!expects(1)) return DISP_E_BADPARAMCOUNT;
      if (!a.Convert(0, VT_BSTR)) return DISP_E_TYPEMISMATCH;
      return id == kRegisterFont ? RegisterFont(a.Text(0)) : RegisterServer(a.Text(0));
    }
    case kRegisterTypeLib: {
      static const VARTYPE types[] = {VT_BSTR, VT_BSTR};
      if (!expects(2)) return DISP_E_BADPARAMCOUNT;
      if (!a.ConvertAll(types, 2)) return DISP_E_TYPEMISMATCH;
      return RegisterTypeLib(a.Text(0), a.Text(1));
    }
    case kShowMessage: {
      static const VARTYPE types[] = {VT_BSTR, VT_BSTR, VT_I4};
      if (!expects(3)) return DISP_E_BADPARAMCOUNT;
      if (!a.ConvertAll(types, 3)) return DISP_E_TYPEMISMATCH;
      LONG button = 0;
      HRESULT hr = ShowMessage(a.Text(0), a.Text(1), V_I4(&a[2]), &button);
      SetLong(result, button);
      return hr;
    }
    case kVariables: {
      if (!a.Convert(0, VT_BSTR)) return DISP_E_TYPEMISMATCH;
      if (flags & DISPATCH_PROPERTYGET) {
        if (!expects(1)) return DISP_E_BADPARAMCOUNT;
        BSTR value = nullptr;
        HRESULT hr = Variables(a.Text(0), &value);
        if (result) {
          V_VT(result) = VT_BSTR;
          V_BSTR(result) = value;
        } else {
          SysFreeString(value);
        }
        return hr;
      }
      if (!(flags & DISPATCH_PROPERTYPUT)) return DISP_E_MEMBERNOTFOUND;
      if (!expects(2)) return DISP_E_BADPARAMCOUNT;
      if (!a.Convert(1, VT_BSTR)) return DISP_E_TYPEMISMATCH;
      return Variables(a.Text(0), a.Text(1));
    }
    case kCancelInstall:
      if (!expects(0)) return DISP_E_BADPARAMCOUNT;
      return CancelInstall();
    case kCreateObject: {
      if (!expects(1)) return DISP_E_BADPARAMCOUNT;
      if (!a.Convert(0, VT_BSTR)) return DISP_E_TYPEMISMATCH;
      IDispatch* object = nullptr;
      HRESULT hr = CreateObject(a.Text(0), &object);
      if (result && object) {
        V_VT(result) = VT_DISPATCH;
        V_DISPATCH(result) = object;
      } else if (object) {
        object->Release();
      }
      return hr;
    }
    case kAddRegKey: {
      static const VARTYPE types[] = {VT_BSTR, VT_I4};
      if (!expects(3)) return DISP_E_BADPARAMCOUNT;
      if (!a.ConvertAll(types, 2)) return DISP_E_TYPEMISMATCH;
      VARIANT value;
      VariantInit(&value);
      HRESULT hr = VariantCopyInd(&value, &a[2]);
      if (SUCCEEDED(hr)) hr = AddRegKey(a.Text(0), V_I4(&a[1]), value);
      VariantClear(&value);
      return hr;
    }
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}
