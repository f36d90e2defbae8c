#include "InstallLogText.h"

namespace InstallLogText {
namespace {
void AppendDigits(Text* text, uint32_t value, int digits) {
  char buffer[10];
  for (int i = digits - 1; i >= 0; --i, value /= 10) buffer[i] = char('0' + value % 10);
  text->Append(buffer, uint32_t(digits));
}

void AppendClock(Text* text, const Time& time) {
  AppendDigits(text, time.hour, 2);
  text->Append(':');
  AppendDigits(text, time.minute, 2);
  text->Append(':');
  AppendDigits(text, time.second, 2);
}

}  // namespace

Text ErrorNumber(uint32_t error) {
  Text text;
  // Windows error codes are small numbers; HRESULTs read better the way they are documented.
  if (!(error & 0x80000000u)) {
    text.AppendDecimal(error);
    return text;
  }
  static const char kDigits[] = "0123456789ABCDEF";
  text.Append("0x");
  for (int shift = 28; shift >= 0; shift -= 4) text.Append(kDigits[(error >> shift) & 15]);
  return text;
}

Text Line(const Time& time, const Text& text) {
  Text line;
  AppendClock(&line, time);
  line.Append(' ');
  for (uint32_t i = 0; i < text.Length(); ++i) {
    char c = text[i];
    line.Append(c == '\r' || c == '\n' || c == 0 ? ' ' : c);
  }
  line.Append("\r\n");
  return line;
}

Text Outcome(const Text& action, uint32_t error, const Text& message) {
  Text line(error == 0 ? "ok      " : "FAILED  ");
  line.Append(action);
  if (error == 0) return line;
  line.Append(": error ");
  line.Append(ErrorNumber(error));
  Text text(message);
  while (!text.Empty() && (text[text.Length() - 1] == '\r' || text[text.Length() - 1] == '\n' ||
                           text[text.Length() - 1] == ' '))
    text.Truncate(text.Length() - 1);
  if (!text.Empty()) {
    line.Append(", ");
    line.Append(text);
  }
  return line;
}

Text DateTime(const Time& time) {
  Text text;
  AppendDigits(&text, time.year, 4);
  text.Append('-');
  AppendDigits(&text, time.month, 2);
  text.Append('-');
  AppendDigits(&text, time.day, 2);
  text.Append(' ');
  AppendClock(&text, time);
  return text;
}

}  // namespace InstallLogText
