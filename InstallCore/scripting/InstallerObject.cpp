#include "InstallEngine.h"

const IID IID_IInstallerObject = {0x4056564B, 0x5D97, 0x4798, {0x8B, 0xCF, 0x6D, 0x70, 0x9D, 0x4F, 0xA1, 0xEE}};

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

// Late binding comes with the script host.
HRESULT STDMETHODCALLTYPE InstallEngine::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE InstallEngine::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                                UINT*) {
  return E_NOTIMPL;
}
