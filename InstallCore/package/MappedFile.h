#pragma once
#include <stdint.h>

// A whole file mapped into memory: an existing file read-only, or a new file of a given size
// writable. Owns its handles and closes them.
class MappedFile {
 public:
  MappedFile();
  ~MappedFile() { Close(); }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // Maps an existing file for reading, others may read it too. An empty file or one of 4 GB
  // or more cannot be mapped.
  bool Open(const char* path);
  // Creates the file (replacing an existing one) at size bytes and maps it for writing.
  bool Create(const char* path, uint32_t size);
  void Close();
  // Writes the view's changes through to the disk; false when the system could not.
  bool Flush();

  bool IsOpen() const { return view_ != nullptr; }
  uint8_t* View() const { return view_; }
  uint32_t Size() const { return size_; }

 private:
  bool Map(const char* path, bool writable, uint32_t size);

#ifdef _WIN32
  void* file_;  // INVALID_HANDLE_VALUE when closed
  void* mapping_;
#else
  int file_;  // -1 when closed
#endif
  uint8_t* view_;
  uint32_t size_;
};
