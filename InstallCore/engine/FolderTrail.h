#pragma once
#include <windows.h>
#include <stdint.h>

#include "Text.h"

// The folders a recursive walk is inside, outermost first. A junction or symbolic link can lead
// back to a folder the walk is already in, and two such links in one folder make the walk grow
// without end: a folder that is one of its own ancestors is not entered again, and no walk goes
// deeper than kMaxDepth.
class FolderTrail {
 public:
  static const uint32_t kMaxDepth = 32;

  // False when the folder may not be entered; Leave follows only a successful Enter.
  bool Enter(const Text& folder);
  void Leave();

 private:
  struct Identity {
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
  };
  static bool IdentityOf(const Text& folder, Identity* identity);

  Identity trail_[kMaxDepth];
  uint32_t depth_ = 0;
};
