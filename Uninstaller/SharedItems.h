#pragma once
#include "Text.h"
#include "UninstallLogReader.h"

// Folders and keys that products share, such as a vendor's key or Start-menu folder: made by the
// product installed first, they hold the later ones' items too. The first one's uninstall leaves
// such a folder or key in place; the product whose items keep it there then takes it over, so
// that whichever goes last removes it.
namespace SharedItems {
// Adds the folder or key line to the end of the uninstall log (oldest, undone last) of a product
// registered for removal whose log records something inside it. Returns that log's path, or the
// empty text when no other product's log does (the folder or key then holds what no product
// installed, and stays).
Text HandOver(const LogLine& line, const Text& ownLog);
}  // namespace SharedItems
