#pragma once
#include <windows.h>
#include <stdint.h>

#include "OwnedHandle.h"
#include "Text.h"
#include "WideText.h"

// The entries of one folder in the order the file system returns them, without "." and "..".
class FolderListing {
 public:
  // False when the folder cannot be listed (or does not exist).
  bool Open(const Text& folder);
  // Moves to the next entry; false at the end.
  bool Next();

  Text Name() const { return WideText::ToText(found_.cFileName); }
  bool IsFolder() const { return (found_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
  uint64_t Size() const { return uint64_t(found_.nFileSizeHigh) << 32 | found_.nFileSizeLow; }

 private:
  bool IsDotEntry() const;

  FindHandle find_;
  WIN32_FIND_DATAW found_;
  bool pending_ = false;  // found_ holds an entry that Next has not yet handed out
};
