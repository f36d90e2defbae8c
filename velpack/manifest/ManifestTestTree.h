#pragma once
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

// A private folder for a test's manifest and source files, removed afterwards.
class ManifestTestTree {
 public:
  ManifestTestTree() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velpack-test-XXXXXX").string();
    root_ = mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~ManifestTestTree() {
    std::error_code ec;
    // Read-only files inside would otherwise survive as root-owned leftovers of a failed test.
    std::filesystem::permissions(root_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(root_, ec);
  }
  ManifestTestTree(const ManifestTestTree&) = delete;
  ManifestTestTree& operator=(const ManifestTestTree&) = delete;

  const std::filesystem::path& root() const { return root_; }
  std::string Path(const std::string& relative) const { return (root_ / relative).string(); }

  std::string Write(const std::string& relative, const std::string& content) const {
    std::filesystem::path path = root_ / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
  }

  // Sets modification and access times to whole seconds plus nanoseconds since 1970.
  void SetTimes(const std::string& relative, long mtime, long mtimeNs, long atime, long atimeNs) const {
    struct timespec times[2] = {{atime, atimeNs}, {mtime, mtimeNs}};
    utimensat(AT_FDCWD, Path(relative).c_str(), times, 0);
  }

 private:
  std::filesystem::path root_;
};
