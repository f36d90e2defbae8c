#pragma once
#include <string>

#include "Manifest.h"

// What an installer running without administrator rights cannot do: services, the machine's
// registry, and writing below the program files or the Windows folder.
namespace PerUserRules {

// Why a per-user install cannot write to path ("lies in the Windows folder"), or "" when it can.
// Variables that follow the install's scope (${ProgramsPath} and the like) are allowed.
std::string PathRefusal(const std::string& path);

struct Refusal {
  const char* key;  // the action's key the message points at; null for the action as a whole
  std::string problem;
};

// Why a per-user install cannot carry out action; an empty problem when it can.
Refusal ActionRefusal(const Action& action);

}  // namespace PerUserRules
