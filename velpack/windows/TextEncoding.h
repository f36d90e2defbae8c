#pragma once
#include <stdint.h>

#include <string>
#include <string_view>
#include <vector>

// A package's texts are UTF-8, or in the Windows-1252 code page for installers that read no
// Unicode package; manifests and script files are UTF-8.
namespace TextEncoding {

// Converts UTF-8 from a manifest or a file to the package's encoding: checked and kept in a
// Unicode package, else converted to Windows-1252. On failure describes the first character that
// cannot be stored (or the malformed byte) in *problem.
bool ToPackageText(std::string_view utf8, bool unicode, std::string* out, std::string* problem);

// Converts UTF-8 to Windows-1252. On failure returns false and describes the first character
// that cannot be converted (or the malformed byte) in *problem.
bool Utf8ToWindows1252(std::string_view utf8, std::string* out, std::string* problem);

// The Unicode character of a Windows-1252 byte (the C1 control of the same number for the five
// bytes the code page leaves undefined).
uint32_t Windows1252CodePoint(uint8_t byte);
void AppendUtf8(uint32_t codePoint, std::string* out);
// Decodes one UTF-8 sequence at text[*pos] and moves past it; false for a malformed or overlong one.
bool NextCodePoint(std::string_view text, size_t* pos, uint32_t* codePoint);

// Windows' own texts (registry, shell links) are UTF-16LE; a lone surrogate passes through as it is.
void AppendUtf16Le(uint32_t codePoint, std::vector<uint8_t>* out);
std::string Utf16LeToUtf8(const uint8_t* bytes, size_t size);

// The key under which Windows names compare equal: ASCII letters folded to lower case, as the
// file system and the registry do for the names installers write.
std::string FoldCase(std::string_view text);

// U+XXXX notation, followed by the character itself when it is printable.
std::string DescribeCodePoint(uint32_t codePoint);

}  // namespace TextEncoding
