// Reads arbitrary bytes as an uninstall log: whatever they hold, the reader must keep to its
// buffers and hand back only lines the uninstaller can act on.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "UninstallLogReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0xFFFFFFFFu) return 0;
  UninstallLogReader log;
  const char* bytes = reinterpret_cast<const char*>(data);
  if (!log.Read(bytes, uint32_t(size))) {
    if (!log.ProductName().Empty() && log.Lines().Count() != 0) __builtin_trap();
    return 0;
  }
  if (log.ProductName().Empty()) __builtin_trap();
  for (const LogLine& line : log.Lines()) {
    if (line.type < UninstallLogReader::kFolder || line.type > UninstallLogReader::kService) __builtin_trap();
    if (line.text.Empty() || memchr(line.text.Data(), 0, line.text.Length()) ||
        memchr(line.text.Data(), '\n', line.text.Length()))
      __builtin_trap();
    line.HasFullPath();
  }
  // A second read of the same bytes starts afresh and reads the same lines.
  uint32_t lines = log.Lines().Count();
  if (!log.Read(bytes, uint32_t(size)) || log.Lines().Count() != lines) __builtin_trap();
  return 0;
}
