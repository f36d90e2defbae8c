#include "ScriptHost.h"

#include "Bstr.h"

namespace {
const DWORD kAnyContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;
}

ScriptHost::~ScriptHost() {
  if (itemObject) itemObject->Release();
  SysFreeString(itemName);
}

HRESULT ScriptHost::RunScript(const Text& progId, const Text& script, const Text& item, IDispatch* object) {
  SysFreeString(itemName);
  itemName = Bstr(item).Release();
  if (object) object->AddRef();
  if (itemObject) itemObject->Release();
  itemObject = object;

  CLSID engineClass;
  IActiveScript* engine = nullptr;
  HRESULT hr = CLSIDFromProgID(Bstr(progId).Get(), &engineClass);
  if (SUCCEEDED(hr))
    hr = CoCreateInstance(engineClass, nullptr, kAnyContext, IID_IActiveScript, reinterpret_cast<void**>(&engine));
  if (FAILED(hr)) return hr;

  IActiveScriptParse* parser = nullptr;
  hr = engine->SetScriptSite(static_cast<IActiveScriptSite*>(this));
  if (SUCCEEDED(hr)) hr = engine->QueryInterface(IID_IActiveScriptParse, reinterpret_cast<void**>(&parser));
  if (SUCCEEDED(hr)) hr = parser->InitNew();
  if (SUCCEEDED(hr)) hr = engine->AddNamedItem(Bstr(item).Get(), SCRIPTITEM_ISVISIBLE | SCRIPTITEM_ISSOURCE);
  if (SUCCEEDED(hr))
    hr = parser->ParseScriptText(Bstr(script).Get(), nullptr, nullptr, nullptr, 0, 0, SCRIPTTEXT_ISVISIBLE,
                                 nullptr, nullptr);
  // The script's global code runs inside this call; its calls on the named item are nested in it.
  if (SUCCEEDED(hr)) hr = engine->SetScriptState(SCRIPTSTATE_CONNECTED);
  // Engines differ in whether a run that raised an error fails; the site heard of it either way.
  if (SUCCEEDED(hr) && FAILED(scriptError)) hr = scriptError;
  // Closing drops the engine's references to the site and the named item now; an engine that
  // something else still holds would otherwise keep calling into a host that is gone.
  engine->Close();
  engine->Release();
  if (parser) parser->Release();
  return hr;
}

HRESULT STDMETHODCALLTYPE ScriptHost::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IActiveScriptSite))
    *object = static_cast<IActiveScriptSite*>(this);
  else if (IsEqualIID(iid, IID_IActiveScriptSiteDebug))
    *object = static_cast<IActiveScriptSiteDebug*>(this);
  else if (IsEqualIID(iid, IID_IActiveScriptSiteWindow))
    *object = static_cast<IActiveScriptSiteWindow*>(this);
  else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ScriptHost::GetLCID(LCID*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE ScriptHost::GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** info) {
  if (info && (mask & SCRIPTINFO_ITYPEINFO)) *info = nullptr;
  if (item && (mask & SCRIPTINFO_IUNKNOWN)) {
    *item = nullptr;
    // Unit by unit: the item's name matches in its own letter case only.
    UINT length = SysStringLen(itemName);
    bool same = name && itemObject;
    for (UINT i = 0; same && i <= length; ++i) same = name[i] == (i < length ? itemName[i] : 0);
    if (same) {
      *item = itemObject;
      itemObject->AddRef();
    }
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ScriptHost::GetDocVersionString(BSTR*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE ScriptHost::OnScriptTerminate(const VARIANT*, const EXCEPINFO*) { return S_OK; }

HRESULT STDMETHODCALLTYPE ScriptHost::OnStateChange(SCRIPTSTATE) { return S_OK; }

// Nothing is shown: the error fails the action, which names it.
HRESULT STDMETHODCALLTYPE ScriptHost::OnScriptError(IActiveScriptError* error) {
  EXCEPINFO exception = {};
  if (!error || FAILED(error->GetExceptionInfo(&exception))) {
    scriptError = E_FAIL;
    return S_OK;
  }
  if (exception.pfnDeferredFillIn) exception.pfnDeferredFillIn(&exception);
  scriptError = FAILED(exception.scode) ? exception.scode : E_FAIL;
  DWORD context = 0;
  ULONG line = 0;
  LONG column = 0;
  errorText = " (line ";
  errorText.AppendDecimal(SUCCEEDED(error->GetSourcePosition(&context, &line, &column)) ? line + 1 : 0);
  errorText.Append(": ");
  errorText.Append(Bstr::ToText(exception.bstrDescription));
  errorText.Append(")");
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ScriptHost::OnEnterScript() { return S_OK; }

HRESULT STDMETHODCALLTYPE ScriptHost::OnLeaveScript() { return S_OK; }

// No owner window: nothing the engine shows belongs to the wizard.
HRESULT STDMETHODCALLTYPE ScriptHost::GetWindow(HWND* window) {
  if (window) *window = nullptr;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ScriptHost::EnableModeless(BOOL) { return S_OK; }

#ifdef _WIN64
HRESULT STDMETHODCALLTYPE ScriptHost::GetDocumentContextFromPosition(DWORDLONG, ULONG, ULONG,
                                                                     IDebugDocumentContext** context) {
#else
HRESULT STDMETHODCALLTYPE ScriptHost::GetDocumentContextFromPosition(DWORD, ULONG, ULONG,
                                                                     IDebugDocumentContext** context) {
#endif
  if (context) *context = nullptr;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ScriptHost::GetApplication(IDebugApplication** application) {
  if (application) *application = nullptr;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE ScriptHost::GetRootApplicationNode(IDebugApplicationNode** node) {
  if (node) *node = nullptr;
  return S_OK;
}

// No debugger, and the error goes on to OnScriptError, which ignores it.
HRESULT STDMETHODCALLTYPE ScriptHost::OnScriptErrorDebug(IActiveScriptErrorDebug*, BOOL* enterDebugger,
                                                         BOOL* callOnScriptError) {
  if (enterDebugger) *enterDebugger = FALSE;
  if (callOnScriptError) *callOnScriptError = TRUE;
  return S_OK;
}
