#include "ManifestSources.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <system_error>

namespace fs = std::filesystem;

namespace ManifestSources {
namespace {

bool HasWildcard(const std::string& component) { return component.find_first_of("*?") != std::string::npos; }

std::vector<std::string> SplitPath(const std::string& source) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= source.size()) {
    size_t slash = source.find('/', start);
    if (slash == std::string::npos) slash = source.size();
    if (slash > start) parts.push_back(source.substr(start, slash - start));
    start = slash + 1;
  }
  return parts;
}

std::string Join(const std::string& prefix, const std::string& name) {
  return prefix.empty() ? name : prefix + "/" + name;
}

// Directory symlinks are not followed: a link back up the tree would never end.
bool IsRealFolder(const fs::directory_entry& entry) {
  std::error_code ec;
  return entry.is_directory(ec) && !entry.is_symlink(ec);
}

bool IsFile(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

std::vector<fs::directory_entry> Entries(const fs::path& folder) {
  std::vector<fs::directory_entry> entries;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(*it);
  return entries;
}

void AddTree(const fs::path& folder, const std::string& relative, bool includeHidden,
             std::map<std::string, fs::path>* found) {
  for (const fs::directory_entry& entry : Entries(folder)) {
    std::string name = entry.path().filename().string();
    if (!includeHidden && name[0] == '.') continue;
    if (IsRealFolder(entry)) {
      AddTree(entry.path(), Join(relative, name), includeHidden, found);
    } else if (IsFile(entry.path())) {
      found->emplace(Join(relative, name), entry.path());
    }
  }
}

void Match(const fs::path& folder, const std::vector<std::string>& parts, size_t index, const std::string& relative,
           std::map<std::string, fs::path>* found) {
  if (index == parts.size()) return;
  const std::string& part = parts[index];
  bool last = index + 1 == parts.size();
  if (part == "**") {
    if (last) {
      AddTree(folder, relative, false, found);
      return;
    }
    Match(folder, parts, index + 1, relative, found);
    for (const fs::directory_entry& entry : Entries(folder)) {
      std::string name = entry.path().filename().string();
      if (name[0] != '.' && IsRealFolder(entry)) Match(entry.path(), parts, index, Join(relative, name), found);
    }
    return;
  }
  if (!HasWildcard(part)) {
    fs::path next = folder / part;
    std::error_code ec;
    if (last) {
      if (IsFile(next)) found->emplace(Join(relative, part), next);
    } else if (fs::is_directory(next, ec)) {
      Match(next, parts, index + 1, Join(relative, part), found);
    }
    return;
  }
  for (const fs::directory_entry& entry : Entries(folder)) {
    std::string name = entry.path().filename().string();
    if (!MatchName(part, name)) continue;
    if (last) {
      if (IsFile(entry.path())) found->emplace(Join(relative, name), entry.path());
    } else if (IsRealFolder(entry)) {
      Match(entry.path(), parts, index + 1, Join(relative, name), found);
    }
  }
}

void Collect(const std::map<std::string, fs::path>& found, std::vector<SourceFile>* files) {
  // std::map keeps the relative paths in byte order.
  for (const auto& [relative, path] : found) files->push_back({path, relative});
}

}  // namespace

bool MatchName(const std::string& pattern, const std::string& name) {
  if (!name.empty() && name[0] == '.' && (pattern.empty() || pattern[0] != '.')) return false;
  size_t p = 0, n = 0;
  size_t starP = std::string::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++p, ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool Resolve(const fs::path& base, const std::string& source, std::vector<SourceFile>* files, bool* single,
             std::string* problem) {
  files->clear();
  *single = false;
  std::vector<std::string> parts = SplitPath(source);
  size_t firstWild = 0;
  while (firstWild < parts.size() && !HasWildcard(parts[firstWild])) ++firstWild;

  fs::path root = !source.empty() && source[0] == '/' ? fs::path("/") : base;
  for (size_t i = 0; i < firstWild; ++i) root /= parts[i];
  std::map<std::string, fs::path> found;
  std::error_code ec;

  if (firstWild == parts.size()) {
    if (fs::is_directory(root, ec)) {
      AddTree(root, "", true, &found);
      if (found.empty()) {
        *problem = "the folder '" + source + "' holds no file";
        return false;
      }
    } else if (IsFile(root)) {
      *single = true;
      found.emplace(root.filename().string(), root);
    } else {
      *problem = fs::exists(root, ec) ? "'" + source + "' is neither a file nor a folder"
                                      : "no file or folder '" + source + "' (looked for " + root.string() + ")";
      return false;
    }
  } else {
    Match(root, parts, firstWild, "", &found);
    if (found.empty()) {
      *problem = "the pattern '" + source + "' matches no file";
      return false;
    }
  }
  Collect(found, files);
  return true;
}

uint64_t ToFileTime(int64_t seconds, int64_t nanoseconds) {
  constexpr int64_t kEpochDifference = 11644473600;  // seconds from 1601-01-01 to 1970-01-01
  int64_t ticks = (seconds + kEpochDifference) * 10000000 + nanoseconds / 100;
  return ticks < 0 ? 0 : static_cast<uint64_t>(ticks);
}

namespace {
// SOURCE_DATE_EPOCH, the reproducible-builds convention: when set, every file carries that time.
bool FixedTime(bool* set, uint64_t* time, std::string* problem) {
  const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
  *set = epoch && *epoch;
  if (!*set) return true;
  char* end = nullptr;
  errno = 0;
  long long seconds = std::strtoll(epoch, &end, 10);
  if (errno || *end || seconds < 0) {
    *problem = std::string("SOURCE_DATE_EPOCH '") + epoch + "' is not a number of seconds since 1970";
    return false;
  }
  *time = ToFileTime(seconds, 0);
  return true;
}
}  // namespace

bool Read(const fs::path& path, FileData* data, std::string* problem) {
  bool fixed = false;
  uint64_t fixedTime = 0;
  if (!FixedTime(&fixed, &fixedTime, problem)) return false;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *problem = "cannot read '" + path.string() + "': " + std::strerror(errno);
    return false;
  }
  data->content.clear();
  uint8_t buffer[65536];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *problem = "cannot read '" + path.string() + "': " + std::strerror(errno);
      close(fd);
      return false;
    }
    if (n == 0) break;
    data->content.insert(data->content.end(), buffer, buffer + n);
  }
  struct stat st;
  int statResult = fstat(fd, &st);
  int statError = errno;
  close(fd);
  if (statResult != 0) {
    *problem = "cannot read '" + path.string() + "': " + std::strerror(statError);
    return false;
  }
  // The access time changes whenever anyone reads the file: recording it would make two builds
  // of the same tree differ.
  data->times.lastWrite = fixed ? fixedTime : ToFileTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  data->times.creation = data->times.lastWrite;
  data->times.lastAccess = data->times.lastWrite;
  data->writable = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
  return true;
}

}  // namespace ManifestSources
