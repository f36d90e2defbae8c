#pragma once
#include <stdint.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Manifest.h"

// The build machine's side of a manifest: finding the files a `source` names and reading them.
namespace ManifestSources {

struct SourceFile {
  std::filesystem::path path;
  std::string relative;  // '/'-separated path below the source's folder; the file name alone for a single file
};

// Files named by `source` (relative to `base`): one file, every file below a folder, or the files
// a glob pattern matches, sorted by relative path. *single tells a plain file apart. False with
// *problem when the path does not exist or nothing matches.
bool Resolve(const std::filesystem::path& base, const std::string& source, std::vector<SourceFile>* files, bool* single,
             std::string* problem);

// One path component against one pattern component: '*' any run of characters, '?' one.
// Names beginning with '.' match a wildcard only when the pattern begins with '.' too.
bool MatchName(const std::string& pattern, const std::string& name);

struct FileData {
  std::vector<uint8_t> content;
  FileTimes times;
  bool writable = true;
};

// Reads a whole file with its times (creation = modification time) as FILETIME values.
bool Read(const std::filesystem::path& path, FileData* data, std::string* problem);

// FILETIME of a Unix time.
uint64_t ToFileTime(int64_t seconds, int64_t nanoseconds);

}  // namespace ManifestSources
