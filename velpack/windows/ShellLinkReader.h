#pragma once
#include <stdint.h>

#include <string>
#include <vector>

// The fields of a shell link (.lnk) file a report shows, in UTF-8.
struct ShellLink {
  std::string target, arguments, workingFolder, description;
};

// Reads the shell link binary format: the target from the link's location information (local
// base path and common suffix), else from its item list (drive and file-system items), else its
// relative path; narrow texts are taken as Windows-1252. False with *error for a file that is no
// shell link or ends inside a structure.
bool ReadShellLink(const std::vector<uint8_t>& bytes, ShellLink* link, std::string* error);
