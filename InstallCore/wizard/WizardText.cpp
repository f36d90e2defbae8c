#include "WizardText.h"

namespace WizardText {

Text FormatSize(uint32_t kb) {
  Text text;
  if (kb < 101376) {
    text.AppendDecimal(kb);
    text.Append(" Kb");
  } else {
    text.AppendDecimal(kb / 1024);
    text.Append(" Mb");
  }
  return text;
}

Text ShortenPath(const Text& path, uint32_t limit, LeadByteTest isLeadByte) {
  uint32_t first = Text::kNotFound;
  uint32_t last = Text::kNotFound;
  for (uint32_t i = 0; i < path.Length(); ++i) {
    char c = path[i];
    if (c == '\\') {
      if (first == Text::kNotFound) first = i;
      last = i;
    } else if (isLeadByte(static_cast<unsigned char>(c)) && i + 1 < path.Length()) {
      ++i;
    }
  }
  if (first == Text::kNotFound || last - first < 2 || path.Length() < limit) return path;
  Text shortened = path.Left(first + 1);
  shortened.Append("...");
  shortened.Append(path.Mid(last));
  return shortened;
}

Text FormatTwoStrings(const Text& format, const Text& first, const Text& second) {
  Text text;
  int used = 0;
  for (uint32_t i = 0; i < format.Length(); ++i) {
    char c = format[i];
    char next = i + 1 < format.Length() ? format[i + 1] : '\0';
    if (c == '%' && next == '%') {
      text.Append('%');
      ++i;
    } else if (c == '%' && next == 's' && used < 2) {
      text.Append(used++ == 0 ? first : second);
      ++i;
    } else {
      text.Append(c);
    }
  }
  return text;
}

}  // namespace WizardText
