#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Commands.h"
#include "FileBytes.h"
#include "Memory.h"
#include "PackageReader.h"
#include "PackageWriter.h"
#include "TextEncoding.h"

namespace {
const int kUsageError = 2;
const int kFailure = 1;

int Fail(const std::string& message, int code = kFailure) {
  std::fprintf(stderr, "velpack: %s\n", message.c_str());
  return code;
}

// Catalog names are UTF-8 in a Unicode package, else Windows-1252, and may hold any byte: shown in
// UTF-8 like the command line, with control bytes (and bytes that are no UTF-8) escaped so that
// one record stays one line.
std::string Readable(const CatalogEntry& entry, bool unicode) {
  std::string_view name(entry.name, entry.nameLength);
  std::string out;
  auto escape = [&out](unsigned value) {
    char escaped[8];
    std::snprintf(escaped, sizeof(escaped), "\\x%02X", value);
    out += escaped;
  };
  for (size_t i = 0; i < name.size();) {
    uint32_t c;
    if (!unicode) {
      c = TextEncoding::Windows1252CodePoint(uint8_t(name[i++]));
    } else if (!TextEncoding::NextCodePoint(name, &i, &c)) {
      escape(uint8_t(name[i++]));
      continue;
    }
    if (c == 0) {
      out += "\\0";
    } else if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
      escape(c);
    } else {
      TextEncoding::AppendUtf8(c, &out);
    }
  }
  return out;
}

// An entry name from the command line (UTF-8) in the catalog's encoding.
bool CatalogName(const std::string& utf8, bool unicode, std::string* name, std::string* error) {
  std::string problem;
  if (TextEncoding::ToPackageText(utf8, unicode, name, &problem)) return true;
  *error = "the entry name " + utf8 + " cannot be a catalog name: " + problem;
  return false;
}

const char* StorageName(uint32_t flags) {
  if (flags & kEntryInSolidBlock) return "solid";
  if (!(flags & kEntryCompressed)) return "stored";
  return (flags & kEntryBlockCoded) ? "compressed" : "unknown";
}

// The reader cannot tell a missing file from a damaged one, so the file is tried first.
bool OpenInstaller(const std::string& path, const PackageReader& reader, std::string* error) {
  if (reader.IsOpen()) return true;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    *error = "cannot open " + path + ": " + std::strerror(errno);
  } else {
    std::fclose(file);
    *error = path + ": no Velmora package found, or the package is damaged";
  }
  return false;
}

bool AddEntry(PackageWriter& writer, const std::string& option, const std::string& name, const std::string& path,
              std::string* error) {
  std::vector<uint8_t> content;
  if (!ReadFileBytes(path, &content, error)) return false;
  Storage storage = option == "--stored" ? Storage::Stored : option == "--solid" ? Storage::Solid : Storage::Compressed;
  return writer.Add(name, std::move(content), storage, error);
}
}  // namespace

int PackCommand(const std::vector<std::string>& args) {
  std::string stub;
  std::string output;
  std::string error;
  PackageWriter writer;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& option = args[i];
    bool known = option == "--stub" || option == "-o" || option == "--stored" || option == "--compressed" ||
                 option == "--solid";
    if (!known) return Fail("pack: unknown argument " + option, kUsageError);
    if (i + 1 == args.size()) return Fail("pack: " + option + " needs a value", kUsageError);
    const std::string& value = args[++i];
    if (option == "--stub") {
      stub = value;
    } else if (option == "-o") {
      output = value;
    } else {
      // Names cannot hold '=', paths can.
      size_t equals = value.find('=');
      if (equals == std::string::npos) return Fail("pack: " + option + " expects NAME=FILE, got " + value, kUsageError);
      std::string name;
      if (!CatalogName(value.substr(0, equals), false, &name, &error)) return Fail("pack: " + error);
      if (!AddEntry(writer, option, name, value.substr(equals + 1), &error))
        return Fail("pack: " + error);
    }
  }
  if (stub.empty() || output.empty()) return Fail("pack: --stub STUB and -o OUT are required", kUsageError);
  auto progress = [](const std::string& message) { std::fprintf(stderr, "velpack: %s\n", message.c_str()); };
  if (!writer.Write(stub, output, &error, progress)) return Fail("pack: " + error);
  return 0;
}

int ListCommand(const std::vector<std::string>& args) {
  if (args.size() != 1) return Fail("list: expects INSTALLER", kUsageError);
  std::string error;
  PackageReader reader(args[0].c_str());
  if (!OpenInstaller(args[0], reader, &error)) return Fail("list: " + error);
  for (uint32_t i = 0; i < reader.EntryCount(); ++i) {
    const CatalogEntry& entry = *reader.EntryAt(i);
    std::printf("%s\t%s\t%u\t%u\t%u\n", Readable(entry, reader.IsUnicode()).c_str(), StorageName(entry.flags), unsigned(entry.offset),
                unsigned(entry.packedSize), unsigned(entry.size));
  }
  if (std::fflush(stdout) != 0) return Fail("list: cannot write the listing: " + std::string(std::strerror(errno)));
  return 0;
}

int ExtractCommand(const std::vector<std::string>& args) {
  if (args.size() != 2) return Fail("extract: expects INSTALLER NAME", kUsageError);
  const std::string& path = args[0];
  const std::string& shownName = args[1];
  std::string name, error;
  PackageReader reader(path.c_str());
  if (!OpenInstaller(path, reader, &error)) return Fail("extract: " + error);
  if (!CatalogName(shownName, reader.IsUnicode(), &name, &error)) return Fail("extract: " + error);
  if (!reader.FindEntry(name.c_str())) return Fail("extract: " + path + " has no entry " + shownName);
  uint32_t size = 0;
  uint8_t* content = reader.ExtractToMemory(name.c_str(), &size);
  if (!content) return Fail("extract: entry " + shownName + " of " + path + " cannot be read: it is damaged");
  bool written = std::fwrite(content, 1, size, stdout) == size && std::fflush(stdout) == 0;
  MemFree(content);
  if (!written) return Fail("extract: cannot write to standard output: " + std::string(std::strerror(errno)));
  return 0;
}
