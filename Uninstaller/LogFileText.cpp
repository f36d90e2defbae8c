#include "LogFileText.h"

#include <windows.h>

#include "UninstallLogReader.h"
#include "WideText.h"

namespace LogFileText {

Text Utf8Of(const MappedFile& file) {
  const char* data = reinterpret_cast<const char*>(file.View());
  if (UninstallLogReader::StartsWithByteOrderMark(data, file.Size())) return Text(data, file.Size());
  return WideText::Recode(Text(data, file.Size()), CP_ACP, CP_UTF8);
}

Text InLogCodePage(const Text& utf8, bool utf8Log) {
  return utf8Log ? utf8 : WideText::Recode(utf8, CP_UTF8, CP_ACP);
}

}  // namespace LogFileText
