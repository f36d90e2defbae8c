// The automation object reached by late binding, as scripting engines reach it, and scripts run
// in Wine's real JScript and VBScript engines against it.
#include "ScriptHost.h"
#include "ScriptingTestSupport.h"

#include <string>
#include <utility>

namespace {

const char kReportKey[] = "Software\\Velmora Scripting Test";

class InstallerObjectTest : public OleSession {
 protected:
  ScriptingEngine engine;
  IDispatch* object = &engine;
};

TEST_F(InstallerObjectTest, NamesAreLookedUpExactlyAndParameterNamesAreUnknown) {
  const wchar_t* lower[] = {L"versionmajor"};
  DISPID ids[2] = {-7, -7};
  EXPECT_EQ(object->GetIDsOfNames(IID_NULL, const_cast<LPOLESTR*>(lower), 1, 0, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], -7);
  const wchar_t* all[] = {L"VersionMajor", L"VersionMinor", L"CopyFile", L"RunProgram", L"CreateShortcut",
                          L"RegisterFont", L"RegisterServer", L"RegisterTypeLib", L"ShowMessage", L"Variables",
                          L"CancelInstall", L"CreateObject", L"AddRegKey"};
  DISPID found[13] = {};
  EXPECT_EQ(object->GetIDsOfNames(IID_NULL, const_cast<LPOLESTR*>(all), 13, 0, found), S_OK);
  for (int i = 0; i < 13; ++i) EXPECT_EQ(found[i], i + 1) << i;
  // A member and one of its parameter names: the member is found, the parameter is not.
  const wchar_t* named[] = {L"CopyFile", L"source"};
  EXPECT_EQ(object->GetIDsOfNames(IID_NULL, const_cast<LPOLESTR*>(named), 2, 0, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], 3);
  EXPECT_EQ(ids[1], -7);
}

TEST_F(InstallerObjectTest, MembersCountsAndNamedArguments) {
  VARIANT result;
  EXPECT_EQ(Call(object, 0, DISPATCH_METHOD, {}, &result), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call(object, 14, DISPATCH_METHOD, {}, &result), DISP_E_MEMBERNOTFOUND);
  Argument text(L"x");
  EXPECT_EQ(Call(object, 3, DISPATCH_METHOD, {text, text, text}), DISP_E_BADPARAMCOUNT);
  // Ten arguments are refused before the member is looked at: CancelInstall does not end the test.
  std::vector<Argument> ten(10, text);
  EXPECT_EQ(Call(object, 11, DISPATCH_METHOD, ten), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(object, 11, DISPATCH_METHOD, {text}), DISP_E_BADPARAMCOUNT);

  DISPID name = 1;
  VARIANT argument = text.v;
  DISPPARAMS params = {&argument, &name, 1, 1};
  EXPECT_EQ(object->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr), DISP_E_NONAMEDARGS);

  // VersionMajor answers any kind of call, VersionMinor only a property get.
  V_VT(&result) = VT_ERROR;
  EXPECT_EQ(Call(object, 1, DISPATCH_METHOD, {}, &result), S_OK);
  EXPECT_EQ(V_VT(&result), VT_I2);
  EXPECT_EQ(V_I2(&result), 3);
  V_VT(&result) = VT_ERROR;
  EXPECT_EQ(Call(object, 2, DISPATCH_METHOD, {}, &result), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(V_VT(&result), VT_EMPTY);
  EXPECT_EQ(Call(object, 2, DISPATCH_PROPERTYGET, {}, &result), S_OK);
  EXPECT_EQ(V_VT(&result), VT_I2);
  EXPECT_EQ(V_I2(&result), 1);
  EXPECT_EQ(Call(object, 2, DISPATCH_PROPERTYGET, {text}, &result), DISP_E_BADPARAMCOUNT);

  // CreateObject hands over the new object, or nothing.
  EXPECT_EQ(Call(object, 12, DISPATCH_METHOD, {Argument(L"Scripting.Dictionary")}, &result), S_OK);
  ASSERT_EQ(V_VT(&result), VT_DISPATCH);
  EXPECT_NE(V_DISPATCH(&result), nullptr);
  VariantClear(&result);
  EXPECT_TRUE(FAILED(Call(object, 12, DISPATCH_METHOD, {Argument(L"Velmora.NoSuchThing")}, &result)));
  EXPECT_EQ(V_VT(&result), VT_EMPTY);
}

TEST_F(InstallerObjectTest, VariablesReadAndWriteByInvocationKind) {
  VARIANT result;
  EXPECT_EQ(Call(object, 10, DISPATCH_PROPERTYPUT, {Argument(L"Greeting"), Argument(L"hello ${ProductName}")}), S_OK);
  EXPECT_EQ(engine.Variable("Greeting"), "hello ${ProductName}");
  EXPECT_EQ(Call(object, 10, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {Argument(L"Greeting")}, &result), S_OK);
  ASSERT_EQ(V_VT(&result), VT_BSTR);
  EXPECT_STREQ(V_BSTR(&result), L"hello ${ProductName}");
  VariantClear(&result);
  // Names differ by case; a name never set reads as the empty text.
  EXPECT_EQ(Call(object, 10, DISPATCH_PROPERTYGET, {Argument(L"greeting")}, &result), S_OK);
  EXPECT_EQ(SysStringLen(V_BSTR(&result)), 0u);
  VariantClear(&result);

  EXPECT_EQ(Call(object, 10, DISPATCH_PROPERTYGET, {Argument(L"Greeting"), Argument(L"x")}, &result),
            DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(object, 10, DISPATCH_METHOD, {Argument(L"Greeting")}, &result), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call(object, 10, DISPATCH_PROPERTYPUTREF, {Argument(L"Greeting"), Argument(L"x")}),
            DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call(object, 10, DISPATCH_PROPERTYPUT, {Argument(L"Greeting")}), DISP_E_BADPARAMCOUNT);
  // The name is converted before the kind is looked at.
  Argument unconvertible;
  V_VT(&unconvertible.v) = VT_UNKNOWN;
  V_UNKNOWN(&unconvertible.v) = nullptr;
  EXPECT_EQ(Call(object, 10, DISPATCH_METHOD, {unconvertible}), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(engine.Variable("Greeting"), "hello ${ProductName}");
}

// A script that moves the product's folder somewhere that is no full path is refused, as such a
// destination is at the start: the product would land wherever the current folder happens to be.
TEST_F(InstallerObjectTest, AProductFolderThatIsNoFullPathIsRefused) {
  const std::string folder = engine.Variable("ProductPath");
  EXPECT_EQ(Call(object, 10, DISPATCH_PROPERTYPUT, {Argument(L"ProductPath"), Argument(L"Velmora\\relative")}), S_OK);
  EXPECT_EQ(engine.Variable("ProductPath"), folder);
  ASSERT_EQ(engine.Failures().Count(), 1u);
  EXPECT_EQ(S(engine.Failures()[0]), "Product folder Velmora\\relative (error 161)");
  EXPECT_EQ(Call(object, 10, DISPATCH_PROPERTYPUT, {Argument(L"ProductPath"), Argument(L"C:\\Velmora Moved")}), S_OK);
  EXPECT_EQ(engine.Variable("ProductPath"), "C:\\Velmora Moved");
  EXPECT_EQ(engine.Failures().Count(), 1u);
}

TEST_F(InstallerObjectTest, ArgumentsAreConvertedThroughReferencesAndInScriptOrder) {
  std::string folder = ScratchFolder("Velmora Invoke");
  std::string source = folder + "\\source.txt";
  ASSERT_TRUE(WriteFileBytes(source, {'a', 'b', 'c'}));
  char previous[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));
  // A number given by reference becomes its text: the copy is named 4242 in the current folder.
  LONG number = 4242;
  Argument byReference;
  V_VT(&byReference.v) = VT_BYREF | VT_I4;
  V_I4REF(&byReference.v) = &number;
  EXPECT_EQ(Call(object, 3, DISPATCH_METHOD, {Argument(source), byReference}), S_OK);
  SetCurrentDirectoryA(previous);
  EXPECT_EQ(Contents(folder + "\\4242"), "abc");
  EXPECT_EQ(number, 4242);

  // The first argument written is the shortcut file, the last the hot key.
  std::string link = folder + "\\ordered";
  EXPECT_EQ(Call(object, 5, DISPATCH_METHOD,
                 {Argument(link), Argument(source), Argument(L"d"), Argument(L"a"), Argument(folder),
                  Argument(L""), Argument::Int(0), Argument::Int(1), Argument(L"1604")}),
            S_OK);
  EXPECT_TRUE(Exists(link + ".lnk"));
  LinkFields ordered = ReadLink(link + ".lnk");
  EXPECT_EQ(ordered.path, source);
  EXPECT_EQ(ordered.description, "d");
  EXPECT_EQ(ordered.arguments, "a");
  EXPECT_EQ(ordered.workingFolder, folder);
  EXPECT_EQ(ordered.showCommand, 1);
  EXPECT_EQ(ordered.hotKey, 1604);

  // AddRegKey's value is passed on as given, a reference resolved.
  BSTR text = SysAllocString(L"referenced");
  Argument referenced;
  V_VT(&referenced.v) = VT_BYREF | VT_BSTR;
  V_BSTRREF(&referenced.v) = &text;
  EXPECT_EQ(Call(object, 13, DISPATCH_METHOD,
                 {Argument(L"HKCU\\Software\\Velmora Invoke Test\\Value"), Argument(L"1"), referenced}),
            S_OK);
  EXPECT_EQ(RegistryValue(HKEY_CURRENT_USER, "Software\\Velmora Invoke Test", "Value"),
            RegistryData(REG_SZ, std::string("referenced\0", 11)));
  EXPECT_STREQ(text, L"referenced");
  SysFreeString(text);
  RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Velmora Invoke Test");

  // A third RunProgram argument that is no truth value starts nothing.
  std::string marker = folder + "\\mismatch.txt";
  EXPECT_EQ(Call(object, 4, DISPATCH_METHOD,
                 {Argument(Built("VELMORA_MARKER")), Argument("\"" + marker + "\""), Argument(L"perhaps")}),
            DISP_E_TYPEMISMATCH);
  Sleep(300);
  EXPECT_FALSE(Exists(marker));
  DeleteTree(folder);
}

TEST_F(InstallerObjectTest, RunProgramDeliversTheExitCodeOnlyWhenWaiting) {
  std::string folder = ScratchFolder("Velmora RunProgram");
  std::string marker = folder + "\\waited.txt";
  Argument program(Built("VELMORA_MARKER"));
  VARIANT result;
  Argument yes;
  V_VT(&yes.v) = VT_BOOL;
  V_BOOL(&yes.v) = VARIANT_TRUE;
  EXPECT_EQ(Call(object, 4, DISPATCH_METHOD, {program, Argument("\"" + marker + "\" 7"), yes}, &result), S_OK);
  EXPECT_EQ(V_VT(&result), VT_I4);
  EXPECT_EQ(V_I4(&result), 7);
  EXPECT_TRUE(Exists(marker));
  std::string later = folder + "\\not-waited.txt";
  EXPECT_EQ(Call(object, 4, DISPATCH_METHOD, {program, Argument("\"" + later + "\" 9"), Argument(L"0")}, &result),
            S_OK);
  EXPECT_EQ(V_VT(&result), VT_I4);
  EXPECT_EQ(V_I4(&result), 0);
  EXPECT_TRUE(WaitForFile(later));
  // Called directly, only VARIANT_TRUE waits: the exit code stays as it was.
  LONG code = -5;
  std::string direct = folder + "\\direct.txt";
  EXPECT_EQ(engine.RunProgram(V_BSTR(&program.v), Argument("\"" + direct + "\" 3").v.bstrVal, 1, &code), S_OK);
  EXPECT_EQ(code, -5);
  EXPECT_TRUE(WaitForFile(direct));
  EXPECT_EQ(Call(object, 4, DISPATCH_METHOD, {Argument(folder + "\\missing.exe"), Argument(L""), yes}, &result),
            E_FAIL);
  Sleep(200);
  DeleteTree(folder);
}

// Presses a button of the message box with this caption once it is shown.
DWORD WINAPI PressButton(void* caption) {
  for (int i = 0; i < 200; ++i) {
    HWND box = FindWindowA("#32770", static_cast<const char*>(caption));
    if (box) {
      SendMessageA(GetDlgItem(box, IDCANCEL), BM_CLICK, 0, 0);
      return 0;
    }
    Sleep(50);
  }
  return 1;
}

TEST_F(InstallerObjectTest, ShowMessageReturnsTheButtonPressed) {
  engine.SetVariable("Who", "Velmora");
  static char caption[] = "Velmora Message Test";
  HANDLE presser = CreateThread(nullptr, 0, PressButton, caption, 0, nullptr);
  VARIANT result;
  EXPECT_EQ(Call(object, 9, DISPATCH_METHOD,
                 {Argument(L"Hello from ${Who}"), Argument(L"${Who} Message Test"), Argument::Int(MB_OKCANCEL)},
                 &result),
            S_OK);
  WaitForSingleObject(presser, 15000);
  DWORD pressed = 1;
  GetExitCodeThread(presser, &pressed);
  CloseHandle(presser);
  EXPECT_EQ(pressed, 0u) << "no message box with the expanded caption appeared";
  EXPECT_EQ(V_VT(&result), VT_I4);
  EXPECT_EQ(V_I4(&result), IDCANCEL);
}

// Scripts report their findings to a registry value the test reads.
class ScriptTest : public InstallerObjectTest {
 protected:
  void SetUp() override {
    InstallerObjectTest::SetUp();
    RegDeleteTreeA(HKEY_CURRENT_USER, kReportKey);
    folder = ScratchFolder("Velmora Scripts");
    engine.SetVariable("Scratch", folder.c_str());
    engine.SetVariable("Marker", Built("VELMORA_MARKER").c_str());
  }
  void TearDown() override {
    RegDeleteTreeA(HKEY_CURRENT_USER, kReportKey);
    DeleteTree(folder);
    InstallerObjectTest::TearDown();
  }
  HRESULT Run(const char* language, const std::string& script) {
    return ScriptHost().RunScript(language, Text(script.data(), uint32_t(script.size())), "Installer", object);
  }
  std::string Report(const char* name) {
    std::string value = RegistryValue(HKEY_CURRENT_USER, kReportKey, name).second;
    return value.substr(0, value.find('\0'));
  }
  std::string folder;
};

// Each script checks the members' results itself and reports "ok" or what went wrong.
TEST_F(ScriptTest, JScriptCallsEveryMember) {
  EXPECT_EQ(Run("JScript", R"(
    var I = Installer, bad = "";
    function check(what, got, want) { if (got !== want) bad += what + "=" + got + " "; }
    check("major", I.VersionMajor, 3);
    check("minor", I.VersionMinor, 1);
    check("path", I.Variables("Scratch").length > 0, true);
    I.CopyFile(I.Variables("Marker"), "${Scratch}\\js\\copy.exe");
    check("run", I.RunProgram("${Scratch}\\js\\copy.exe", "\"${Scratch}\\js\\ran.txt\" 12", true), 12);
    I.CreateShortcut("${Scratch}\\js\\link", "${Scratch}\\js\\copy.exe", "tip", "/x", "${Scratch}", "", 0, 1, 0);
    I.RegisterFont("${Scratch}\\missing.ttf");
    try { I.RegisterServer("${Scratch}\\missing.dll"); bad += "server "; } catch (e) {}
    var d = I.CreateObject("Scripting.Dictionary");
    d.Add("k", "v");
    check("dictionary", d.Item("k"), "v");
    try { I.CreateObject("Velmora.NoSuchThing"); bad += "object "; } catch (e) {}
    I.AddRegKey("HKCU\\Software\\Velmora Scripting Test\\Number", 4, "5");
    I.AddRegKey("HKCU\\Software\\Velmora Scripting Test\\JScript", 1, bad == "" ? "ok" : bad);
  )"),
            S_OK);
  EXPECT_EQ(Report("JScript"), "ok");
  EXPECT_EQ(RegistryValue(HKEY_CURRENT_USER, kReportKey, "Number"), RegistryData(REG_DWORD, std::string("\5\0\0\0", 4)));
  EXPECT_EQ(Contents(folder + "\\js\\copy.exe"), Contents(Built("VELMORA_MARKER")));
  EXPECT_TRUE(Exists(folder + "\\js\\ran.txt"));
  EXPECT_TRUE(Exists(folder + "\\js\\link.lnk"));
  std::string log = engine.Log();
  EXPECT_NE(log.find("3 " + folder + "\\js\\link.lnk\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("3 " + folder + "\\js\\copy.exe\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("6 HKCU\\Software\\Velmora Scripting Test\\Number\r\n"), std::string::npos) << log;
}

TEST_F(ScriptTest, VBScriptCallsEveryMember) {
  EXPECT_EQ(Run("VBScript", R"(
    Dim I, bad, d
    Set I = Installer
    bad = ""
    Sub Check(what, got, want)
      If got <> want Then bad = bad & what & "=" & got & " "
    End Sub
    Check "major", I.VersionMajor, 3
    Check "minor", I.VersionMinor, 1
    I.Variables("Written") = "by ${Nobody}"
    Check "variable", I.Variables("Written"), "by ${Nobody}"
    I.CopyFile I.Variables("Marker"), "${Scratch}\vb\copy.exe"
    Check "wait", I.RunProgram("${Scratch}\vb\copy.exe", """${Scratch}\vb\ran.txt"" 4", True), 4
    Check "nowait", I.RunProgram("${Scratch}\vb\copy.exe", """${Scratch}\vb\later.txt"" 4", False), 0
    I.CreateShortcut "${Scratch}\vb\link.LNK", "${Scratch}\vb\copy.exe", "", "", "", "", -1, 7, 0
    I.RegisterFont "${Scratch}\missing.ttf"
    On Error Resume Next
    I.RegisterTypeLib "${Scratch}\missing.tlb", ""
    If Err.Number = 0 Then bad = bad & "typelib "
    On Error GoTo 0
    Set d = I.CreateObject("Scripting.Dictionary")
    d.Add "k", 2
    Check "dictionary", d.Item("k") + 1, 3
    I.AddRegKey "HKCU\Software\Velmora Scripting Test\@", 1, "default"
    I.AddRegKey "HKCU\Software\Velmora Scripting Test\Bytes", 3, "abc"
    If bad = "" Then bad = "ok"
    I.AddRegKey "HKCU\Software\Velmora Scripting Test\VBScript", 1, bad
  )"),
            S_OK);
  EXPECT_EQ(Report("VBScript"), "ok");
  EXPECT_EQ(engine.Variable("Written"), "by ${Nobody}");
  EXPECT_EQ(Report(""), "default");
  EXPECT_EQ(RegistryValue(HKEY_CURRENT_USER, kReportKey, "Bytes"), RegistryData(REG_BINARY, "abc"));
  EXPECT_TRUE(Exists(folder + "\\vb\\ran.txt"));
  EXPECT_TRUE(WaitForFile(folder + "\\vb\\later.txt"));
  EXPECT_TRUE(Exists(folder + "\\vb\\link.LNK"));
  EXPECT_FALSE(Exists(folder + "\\vb\\link.LNK.lnk"));
  std::string log = engine.Log();
  EXPECT_NE(log.find("6 HKCU\\Software\\Velmora Scripting Test\\\r\n"), std::string::npos) << log;
}

TEST_F(ScriptTest, BadScriptsRunNotAtAllAndFailingOnesFail) {
  EXPECT_TRUE(FAILED(Run("Velmora.NoSuchLanguage", "Installer.AddRegKey('HKCU\\\\Software\\\\Velmora Scripting Test\\\\x', 1, 'ran');")));
  // The syntax error is in the last line: nothing before it runs either.
  EXPECT_TRUE(FAILED(Run("JScript", "Installer.AddRegKey('HKCU\\\\Software\\\\Velmora Scripting Test\\\\x', 1, 'ran');\n"
                                    "var = ;")));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kReportKey));
  EXPECT_EQ(engine.Log(), "");
  // A script that fails while running stops there, and fails its action, naming the line.
  const std::pair<const char*, std::string> failing[] = {{"JScript", "var x = 1;\nInstaller.NoSuchMember();\nx = 2;"},
                                                        {"VBScript", "x = 1\nInstaller.NoSuchMember\nx = 2"}};
  for (const auto& script : failing) {
    ScriptHost host;
    EXPECT_TRUE(FAILED(host.RunScript(script.first, Text(script.second.data(), uint32_t(script.second.size())),
                                      "Installer", object)))
        << script.first;
    EXPECT_EQ(std::string(host.ErrorText().CStr()).rfind(" (line 2: ", 0), 0u) << host.ErrorText().CStr();
  }
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kReportKey));
  // An error the script handles itself is no failure.
  EXPECT_EQ(Run("JScript", "try { Installer.NoSuchMember(); } catch (e) {}"), S_OK);
  EXPECT_EQ(Run("VBScript", "On Error Resume Next\nInstaller.NoSuchMember"), S_OK);
}

const HRESULT kSyntaxError = 0x80020101;  // OLESCRIPT_E_SYNTAX

// A scripting engine that only notes what its host asks of it. Wine's own engines close
// themselves when their last reference goes, so they cannot show whether the host closed them.
class NotingEngine : public IActiveScript, public IActiveScriptParse, public IClassFactory {
 public:
  std::string calls;
  ULONG references = 0;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IActiveScript))
      *object = static_cast<IActiveScript*>(this);
    else if (IsEqualIID(iid, IID_IActiveScriptParse))
      *object = static_cast<IActiveScriptParse*>(this);
    else if (IsEqualIID(iid, IID_IClassFactory))
      *object = static_cast<IClassFactory*>(this);
    else
      return *object = nullptr, E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID iid, void** object) override {
    return QueryInterface(iid, object);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  HRESULT STDMETHODCALLTYPE SetScriptSite(IActiveScriptSite*) override { return Note("site"); }
  HRESULT STDMETHODCALLTYPE GetScriptSite(REFIID, void**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetScriptState(SCRIPTSTATE) override { return Note("run"); }
  HRESULT STDMETHODCALLTYPE GetScriptState(SCRIPTSTATE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Close() override { return Note("close"); }
  HRESULT STDMETHODCALLTYPE AddNamedItem(LPCOLESTR, DWORD) override { return Note("item"); }
  HRESULT STDMETHODCALLTYPE AddTypeLib(REFGUID, DWORD, DWORD, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetScriptDispatch(LPCOLESTR, IDispatch**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCurrentScriptThreadID(SCRIPTTHREADID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetScriptThreadID(DWORD, SCRIPTTHREADID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetScriptThreadState(SCRIPTTHREADID, SCRIPTTHREADSTATE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE InterruptScriptThread(SCRIPTTHREADID, const EXCEPINFO*, DWORD) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Clone(IActiveScript**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE InitNew() override { return Note("init"); }
  HRESULT STDMETHODCALLTYPE AddScriptlet(LPCOLESTR, LPCOLESTR, LPCOLESTR, LPCOLESTR, LPCOLESTR, LPCOLESTR, DWORD_PTR,
                                         ULONG, DWORD, BSTR*, EXCEPINFO*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE ParseScriptText(LPCOLESTR code, LPCOLESTR, IUnknown*, LPCOLESTR, DWORD_PTR, ULONG, DWORD,
                                            VARIANT*, EXCEPINFO*) override {
    Note("parse");
    return code && code[0] == L'!' ? kSyntaxError : S_OK;
  }

 private:
  HRESULT Note(const char* call) {
    calls += call;
    calls += ' ';
    return S_OK;
  }
};

TEST_F(InstallerObjectTest, ScriptEnginesAreClosedBeforeTheyAreReleased) {
  const CLSID kNoting = {0x5d1e7c42, 0x0b7a, 0x4f3e, {0x8c, 0x55, 0x61, 0x2a, 0x9e, 0x0d, 0x73, 0x14}};
  const char kProgId[] = "Velmora.NotingScript";
  ASSERT_EQ(RegSetValueA(HKEY_CLASSES_ROOT, "Velmora.NotingScript\\CLSID", REG_SZ,
                         "{5D1E7C42-0B7A-4F3E-8C55-612A9E0D7314}", 38),
            ERROR_SUCCESS);
  NotingEngine noting;
  DWORD cookie = 0;
  ASSERT_EQ(CoRegisterClassObject(kNoting, static_cast<IClassFactory*>(&noting), CLSCTX_INPROC_SERVER,
                                  REGCLS_MULTIPLEUSE, &cookie),
            S_OK);
  ULONG held = noting.references;
  EXPECT_EQ(ScriptHost().RunScript(kProgId, "x", "Installer", object), S_OK);
  EXPECT_EQ(noting.calls, "site init item parse run close ");
  EXPECT_EQ(noting.references, held);
  // A script that does not parse closes the engine all the same.
  noting.calls.clear();
  EXPECT_EQ(ScriptHost().RunScript(kProgId, "!", "Installer", object), kSyntaxError);
  EXPECT_EQ(noting.calls, "site init item parse close ");
  CoRevokeClassObject(cookie);
  RegDeleteTreeA(HKEY_CLASSES_ROOT, "Velmora.NotingScript");
}

TEST(ScriptHostSite, FixedRepliesAndTheNamedItem) {
  ScriptHost host;
  IActiveScriptSite* site = &host;
  void* found = nullptr;
  for (IUnknown* face : {static_cast<IUnknown*>(static_cast<IActiveScriptSite*>(&host)),
                         static_cast<IUnknown*>(static_cast<IActiveScriptSiteWindow*>(&host)),
                         static_cast<IUnknown*>(static_cast<IActiveScriptSiteDebug*>(&host))}) {
    EXPECT_EQ(face->QueryInterface(IID_IActiveScriptSiteWindow, &found), S_OK);
    EXPECT_EQ(found, static_cast<void*>(static_cast<IActiveScriptSiteWindow*>(&host)));
    EXPECT_EQ(face->QueryInterface(IID_IUnknown, &found), S_OK);
    EXPECT_EQ(found, static_cast<void*>(site));
    EXPECT_EQ(face->QueryInterface(IID_IActiveScriptSiteDebug, &found), S_OK);
    EXPECT_EQ(found, static_cast<void*>(static_cast<IActiveScriptSiteDebug*>(&host)));
    EXPECT_EQ(face->QueryInterface(IID_IDispatch, &found), E_NOINTERFACE);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(face->AddRef(), 1u);
  }
  LCID locale;
  EXPECT_EQ(site->GetLCID(&locale), E_NOTIMPL);
  HWND window = reinterpret_cast<HWND>(1);
  EXPECT_EQ(host.GetWindow(&window), S_OK);
  EXPECT_EQ(window, nullptr);
  IDebugApplication* application = reinterpret_cast<IDebugApplication*>(1);
  EXPECT_EQ(host.GetApplication(&application), E_NOTIMPL);
  EXPECT_EQ(application, nullptr);

  // Before a script names its item, no name matches.
  IUnknown* item = reinterpret_cast<IUnknown*>(1);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(site->GetItemInfo(L"Installer", SCRIPTINFO_IUNKNOWN | SCRIPTINFO_ITYPEINFO, &item, &info), S_OK);
  EXPECT_EQ(item, nullptr);
  EXPECT_EQ(info, nullptr);
  ScriptingEngine engine;
  // The language is unknown, but the item is stored first.
  EXPECT_TRUE(FAILED(host.RunScript("Velmora.NoSuchLanguage", "", "Installer", &engine)));
  EXPECT_EQ(site->GetItemInfo(L"Installer", SCRIPTINFO_IUNKNOWN, &item, nullptr), S_OK);
  EXPECT_EQ(item, static_cast<IUnknown*>(static_cast<IInstallerObject*>(&engine)));
  item = reinterpret_cast<IUnknown*>(1);
  EXPECT_EQ(site->GetItemInfo(L"installer", SCRIPTINFO_IUNKNOWN, &item, nullptr), S_OK);
  EXPECT_EQ(item, nullptr);
  item = reinterpret_cast<IUnknown*>(1);
  info = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(site->GetItemInfo(L"Installer", SCRIPTINFO_ITYPEINFO, &item, &info), S_OK);
  EXPECT_EQ(info, nullptr);
  EXPECT_EQ(item, reinterpret_cast<IUnknown*>(1));
}

}  // namespace
