#pragma once
#include <stdint.h>

#include "List.h"
#include "Text.h"

// One change recorded in the uninstall log: its type code and its text.
struct LogLine {
  int type;
  Text text;

  // Whether the text is a drive or network path: a relative one would depend on the current folder.
  bool HasFullPath() const;
};

// The uninstall log read back: the product name, the text the installer hands over for the
// uninstaller (log type 1), and the recorded changes, newest first, in the order they are undone.
class UninstallLogReader {
 public:
  enum LineType {
    kUninstallerText = 1,
    kFolder = 2,
    kFile = 3,
    kServer = 4,
    kKey = 5,
    kValue = 6,
    kTypeLibrary = 7,
    kService = 8,
  };

  // A log that starts with the UTF-8 byte-order mark is in UTF-8 (from a Unicode package); any
  // other is in the ANSI code page of the system that wrote it.
  static bool StartsWithByteOrderMark(const char* data, uint32_t size);

  // False when the bytes hold no product name, or memory runs out. A byte-order mark is passed
  // over. Lines of unknown types,
  // lines without text and lines holding zero bytes are passed over.
  bool Read(const char* data, uint32_t size);
  // Adds the journal an install keeps beside its log while it runs, left behind when the run
  // ended early: its lines, oldest first in the file, go before the log's, newest first, and
  // the journal file itself before them. Without a log, the product name is the journal's.
  bool AddJournal(const char* data, uint32_t size, const Text& journalPath);

  const Text& ProductName() const { return productName_; }
  const Text& UninstallerText() const { return uninstallerText_; }
  const List<LogLine>& Lines() const { return lines_; }
  // Whether the log (or the journal) began with the byte-order mark.
  bool Utf8() const { return utf8_; }

 private:
  Text productName_;
  Text uninstallerText_;
  List<LogLine> lines_;
  bool utf8_ = false;
};
