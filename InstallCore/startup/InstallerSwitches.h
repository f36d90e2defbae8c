#pragma once
#include <stdint.h>

#include "List.h"
#include "Text.h"

// What an installer's command line asks for. Switches begin with "/" or "-", their letter case
// is ignored, and a value may be quoted: /LOG="C:\Admin Logs\setup.log". /D= comes last and takes
// the rest of the line as it stands, blanks included; quoted whole ("/D=C:\My App") or in its
// path (/D="C:\My App"), it ends at the closing quote and may stand anywhere.
struct InstallerSwitches {
  bool silent = false;          // /S
  bool passive = false;         // /PASSIVE: the progress only, nothing that waits for the user
  enum Scope { kPackageScope, kAllUsers, kCurrentUser };
  Scope scope = kPackageScope;  // /ALLUSERS or /CURRENTUSER, the last one given
  bool help = false;            // /?
  Text destination;             // /D=PATH, without trailing backslashes (kept after a drive: "C:\")
  bool hasComponents = false;   // /COMPONENTS=NAME,NAME
  List<Text> components;
  uint16_t language = 0;        // /LANG=ID; 0 when not given
  Text logPath;                 // /LOG=FILE

  // False when an argument is unknown or its value is bad; *rejected is then the first such
  // argument as written, and only silent is to be used.
  bool Parse(const char* tail, Text* rejected);

  // The text /? shows.
  static const char kUsage[];

 private:
  // One argument other than /D=, its quotes removed; false when it is not understood.
  bool ReadWord(const Text& word);
};
