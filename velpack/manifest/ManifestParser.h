#pragma once
#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "Manifest.h"

// A problem found in a manifest, at a place in it when it has one (line 0: no place).
struct ManifestMessage {
  std::string file;
  int line = 0;
  int column = 0;
  std::string text;

  // "FILE:LINE:COL: SEVERITY: TEXT"
  std::string Format(const char* severity) const;
};

// Whether bytes look like a Windows program (an MZ header); else *problem says why not.
bool IsWindowsProgram(const std::vector<uint8_t>& bytes, std::string* problem);

// Reads a manifest into the checked model: every key known, every value of the right type and
// range, every text representable in the installer's code page, every source file read.
class ManifestParser {
 public:
  // progress, when given, receives a line for every large source file being read.
  explicit ManifestParser(std::function<void(const std::string&)> progress = {}) : progress_(std::move(progress)) {}

  // False when the manifest has errors; errors() lists all that were found.
  bool ParseFile(const std::string& path, Manifest* manifest);
  // The same for a manifest held in memory; path names it in messages, and relative paths
  // start from its folder.
  bool ParseText(const std::string& text, const std::string& path, Manifest* manifest);

  const std::vector<ManifestMessage>& errors() const { return errors_; }
  const std::vector<ManifestMessage>& warnings() const { return warnings_; }

 private:
  std::function<void(const std::string&)> progress_;
  std::vector<ManifestMessage> errors_;
  std::vector<ManifestMessage> warnings_;
};
