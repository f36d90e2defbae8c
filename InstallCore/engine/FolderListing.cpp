#include "FolderListing.h"
#include "WideText.h"

bool FolderListing::Open(const Text& folder) {
  *find_.Receive() = FindFirstFileW(WideText(folder + "\\*"), &found_);
  pending_ = find_.Valid();
  return pending_;
}

bool FolderListing::Next() {
  for (;;) {
    if (!pending_ && (!find_.Valid() || !FindNextFileW(find_.Get(), &found_))) return false;
    pending_ = false;
    if (!IsDotEntry()) return true;
  }
}

bool FolderListing::IsDotEntry() const {
  const wchar_t* name = found_.cFileName;
  return IsFolder() && name[0] == L'.' && (!name[1] || (name[1] == L'.' && !name[2]));
}
