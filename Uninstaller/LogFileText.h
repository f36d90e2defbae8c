#pragma once
#include "MappedFile.h"
#include "Text.h"

// The uninstaller works in UTF-8: a log written in the ANSI code page (by an installer of an
// ANSI package) is read converted, and what is written into it goes back in its own code page,
// so that an older uninstaller still reads it.
namespace LogFileText {
// The log's bytes in UTF-8.
Text Utf8Of(const MappedFile& file);
// UTF-8 text as the log of that kind stores it.
Text InLogCodePage(const Text& utf8, bool utf8Log);
}  // namespace LogFileText
