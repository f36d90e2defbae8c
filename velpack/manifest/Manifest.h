#pragma once
#include <stdint.h>

#include <map>
#include <string>
#include <variant>
#include <vector>

#include "WindowsImage.h"

// The parsed manifest: everything the package needs, already checked, with texts converted to
// the package's encoding and the files it carries read into memory.

struct FileTimes {
  uint64_t creation = 0;  // FILETIME values: 100 ns units since 1601-01-01
  uint64_t lastAccess = 0;
  uint64_t lastWrite = 0;
};

// Windows file attribute bits.
constexpr uint32_t kAttributeReadOnly = 0x01;
constexpr uint32_t kAttributeHidden = 0x02;
constexpr uint32_t kAttributeSystem = 0x04;
constexpr uint32_t kAttributeArchive = 0x20;
constexpr uint32_t kAttributeNormal = 0x80;

struct PackageFileAction {
  std::string destination;  // full path of the installed file
  FileTimes times;
  uint32_t attributes = kAttributeArchive;
  std::vector<uint8_t> content;
};

// Predefined registry keys, by their handle values.
constexpr uint32_t kHkeyClassesRoot = 0x80000000;
constexpr uint32_t kHkeyCurrentUser = 0x80000001;
constexpr uint32_t kHkeyLocalMachine = 0x80000002;
constexpr uint32_t kHkeyCurrentConfig = 0x80000005;

struct RegistryAction {
  uint32_t root = 0;       // predefined key handle value
  std::string path;        // key, a backslash, the value name ("@" for the default value)
  uint32_t valueType = 0;  // REG_SZ and the like
  std::vector<uint8_t> data;
};

struct RunAction {
  bool deferred = false;
  std::string program;
  std::string arguments;
};

struct ShortcutAction {
  int16_t iconIndex = 0;
  uint16_t hotKey = 0;
  int16_t showCommand = 1;
  std::string target;
  std::string arguments;
  std::string description;
  std::string iconFile;
  std::string path;
  std::string workingFolder;
};

struct FontAction {
  std::string path;
};

struct ComServerAction {
  std::string path;
};

struct TypeLibraryAction {
  std::string path;
  std::string helpFolder;
};

struct ServiceAction {
  uint32_t startType = 3;
  std::string name;
  std::string displayName;
  std::string description;
  std::string program;
};

struct ScriptAction {
  std::string language;
  std::string text;
};

struct CopyFileAction {
  std::string source;
  std::string destination;
  uint32_t attributes = kAttributeArchive;
};

struct CopyFolderAction {
  std::string source;
  std::string destination;
};

// One action record of a component.
using Action = std::variant<PackageFileAction, RegistryAction, RunAction, ShortcutAction, FontAction, ComServerAction,
                            TypeLibraryAction, ServiceAction, ScriptAction, CopyFileAction, CopyFolderAction>;

struct Component {
  std::string name;
  std::string description;
  bool listed = true;
  bool selected = true;
  std::vector<Action> actions;
};

struct Language {
  std::string name;
  uint16_t id = 0;
  std::map<int, std::string> controls;  // control id → text
  std::map<int, std::string> strings;   // string number → text
};

// Who a product is installed for: every user (administrator rights), the user who runs the
// installer (none), or either, as the user or the command line chooses.
enum class InstallScope : uint32_t { kMachine, kUser, kEither };

struct Product {
  InstallScope scope = InstallScope::kMachine;
  // Picks the stub and the uninstaller: an x64 installer writes the native registry view and
  // installs into the native program files folder.
  Architecture architecture = Architecture::kX86;
  std::string name;
  std::string company;
  std::string version;
  std::string destination;
  std::string addedFolder;
  std::string startMenu;
  bool startMenuAllUsers = false;
  bool allowFolderChange = true;
  bool allowStartMenuChange = false;
  bool unattended = false;
  std::string uninstallerText;
  // Shown for the product in the system's list of installed programs.
  std::string icon;
  std::string url;
  std::string helpUrl;
  std::vector<uint8_t> licence;
  std::vector<uint8_t> logo;
  std::vector<uint8_t> uninstaller;
  // No uninstaller key (or true): the build carries the project's own, found beside the stub.
  bool carryOwnUninstaller = true;
  // compression = "lzma" (the default): file data in one long-range stream per component;
  // "block": each large file a block-coded stream, small ones in the solid block.
  bool longRangeFiles = true;
  // encoding = "utf-8" (the default): every text in UTF-8, shown alike on every system;
  // "ansi": in Windows-1252, for installers that read no Unicode package.
  bool unicode = true;
  // The codes of the shipped wizard languages the installer carries, in the order shipped.
  std::vector<std::string> languages;
};

struct Manifest {
  Product product;
  std::vector<Component> components;
  std::vector<Language> languages;  // complete tables, English first
};
