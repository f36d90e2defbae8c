#include "FolderListing.h"

bool FolderListing::Open(const Text& folder) {
  *find_.Receive() = FindFirstFileA((folder + "\\*").CStr(), &found_);
  pending_ = find_.Valid();
  return pending_;
}

bool FolderListing::Next() {
  for (;;) {
    if (!pending_ && (!find_.Valid() || !FindNextFileA(find_.Get(), &found_))) return false;
    pending_ = false;
    if (!IsDotEntry()) return true;
  }
}

bool FolderListing::IsDotEntry() const {
  const char* name = found_.cFileName;
  return IsFolder() && name[0] == '.' && (!name[1] || (name[1] == '.' && !name[2]));
}
