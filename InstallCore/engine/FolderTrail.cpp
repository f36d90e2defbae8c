#include "FolderTrail.h"

#include "OwnedHandle.h"
#include "WideText.h"

bool FolderTrail::Enter(const Text& folder) {
  if (depth_ >= kMaxDepth) return false;
  Identity identity;
  // A folder whose identity cannot be read is still entered: only the depth bounds it then.
  bool known = IdentityOf(folder, &identity);
  if (!known) identity = Identity{0, 0, 0};
  for (uint32_t i = 0; known && i < depth_; ++i)
    if (trail_[i].volume == identity.volume && trail_[i].indexHigh == identity.indexHigh &&
        trail_[i].indexLow == identity.indexLow)
      return false;
  trail_[depth_++] = identity;
  return true;
}

void FolderTrail::Leave() {
  if (depth_ > 0) --depth_;
}

bool FolderTrail::IdentityOf(const Text& folder, Identity* identity) {
  FileHandle handle(CreateFileW(WideText(folder), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!handle.Valid() || !GetFileInformationByHandle(handle.Get(), &info)) return false;
  *identity = Identity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  return true;
}
