#pragma once
// Shared by the scripting tests: an engine without a package, late-bound calls as a scripting
// engine makes them, and what the tests read back.
#include <gtest/gtest.h>
#include <ole2.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "Bstr.h"
#include "ChildProcess.h"
#include "InstallChecks.h"
#include "InstallEngine.h"

inline std::string S(const Text& text) { return std::string(text.Data(), text.Length()); }

// The engine over this test program, which carries no package: its variables and operations
// work all the same.
class ScriptingEngine : public InstallEngine {
 public:
  ScriptingEngine() : InstallEngine(OwnPath().c_str()) {}
  void PumpMessages() override {}
  std::string Log() const {
    Text file;
    EXPECT_TRUE(logText.Render(productName, &file));
    std::string all = S(file);
    // Without the product name line, which is empty here.
    return all.substr(all.find('\n') + 1);
  }
  std::string Variable(const char* name) const { return S(GetVariable(name)); }

 private:
  static std::string OwnPath() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
  }
};

// OLE for the test's thread, as the installer's start-up sets it up.
class OleSession : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr))); }
  void TearDown() override { OleUninitialize(); }
};

// One argument of a late-bound call, owned.
class Argument {
 public:
  Argument() { VariantInit(&v); }
  explicit Argument(const wchar_t* text) : Argument() {
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(text);
  }
  explicit Argument(const std::string& text) : Argument() {
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = Bstr(Text(text.data(), uint32_t(text.size()))).Release();
  }
  static Argument Int(LONG n) {
    Argument a;
    V_VT(&a.v) = VT_I4;
    V_I4(&a.v) = n;
    return a;
  }
  Argument(const Argument& other) : Argument() { VariantCopy(&v, const_cast<VARIANT*>(&other.v)); }
  ~Argument() { VariantClear(&v); }
  VARIANT v;
};

// Invoke as a scripting engine calls it: arguments in the script's order, reversed into the
// caller's array; a property put names its last argument DISPID_PROPERTYPUT.
inline HRESULT Call(IDispatch* object, DISPID id, WORD flags, const std::vector<Argument>& arguments,
                    VARIANT* result = nullptr) {
  std::vector<VARIANT> reversed(arguments.size());
  for (size_t i = 0; i < arguments.size(); ++i) reversed[arguments.size() - 1 - i] = arguments[i].v;
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params = {reversed.data(), (flags & DISPATCH_PROPERTYPUT) ? &put : nullptr, UINT(arguments.size()),
                       (flags & DISPATCH_PROPERTYPUT) ? 1u : 0u};
  return object->Invoke(id, IID_NULL, 0, flags, &params, result, nullptr, nullptr);
}

// A scratch folder for one test, outside the temporary folder (whose files are not logged).
inline std::string ScratchFolder(const char* name) {
  std::string folder = std::string("C:\\") + name;
  DeleteTree(folder);
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

inline std::string Built(const char* variable) { return WindowsPath(EnvironmentValue(variable)); }

// A borrowed-text argument that lives for the statement.
struct B {
  explicit B(const std::string& s) : value(Text(s.data(), uint32_t(s.size()))) {}
  operator BSTR() const { return value.Get(); }
  Bstr value;
};
