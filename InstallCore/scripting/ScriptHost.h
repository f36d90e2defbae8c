#pragma once
#include "ScriptInterfaces.h"
#include "Text.h"

// The site of one script action: creates the Active Scripting engine the action's language names,
// gives it one named item, runs the script and answers the engine's questions. An error the
// script does not handle itself ends the run as a failure. References are not counted: the object
// lives as long as its action.
class ScriptHost : public IActiveScriptSite, public IActiveScriptSiteWindow, public IActiveScriptSiteDebug {
 public:
  ScriptHost() : itemName(nullptr), itemObject(nullptr) {}
  ~ScriptHost();
  ScriptHost(const ScriptHost&) = delete;
  ScriptHost& operator=(const ScriptHost&) = delete;

  // Runs the script with object visible under itemName; the result of the engine's run, or of
  // the step that failed before it, or the code of an error the script raised and did not handle.
  HRESULT RunScript(const Text& progId, const Text& script, const Text& item, IDispatch* object);
  // Where and why the script failed, as " (line N: description)"; empty when it did not.
  const Text& ErrorText() const { return errorText; }

  // IUnknown, shared by the three interfaces.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  // IActiveScriptSite.
  HRESULT STDMETHODCALLTYPE GetLCID(LCID* locale) override;
  HRESULT STDMETHODCALLTYPE GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetDocVersionString(BSTR* version) override;
  HRESULT STDMETHODCALLTYPE OnScriptTerminate(const VARIANT* result, const EXCEPINFO* exception) override;
  HRESULT STDMETHODCALLTYPE OnStateChange(SCRIPTSTATE state) override;
  HRESULT STDMETHODCALLTYPE OnScriptError(IActiveScriptError* error) override;
  HRESULT STDMETHODCALLTYPE OnEnterScript() override;
  HRESULT STDMETHODCALLTYPE OnLeaveScript() override;

  // IActiveScriptSiteWindow.
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) override;

  // IActiveScriptSiteDebug.
#ifdef _WIN64
  HRESULT STDMETHODCALLTYPE GetDocumentContextFromPosition(DWORDLONG sourceContext, ULONG offset, ULONG count,
                                                           IDebugDocumentContext** context) override;
#else
  HRESULT STDMETHODCALLTYPE GetDocumentContextFromPosition(DWORD sourceContext, ULONG offset, ULONG count,
                                                           IDebugDocumentContext** context) override;
#endif
  HRESULT STDMETHODCALLTYPE GetApplication(IDebugApplication** application) override;
  HRESULT STDMETHODCALLTYPE GetRootApplicationNode(IDebugApplicationNode** node) override;
  HRESULT STDMETHODCALLTYPE OnScriptErrorDebug(IActiveScriptErrorDebug* error, BOOL* enterDebugger,
                                               BOOL* callOnScriptError) override;

 private:
  BSTR itemName;
  IDispatch* itemObject;
  HRESULT scriptError = S_OK;
  Text errorText;
};
