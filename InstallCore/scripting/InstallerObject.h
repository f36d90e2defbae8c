#pragma once
#include <windows.h>
#include <oaidl.h>

// The member CopyFile below must not turn into CopyFileA.
#undef CopyFile

// {4056564B-5D97-4798-8BCF-6D709D4FA1EE}
extern const IID IID_IInstallerObject;

// The automation interface scripts see as "Installer". Install actions call the same
// operations through these slots directly. String arguments are borrowed.
struct IInstallerObject : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE VersionMajor(short* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE VersionMinor(short* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyFile(BSTR source, BSTR destination) = 0;
  virtual HRESULT STDMETHODCALLTYPE RunProgram(BSTR program, BSTR arguments, VARIANT_BOOL wait, LONG* exitCode) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateShortcut(BSTR shortcutFile, BSTR target, BSTR description, BSTR arguments,
                                                   BSTR workingFolder, BSTR iconFile, short iconIndex,
                                                   short showCommand, short hotKey) = 0;
  virtual HRESULT STDMETHODCALLTYPE RegisterFont(BSTR fontFile) = 0;
  virtual HRESULT STDMETHODCALLTYPE RegisterServer(BSTR libraryFile) = 0;
  virtual HRESULT STDMETHODCALLTYPE RegisterTypeLib(BSTR typeLibraryFile, BSTR helpFolder) = 0;
  virtual HRESULT STDMETHODCALLTYPE ShowMessage(BSTR text, BSTR caption, LONG style, LONG* button) = 0;
  // Read, then write: mingw's C++ ABI keeps the two overloads in declaration order.
  virtual HRESULT STDMETHODCALLTYPE Variables(BSTR name, BSTR* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE Variables(BSTR name, BSTR value) = 0;
  virtual HRESULT STDMETHODCALLTYPE CancelInstall() = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateObject(BSTR progId, IDispatch** object) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddRegKey(BSTR keyPath, LONG valueType, VARIANT value) = 0;

 protected:
  ~IInstallerObject() = default;
};
