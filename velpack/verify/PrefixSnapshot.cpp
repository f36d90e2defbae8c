#include "PrefixSnapshot.h"

#include <dirent.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "FileBytes.h"
#include "TextEncoding.h"

namespace {

std::string Hex(const unsigned char* bytes, unsigned size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned i = 0; i < size; ++i) {
    hex += kDigits[bytes[i] >> 4];
    hex += kDigits[bytes[i] & 15];
  }
  return hex;
}

bool Sha256OfFile(const std::string& path, std::string* digest, std::string* error) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  bool ok = context && EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) == 1;
  std::vector<unsigned char> chunk(1 << 20);
  while (ok) {
    ssize_t n = read(fd, chunk.data(), chunk.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      if (!ok) *error = "cannot read " + path + ": " + std::strerror(errno);
      break;
    }
    ok = EVP_DigestUpdate(context.get(), chunk.data(), size_t(n)) == 1;
  }
  close(fd);
  unsigned char value[EVP_MAX_MD_SIZE];
  unsigned size = 0;
  if (ok && EVP_DigestFinal_ex(context.get(), value, &size) != 1) ok = false;
  if (!ok) {
    if (error->empty()) *error = "cannot hash " + path;
    return false;
  }
  *digest = Hex(value, size);
  return true;
}

class Walker {
 public:
  Walker(const PrefixSnapshot* previous, PrefixSnapshot* snapshot) : previous_(previous), snapshot_(snapshot) {}

  bool Walk(const std::string& unixFolder, const std::string& windowsFolder, std::string* error) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(unixFolder.c_str()), closedir);
    if (!dir) {
      *error = "cannot read the folder " + unixFolder + ": " + std::strerror(errno);
      return false;
    }
    while (dirent* entry = readdir(dir.get())) {
      std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      std::string unixPath = unixFolder + "/" + name;
      FileState state;
      state.path = windowsFolder + "\\" + name;
      std::string folded = TextEncoding::FoldCase(state.path);
      struct stat info;
      if (lstat(unixPath.c_str(), &info) != 0) {
        *error = "cannot read " + unixPath + ": " + std::strerror(errno);
        return false;
      }
      state.folder = S_ISDIR(info.st_mode);
      if (state.folder && IsTemporaryPath(state.path)) continue;
      state.device = info.st_dev;
      state.inode = info.st_ino;
      state.changeTimeNs = int64_t(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
      state.modifyTimeNs = int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
      if (!state.folder) {
        state.size = uint64_t(info.st_size);
        if (!Hash(unixPath, folded, info, &state, error)) return false;
      }
      snapshot_->files[folded] = state;
      if (state.folder && !Walk(unixPath, state.path, error)) return false;
    }
    return true;
  }

 private:
  bool Hash(const std::string& unixPath, const std::string& folded, const struct stat& info, FileState* state,
            std::string* error) {
    if (previous_) {
      auto known = previous_->files.find(folded);
      if (known != previous_->files.end() && !known->second.folder && known->second.device == state->device &&
          known->second.inode == state->inode && known->second.changeTimeNs == state->changeTimeNs &&
          known->second.modifyTimeNs == state->modifyTimeNs && known->second.size == state->size) {
        state->sha256 = known->second.sha256;
        return true;
      }
    }
    if (S_ISLNK(info.st_mode)) {
      std::vector<char> target(size_t(info.st_size) + 1);
      ssize_t n = readlink(unixPath.c_str(), target.data(), target.size());
      state->sha256 = "link " + std::string(target.data(), n > 0 ? size_t(n) : 0);
      return true;
    }
    if (!S_ISREG(info.st_mode)) return true;
    return Sha256OfFile(unixPath, &state->sha256, error);
  }

  const PrefixSnapshot* previous_;
  PrefixSnapshot* snapshot_;
};

bool ReadHive(const std::string& file, const char* root, RegistryTree* tree, std::string* error) {
  std::vector<uint8_t> bytes;
  if (!ReadFileBytes(file, &bytes, error)) return false;
  std::string problem;
  if (ReadRegistryFile(std::string(bytes.begin(), bytes.end()), root, tree, &problem)) return true;
  *error = file + ", " + problem;
  return false;
}

// Drops the list of renames and deletions pending until the next start when it concerns only
// temporary files (programs delete their own running copies that way).
void DropTemporaryRenames(RegistryTree* tree) {
  auto key = tree->find("hklm\\system\\currentcontrolset\\control\\session manager");
  if (key == tree->end()) return;
  auto value = key->second.values.find("pendingfilerenameoperations");
  if (value == key->second.values.end()) return;
  const std::vector<uint8_t>& bytes = value->second.data.bytes;
  size_t start = 0;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    if (bytes[i] || bytes[i + 1]) continue;
    std::string path = TextEncoding::Utf16LeToUtf8(bytes.data() + start, i - start);
    start = i + 2;
    if (path.compare(0, 4, "\\??\\") == 0) path = path.substr(4);
    if (!path.empty() && !IsTemporaryPath(path)) return;
  }
  key->second.values.erase(value);
}

}  // namespace

bool IsTemporaryPath(const std::string& windowsPath) {
  std::string folded = TextEncoding::FoldCase(windowsPath);
  auto within = [&folded](const std::string& folder) {
    return folded.compare(0, folder.size(), folder) == 0 && (folded.size() == folder.size() || folded[folder.size()] == '\\');
  };
  if (within("c:\\windows\\temp")) return true;
  const std::string users = "c:\\users\\";
  if (folded.compare(0, users.size(), users) != 0) return false;
  size_t slash = folded.find('\\', users.size());
  if (slash == std::string::npos) return false;
  std::string profile = folded.substr(0, slash);
  return within(profile + "\\temp") || within(profile + "\\appdata\\local\\temp");
}

bool TakeSnapshot(const std::string& prefix, const PrefixSnapshot* previous, PrefixSnapshot* snapshot,
                  std::string* error, const std::string& host) {
  *snapshot = PrefixSnapshot();
  Walker walker(previous, snapshot);
  if (!walker.Walk(prefix + "/drive_c", "C:", error) || (!host.empty() && !walker.Walk(host, "Z:", error)) ||
      !ReadHive(prefix + "/system.reg", "HKLM", &snapshot->registry, error) ||
      !ReadHive(prefix + "/user.reg", "HKCU", &snapshot->registry, error))
    return false;
  // The profile new users start from and services run as: changes there reach every later user.
  if (access((prefix + "/userdef.reg").c_str(), F_OK) == 0 &&
      !ReadHive(prefix + "/userdef.reg", "HKU\\.DEFAULT", &snapshot->registry, error))
    return false;
  DropTemporaryRenames(&snapshot->registry);
  return true;
}
