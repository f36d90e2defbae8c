#include "FileBytes.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* content, std::string* error) {
  content->clear();
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    *error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  uint8_t chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof(chunk), file)) > 0) content->insert(content->end(), chunk, chunk + n);
  bool ok = !std::ferror(file);
  int savedErrno = errno;
  std::fclose(file);
  if (!ok) *error = "cannot read " + path + ": " + std::strerror(savedErrno);
  return ok;
}
