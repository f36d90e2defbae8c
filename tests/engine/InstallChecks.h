#pragma once
#include <windows.h>
#include <stdint.h>

#include <string>
#include <utility>

// What tests read back from the machine after an install, and how they tidy up after it.

// The file's bytes, or "<missing>".
std::string Contents(const std::string& path);
bool Exists(const std::string& path);
// Without the archive bit, which Wine reports on every file whatever was set.
DWORD Attributes(const std::string& path);
uint64_t LastWrite(const std::string& path);
// The FILETIME of a UTC time.
uint64_t FileTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second);
// Polls for a file that another process writes; false if it has not appeared within 30 s.
bool WaitForFile(const std::string& path);
// Removes a file or a folder with everything in it, read-only files included.
void DeleteTree(const std::string& path);

// The uninstall log's lines of the details a package that reads its command line registers
// below the product's Uninstall key (given with its "HKLM\" prefix), newest first, for a product
// with a version and a company and no links.
std::string ProductDetailLines(const std::string& key);

// A registry value's type and bytes, or REG_NONE and "<missing>"; view may name the 32-bit or
// 64-bit view (KEY_WOW64_32KEY, KEY_WOW64_64KEY) instead of the process's own.
typedef std::pair<DWORD, std::string> RegistryData;
RegistryData RegistryValue(HKEY root, const std::string& key, const char* name, REGSAM view = 0);
bool KeyExists(HKEY root, const std::string& key, REGSAM view = 0);

// A shell link's fields as IShellLinkA reads them back; the show command from the file's header,
// since Wine's GetShowCmd always reads 1.
struct LinkFields {
  std::string path, arguments, workingFolder, description, iconFile;
  int iconIndex = -99;
  WORD hotKey = 0;
  int showCommand = -1;
};
// Needs COM on the calling thread.
LinkFields ReadLink(const std::string& file);

// Removes a service from the service manager, if it is there.
void DeleteServiceNamed(const std::string& name);

// A folder and a registry key that a test may fill: removed when it starts and when it ends.
class Scratch {
 public:
  Scratch(const std::string& folder, HKEY root, const std::string& key, REGSAM view = 0);
  ~Scratch();
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  const std::string& Folder() const { return folder_; }
  std::string In(const std::string& rest) const { return folder_ + "\\" + rest; }

 private:
  void Clean();

  std::string folder_;
  HKEY root_;
  std::string key_;
  REGSAM view_;
};
