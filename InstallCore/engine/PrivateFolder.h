#pragma once
#include "Text.h"

// A folder of this process's own below a shared one such as the temporary folder: a fresh
// random name, created so that one that already exists (perhaps planted) is never used, and
// reachable by nobody but this process's user, the administrators and the system.
namespace PrivateFolder {

// The new folder's path, or the empty text when none could be created.
Text Create(const Text& parent, const char* prefix);
// Deletes the folder with everything in it. Links inside are removed, never followed, so
// nothing outside the folder is touched.
void Remove(const Text& folder);

}  // namespace PrivateFolder
