#pragma once
#include <windows.h>
#include <stdint.h>

#include "OwnedHandle.h"
#include "Text.h"

// Who a product is installed for, and what follows from it. Installed for the current user
// only, nothing needs administrator rights: the folders that would be shared by every user are
// the user's own (programs in the local application data, the user's Start menu, per-user fonts),
// and the registration, COM classes and font list go under HKEY_CURRENT_USER.
namespace InstallScope {

// The variables whose folder follows the scope, in no particular order; kVariableCount of them.
extern const char* const kVariables[];
const uint32_t kVariableCount = 7;

// The folder that variable names in the scope.
Text Folder(const char* variable, bool perUser);

// The predefined key (handle value) of the registration and the font list.
uint32_t RegistryRoot(bool perUser);

// The key below the registry root that lists the installed programs, with a closing backslash.
extern const char kUninstallKey[];

// The registration's value (a DWORD) naming the Windows language identifier the install ran in.
extern const char kLanguageValue[];

// The handle of a predefined key (its value as the package and the log carry it).
HKEY RootKey(uint32_t root);

// The command a registration for removal names: the "UninstallString" of key below parent;
// empty when there is none.
Text RegisteredCommand(HKEY parent, const Text& key);
// The command that removes productName, as the registry root of the scope registers it; empty
// when it holds no registration of it.
Text RegisteredCommand(const Text& productName, bool perUser);

// Whether the registry root of the scope holds a registration of productName.
bool IsRegistered(const Text& productName, bool perUser);

// The language the registration of productName names; 0 when it names none.
uint16_t RegisteredLanguage(const Text& productName, bool perUser);

}  // namespace InstallScope

// While it lives, and only for a per-user install, what is written to HKEY_CLASSES_ROOT in this
// process goes to the user's classes (HKCU\Software\Classes), where COM servers, type libraries
// and their removal then find it.
class UserClasses {
 public:
  explicit UserClasses(bool perUser);
  ~UserClasses();
  UserClasses(const UserClasses&) = delete;
  UserClasses& operator=(const UserClasses&) = delete;

 private:
  RegistryKey classes_;
};
