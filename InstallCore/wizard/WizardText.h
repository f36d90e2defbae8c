#pragma once
#include <stdint.h>

#include "Text.h"

// The texts the wizard composes itself: sizes, shortened paths and the disk-space line.
namespace WizardText {

typedef bool (*LeadByteTest)(unsigned char byte);

// "%d Kb" below 99 MB (101376 KB), else "%d Mb" with the megabytes truncated.
Text FormatSize(uint32_t kb);

// A path of limit bytes or more becomes its part up to the first backslash, "..." and its part
// from the last backslash, when at least one character lies between the two. Backslashes are
// found character by character, so a double-byte character is never split.
Text ShortenPath(const Text& path, uint32_t limit, LeadByteTest isLeadByte);

// The format with its first "%s" replaced by first and its second by second; "%%" gives "%".
// Any other "%" sequence, or a third "%s", stays as it is: the format comes from the package
// and must never make the wizard read arguments that are not there.
Text FormatTwoStrings(const Text& format, const Text& first, const Text& second);

}  // namespace WizardText
