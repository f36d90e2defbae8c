#pragma once
#include <stdint.h>

#include <string>
#include <string_view>

// The installer's texts are in the Windows-1252 code page; manifests and script files are UTF-8.
namespace TextEncoding {

// Converts UTF-8 to Windows-1252. On failure returns false and describes the first character
// that cannot be converted (or the malformed byte) in *problem.
bool Utf8ToWindows1252(std::string_view utf8, std::string* out, std::string* problem);

// U+XXXX notation, followed by the character itself when it is printable.
std::string DescribeCodePoint(uint32_t codePoint);

}  // namespace TextEncoding
