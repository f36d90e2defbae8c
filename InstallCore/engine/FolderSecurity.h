#pragma once
#include <windows.h>

#include "Text.h"

// Folders created with a security descriptor of their own instead of their parent's.
namespace FolderSecurity {

enum Kind {
  // Only this process's user, the administrators and the system can reach it: nobody else can
  // add or replace anything in it.
  kPrivate,
  // The protection the programs folder has: administrators and the system may change it, users
  // may read and run what is in it.
  kProtected,
};

// Creates the folder, which must not exist yet, with the kind's descriptor, inherited by
// everything inside and nothing inherited from its parent.
bool Create(const Text& path, Kind kind);
// That descriptor, to be freed with LocalFree; null on failure.
PSECURITY_DESCRIPTOR Describe(Kind kind);
// This process's user as a SID string ("S-1-5-21-..."), or the empty text.
Text UserSid();
// Whether this process runs with the administrators' rights (elevated, where the system splits them).
bool IsElevated();

}  // namespace FolderSecurity
