// The registration members called directly, as install actions call them, against Wine's shell
// links, fonts, libraries, type libraries, registry and service manager.
#include "ScriptingTestSupport.h"
#include "SystemApi.h"

namespace {

const char kKey[] = "Software\\Velmora Registration Test";
const char kServerKey[] = "Software\\Velmora Test Server";
const char kFontsKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
const GUID kTypesGuid = {0x7b3c2a10, 0x5e4d, 0x4c8b, {0x9a, 0x61, 0x2f, 0x0e, 0x4d, 0x3c, 0x1b, 0x02}};

int CALLBACK NoteFamily(const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool FontFamilyExists(const char* family) {
  LOGFONTA wanted = {};
  wanted.lfCharSet = DEFAULT_CHARSET;
  lstrcpynA(wanted.lfFaceName, family, LF_FACESIZE);
  HDC screen = GetDC(nullptr);
  bool found = false;
  EnumFontFamiliesExA(screen, &wanted, NoteFamily, reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, screen);
  return found;
}

class RegistrationTest : public OleSession {
 protected:
  void SetUp() override {
    OleSession::SetUp();
    folder = ScratchFolder("Velmora Registration");
    RegDeleteTreeA(HKEY_CURRENT_USER, kKey);
  }
  void TearDown() override {
    DeleteTree(folder);
    RegDeleteTreeA(HKEY_CURRENT_USER, kKey);
    OleSession::TearDown();
  }
  ScriptingEngine engine;
  std::string folder;
};

TEST_F(RegistrationTest, ShortcutsCarryEveryFieldAndEndInLnk) {
  engine.SetVariable("Here", folder.c_str());
  std::string target = folder + "\\bin\\tool.exe";
  ASSERT_TRUE(CreateDirectoryA((folder + "\\bin").c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(target, {'M', 'Z'}));
  EXPECT_EQ(engine.CreateShortcut(B("${Here}\\menu\\sub\\Tool"), B("${Here}\\bin\\tool.exe"), B("Runs ${Here}"),
                                  B("/a ${Here}"), B("${Here}\\bin"), B("${Here}\\bin\\tool.exe"), 2, SW_SHOWMAXIMIZED,
                                  short(HOTKEYF_CONTROL << 8 | 'T')),
            S_OK);
  LinkFields link = ReadLink(folder + "\\menu\\sub\\Tool.lnk");
  EXPECT_EQ(link.path, target);
  EXPECT_EQ(link.arguments, "/a " + folder);
  EXPECT_EQ(link.workingFolder, folder + "\\bin");
  EXPECT_EQ(link.description, "Runs " + folder);
  EXPECT_EQ(link.iconFile, target);
  EXPECT_EQ(link.iconIndex, 2);
  EXPECT_EQ(link.hotKey, WORD(HOTKEYF_CONTROL << 8 | 'T'));
  EXPECT_EQ(link.showCommand, SW_SHOWMAXIMIZED);

  // Any letter case of the extension is kept; a negative icon index sets no icon; an empty
  // target still saves.
  EXPECT_EQ(engine.CreateShortcut(B(folder + "\\Upper.LnK"), B(target), nullptr, nullptr, nullptr, B(target), -1,
                                  SW_SHOWMINNOACTIVE, 0),
            S_OK);
  LinkFields upper = ReadLink(folder + "\\Upper.LnK");
  EXPECT_EQ(upper.path, target);
  EXPECT_EQ(upper.iconFile, "");
  EXPECT_EQ(upper.showCommand, SW_SHOWMINNOACTIVE);
  EXPECT_FALSE(Exists(folder + "\\Upper.LnK.lnk"));
  EXPECT_EQ(engine.CreateShortcut(B(folder + "\\x.lnk.txt"), B(""), B(""), B(""), B(""), B(""), 0, 1, 0), S_OK);
  EXPECT_TRUE(Exists(folder + "\\x.lnk.txt.lnk"));
  EXPECT_EQ(engine.CreateShortcut(B("Q:\\nowhere\\l.lnk"), B(target), B(""), B(""), B(""), B(""), 0, 1, 0) == S_OK,
            false);

  EXPECT_EQ(engine.Log(),
            "3 " + folder + "\\x.lnk.txt.lnk\r\n"
            "3 " + folder + "\\Upper.LnK\r\n"
            "3 " + folder + "\\menu\\sub\\Tool.lnk\r\n"
            "2 " + folder + "\\menu\\sub\r\n"
            "2 " + folder + "\\menu\r\n");
}

TEST_F(RegistrationTest, FontsServersAndTypeLibraries) {
  // A real TrueType font becomes usable, and is registered so that it stays after a restart.
  std::string font = Built("VELMORA_FONT");
  ASSERT_FALSE(FontFamilyExists("Velmor Sans"));
  EXPECT_EQ(engine.RegisterFont(B(font)), S_OK);
  EXPECT_TRUE(FontFamilyExists("Velmor Sans"));
  EXPECT_TRUE(RemoveFontResourceA(font.c_str()));
  // Listed by its face's name, not its file's.
  EXPECT_EQ(RegistryValue(HKEY_LOCAL_MACHINE, kFontsKey, "Velmor Sans (TrueType)"),
            RegistryData(REG_SZ, font + '\0'));
  EXPECT_EQ(RegistryValue(HKEY_LOCAL_MACHINE, kFontsKey, "VelmorSans (TrueType)").second, "<missing>");
  EXPECT_NE(engine.Log().find("6 HKLM\\" + std::string(kFontsKey) + "\\Velmor Sans (TrueType)"), std::string::npos);
  // A name the list holds for another file, the system's own font say, keeps that file: this
  // font is loaded, but neither listed nor logged.
  RegSetKeyValueA(HKEY_LOCAL_MACHINE, kFontsKey, "Velmor Sans (TrueType)", REG_SZ, "velmor.ttf", 11);
  std::string logged = engine.Log();
  EXPECT_EQ(engine.RegisterFont(B(font)), S_OK);
  EXPECT_TRUE(FontFamilyExists("Velmor Sans"));
  EXPECT_TRUE(RemoveFontResourceA(font.c_str()));
  EXPECT_EQ(RegistryValue(HKEY_LOCAL_MACHINE, kFontsKey, "Velmor Sans (TrueType)"),
            RegistryData(REG_SZ, std::string("velmor.ttf", 11)));
  EXPECT_EQ(engine.Log(), logged);
  RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kFontsKey, "Velmor Sans (TrueType)");
  // Nothing is registered for what is no font.
  EXPECT_EQ(engine.RegisterFont(B(folder + "\\missing.ttf")), S_OK);

  RegDeleteTreeA(HKEY_CURRENT_USER, kServerKey);
  std::string server = Built("VELMORA_TEST_SERVER");
  EXPECT_EQ(engine.RegisterServer(B(server)), S_OK);
  EXPECT_EQ(RegistryValue(HKEY_CURRENT_USER, kServerKey, "Registered"), RegistryData(REG_SZ, std::string("yes\0", 4)));
  RegDeleteTreeA(HKEY_CURRENT_USER, kServerKey);
  EXPECT_EQ(engine.RegisterServer(B(Built("VELMORA_NO_REGISTER_SERVER"))), E_FAIL);
  EXPECT_EQ(engine.RegisterServer(B(folder + "\\missing.dll")), E_FAIL);

  std::string types = Built("VELMORA_TEST_TYPES");
  EXPECT_EQ(engine.RegisterTypeLib(B(types), nullptr), S_OK);
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "TypeLib\\{7B3C2A10-5E4D-4C8B-9A61-2F0E4D3C1B02}\\2.0"));
  EXPECT_EQ(UnRegisterTypeLib(kTypesGuid, 2, 0, 0, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32), S_OK);
  EXPECT_TRUE(FAILED(engine.RegisterTypeLib(B(folder + "\\missing.tlb"), B(""))));

  EXPECT_EQ(engine.Log(),
            "7 {7B3C2A10-5E4D-4C8B-9A61-2F0E4D3C1B02}\r\n"
            "4 " + server + "\r\n"
            "6 HKLM\\" + std::string(kFontsKey) + "\\Velmor Sans (TrueType)\r\n");
}

TEST_F(RegistrationTest, ServersFindTheLibrariesBesideThem) {
  // As the installer has it from its start: implicit loads search the system folder only.
  SystemApi::RestrictDllSearchToSystem();
  std::string server = folder + "\\SiblingServer.dll";
  ASSERT_TRUE(CopyFileA(Built("VELMORA_SIBLING_SERVER").c_str(), server.c_str(), FALSE));
  ASSERT_TRUE(CopyFileA(Built("VELMORA_SIBLING_LIBRARY").c_str(), (folder + "\\SiblingLibrary.dll").c_str(), FALSE));
  EXPECT_EQ(engine.RegisterServer(B(server)), S_OK);
  EXPECT_EQ(engine.Log(), "4 " + server + "\r\n");
}

TEST_F(RegistrationTest, CreateObjectHandsOverAWorkingObject) {
  IDispatch* dictionary = nullptr;
  engine.SetVariable("Library", "Scripting");
  ASSERT_EQ(engine.CreateObject(B("${Library}.Dictionary"), &dictionary), S_OK);
  ASSERT_NE(dictionary, nullptr);
  const wchar_t* count[] = {L"Count"};
  DISPID id = 0;
  EXPECT_EQ(dictionary->GetIDsOfNames(IID_NULL, const_cast<LPOLESTR*>(count), 1, 0, &id), S_OK);
  dictionary->Release();
  IDispatch* none = reinterpret_cast<IDispatch*>(1);
  EXPECT_TRUE(FAILED(engine.CreateObject(B("Velmora.NoSuchThing"), &none)));
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(engine.Log(), "");
}

TEST_F(RegistrationTest, AddRegKeyRootsTypesAndConversions) {
  const std::string base = std::string("HKCU\\") + kKey;
  auto add = [&](const std::string& path, LONG type, const Argument& value) {
    return engine.AddRegKey(B(path), type, value.v);
  };
  // Roots are the four prefixes exactly as written; HKU and lower case write nothing.
  EXPECT_EQ(add(std::string("HKU\\") + kKey + "\\x", 1, Argument(L"x")), S_OK);
  EXPECT_EQ(add(std::string("hkcu\\") + kKey + "\\x", 1, Argument(L"x")), S_OK);
  EXPECT_EQ(add("HKCU\\NoBackslash", 1, Argument(L"x")), S_OK);
  EXPECT_EQ(add("HKCU", 1, Argument(L"x")), S_OK);
  EXPECT_EQ(add(base + "\\Five", 5, Argument(L"x")), E_INVALIDARG);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kKey));
  EXPECT_EQ(engine.Log(), "");

  engine.SetVariable("Who", "Velmora");
  EXPECT_EQ(add(base + "\\Number", 4, Argument(L"5")), S_OK);
  EXPECT_EQ(add(base + "\\One", 1, Argument(L"a")), S_OK);
  EXPECT_EQ(add(base + "\\@", 2, Argument(L"by ${Who}")), S_OK);
  EXPECT_EQ(add(base + "\\${Who}", 7, Argument::Int(12)), S_OK);
  EXPECT_EQ(add(base + "\\Text", 4, Argument(L"five")), DISP_E_TYPEMISMATCH);
  // Bytes travel as text: 61 00 62 00 63 00 is written as 61 62 63.
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, 6);
  const unsigned char wide[] = {0x61, 0, 0x62, 0, 0x63, 0};
  memcpy(array->pvData, wide, 6);
  Argument bytes;
  V_VT(&bytes.v) = VT_ARRAY | VT_UI1;
  V_ARRAY(&bytes.v) = array;
  EXPECT_EQ(add(base + "\\Binary", 3, bytes), S_OK);
  // A zero unit inside ends the text; the value keeps its size, filled with zeros.
  const unsigned char early[] = {0x41, 0, 0, 0, 0x42, 0};
  memcpy(array->pvData, early, 6);
  EXPECT_EQ(add(base + "\\Early", 3, bytes), S_OK);

  using V = RegistryData;
  EXPECT_EQ(RegistryValue(HKEY_CURRENT_USER, kKey, "Number"), V(REG_DWORD, std::string("\5\0\0\0", 4)));
  EXPECT_EQ(RegistryValue(HKEY_CURRENT_USER, kKey, "One"), V(REG_SZ, std::string("a\0", 2)));
  EXPECT_EQ(RegistryValue(HKEY_CURRENT_USER, kKey, ""), V(REG_EXPAND_SZ, std::string("by Velmora\0", 11)));
  EXPECT_EQ(RegistryValue(HKEY_CURRENT_USER, kKey, "Velmora"), V(REG_MULTI_SZ, std::string("12\0", 3)));
  EXPECT_EQ(RegistryValue(HKEY_CURRENT_USER, kKey, "Binary"), V(REG_BINARY, "abc"));
  EXPECT_EQ(RegistryValue(HKEY_CURRENT_USER, kKey, "Early"), V(REG_BINARY, std::string("A\0\0", 3)));
  EXPECT_EQ(RegistryValue(HKEY_CURRENT_USER, kKey, "Text").first, DWORD(REG_NONE));
  EXPECT_EQ(engine.Log(),
            "6 " + base + "\\Early\r\n"
            "6 " + base + "\\Binary\r\n"
            "6 " + base + "\\Velmora\r\n"
            "6 " + base + "\\\r\n"
            "6 " + base + "\\One\r\n"
            "6 " + base + "\\Number\r\n"
            "5 " + base + "\r\n");
}

// The service manager's record of a service, as Wine keeps it.
std::string ServiceValue(const std::string& name, const char* value) {
  RegistryData data = RegistryValue(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\" + name, value);
  if (data.first == REG_DWORD && data.second.size() == 4) return std::to_string(uint8_t(data.second[0]));
  return data.second.substr(0, data.second.find('\0'));
}

TEST_F(RegistrationTest, ServicesAreCreatedOnceWithAQuotedPath) {
  const char* names[] = {"VelmoraRegistrationOne", "VelmoraRegistrationTwo", "VelmoraRegistrationThree"};
  for (const char* name : names) DeleteServiceNamed(name);
  engine.SetVariable("Which", "One");
  EXPECT_EQ(engine.InstallService(B("VelmoraRegistration${Which}"), B("Velmora ${Which}"), B("Serves ${Which}"),
                                  B("C:\\Program Files\\Velmora ${Which}\\service.exe"), SERVICE_AUTO_START),
            S_OK);
  EXPECT_EQ(ServiceValue(names[0], "ImagePath"), "\"C:\\Program Files\\Velmora One\\service.exe\"");
  EXPECT_EQ(ServiceValue(names[0], "DisplayName"), "Velmora One");
  EXPECT_EQ(ServiceValue(names[0], "Description"), "Serves One");
  EXPECT_EQ(ServiceValue(names[0], "Start"), "2");
  // The same name again fails and logs nothing.
  EXPECT_EQ(engine.InstallService(B(names[0]), B("again"), B(""), B("C:\\again.exe"), SERVICE_DEMAND_START), E_FAIL);
  // A path already quoted, or without a blank, stays as it is.
  EXPECT_EQ(engine.InstallService(B(names[1]), B(names[1]), B(""), B("\"C:\\Velmora Two\\s.exe\" -k"),
                                  SERVICE_DISABLED),
            S_OK);
  EXPECT_EQ(ServiceValue(names[1], "ImagePath"), "\"C:\\Velmora Two\\s.exe\" -k");
  EXPECT_EQ(ServiceValue(names[1], "Start"), "4");
  EXPECT_EQ(engine.InstallService(B(names[2]), B(names[2]), B(""), B("C:\\Velmora\\s.exe"), SERVICE_DEMAND_START),
            S_OK);
  EXPECT_EQ(ServiceValue(names[2], "ImagePath"), "C:\\Velmora\\s.exe");
  for (const char* name : names) DeleteServiceNamed(name);
  // Logged by the name the service manager knows.
  EXPECT_EQ(engine.Log(), std::string("8 ") + names[2] + "\r\n8 " + names[1] + "\r\n8 " + names[0] + "\r\n");
}

}  // namespace
