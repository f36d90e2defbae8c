#pragma once
#include <stdint.h>

#include <map>
#include <string>

#include "RegistryFile.h"

struct FileState {
  std::string path;  // Windows form, as written: C:\Program Files\Vendor\a.txt
  bool folder = false;
  uint64_t size = 0;
  std::string sha256;  // lower-case hex of the content; a link's target text for a symbolic link
  // What tells an unchanged file without reading it again: a write changes the change time.
  uint64_t device = 0, inode = 0;
  int64_t changeTimeNs = 0, modifyTimeNs = 0;
};

// The state of a Wine prefix whose server has ended (so its registry files are complete): every
// file and folder of drive C, and the registry of the machine, of the user and of the default
// profile (HKU\.DEFAULT). The classes root
// is part of both (HKLM\Software\Classes, HKCU\Software\Classes); services are keys of the
// machine's registry, fonts files and values like any other.
struct PrefixSnapshot {
  std::map<std::string, FileState> files;  // by folded path
  RegistryTree registry;
};

// Whether a Windows path lies in a temporary folder: C:\windows\temp or a user's Temp folder.
bool IsTemporaryPath(const std::string& windowsPath);

// Temporary folders, whose contents every program started may change, are left out, and so are
// renames and deletions of their files pending until the next start of Windows. A file whose
// device, inode and times equal those in previous keeps its hash from there instead of being read
// again. A host folder, when given, is walked as drive Z: (links in it are not followed). False
// with *error saying what could not be read.
bool TakeSnapshot(const std::string& prefix, const PrefixSnapshot* previous, PrefixSnapshot* snapshot,
                  std::string* error, const std::string& host = std::string());
