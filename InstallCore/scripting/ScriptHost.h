#pragma once
#include <windows.h>

#include "InstallerObject.h"
#include "Text.h"

// Runs one script action in the Active Scripting engine its language names, with the
// installer's automation object as a named item.
class ScriptHost {
 public:
  HRESULT RunScript(const Text& language, const Text& script, const wchar_t* itemName, IInstallerObject* object);
};
