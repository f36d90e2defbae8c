#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "CertificateTable.h"
#include "CommandArguments.h"
#include "Commands.h"
#include "FileBytes.h"
#include "Memory.h"
#include "PackageFormat.h"
#include "PackageReader.h"
#include "PackageWriter.h"
#include "WindowsImage.h"

extern char** environ;

namespace {
const int kUsageError = 2;
const int kFailure = 1;
const char kUninstallerEntry[] = "uninst.exe";

int Fail(const std::string& message, int code = kFailure) {
  std::fprintf(stderr, "velpack: sign: %s\n", message.c_str());
  return code;
}

uint32_t U32At(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

// Where the package's data area starts: the trailer counts back to it from the file's end.
size_t DataAreaStart(const std::vector<uint8_t>& installer) {
  size_t size = installer.size();
  int64_t catalogStart = int64_t(size) + int32_t(U32At(installer, size - 8));
  return size_t(catalogStart - U32At(installer, size - 12));
}

// A signer would pad the file to the table's boundary between the package's trailer and the
// table, where the installer would no longer find the trailer. Zeros inserted in front of the
// data area instead move nothing the trailer measures: it counts back from the file's end.
// velpack writes installers so aligned; older ones may not be.
void AlignForSignature(std::vector<uint8_t>* installer) {
  size_t padding = (kCertificateTableAlignment - installer->size() % kCertificateTableAlignment) %
                   kCertificateTableAlignment;
  if (padding == 0) return;
  installer->insert(installer->begin() + std::ptrdiff_t(DataAreaStart(*installer)), padding, uint8_t(0));
}

// A private folder beside the installer for the signer's input and output (it writes only new
// files), removed with what is left in it.
class WorkFolder {
 public:
  explicit WorkFolder(const std::string& installer) {
    std::string pattern = installer + ".signing-XXXXXX";
    if (mkdtemp(pattern.data())) path_ = pattern;
  }
  ~WorkFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;
  bool Made() const { return !path_.empty(); }
  std::string File(const char* name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

// Whether a catalog record holds the packer's own bytes (the solid block, a long-range stream)
// rather than an entry.
bool IsContainer(const CatalogEntry& entry) {
  std::string name(entry.name, entry.nameLength);
  return name == std::string("~\0solid0", 8) ||
         (name.size() > 1 && name[0] == '~' && name.find_first_not_of("0123456789", 1) == std::string::npos);
}

// The installer with one entry's content replaced: the same stub, and every entry in the catalog's
// order and its kind of storage, written again. False with *error saying why.
bool ReplaceEntry(const std::vector<uint8_t>& installer, const char* name, std::vector<uint8_t> content,
                  const std::string& output, std::vector<uint8_t>* rewritten, std::string* error) {
  PackageReader package(installer.data(), uint32_t(installer.size()));
  Architecture architecture;
  if (!ImageArchitecture(installer, &architecture, error)) return false;
  PackageWriter writer;
  for (uint32_t i = 0; i < package.EntryCount(); ++i)
    if (package.EntryAt(i)->flags & kEntryInLongStream)
      writer.UseLongStreams(LongStreamAddressLimit(architecture));
  for (uint32_t i = 0; i < package.EntryCount(); ++i) {
    const CatalogEntry& entry = *package.EntryAt(i);
    if (IsContainer(entry)) continue;
    std::string entryName(entry.name, entry.nameLength);
    std::vector<uint8_t> bytes;
    if (entryName == name) {
      bytes = std::move(content);
    } else {
      uint32_t size = 0;
      uint8_t* extracted = package.ExtractToMemory(entryName.c_str(), &size);
      if (!extracted) {
        *error = "the entry " + entryName + " cannot be read";
        return false;
      }
      bytes.assign(extracted, extracted + size);
      MemFree(extracted);
    }
    Storage storage = (entry.flags & kEntryInLongStream)  ? Storage::File
                      : (entry.flags & kEntryInSolidBlock) ? Storage::Solid
                      : (entry.flags & kEntryCompressed)   ? Storage::Compressed
                                                           : Storage::Stored;
    if (!writer.Add(entryName, std::move(bytes), storage, error)) return false;
  }
  std::vector<uint8_t> stub(installer.begin(), installer.begin() + std::ptrdiff_t(DataAreaStart(installer)));
  return writer.Write(stub, output, error) && ReadFileBytes(output, rewritten, error);
}

// Runs a program found on the PATH; its messages go to ours. False with *error saying why.
bool RunProgram(const std::vector<std::string>& args, std::string* error) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid;
  int failure = posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
  if (failure != 0) {
    *error = "cannot run " + args[0] + " (Debian's osslsigncode package): " + std::strerror(failure);
    return false;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  *error = args[0] + " failed";
  return false;
}
}  // namespace

int SignCommand(const std::vector<std::string>& args) {
  CommandArguments parsed;
  std::string problem;
  if (!ParseCommandArguments(args, {"--cert", "--key", "--timestamp", "--password-file"}, &parsed, &problem))
    return Fail(problem, kUsageError);
  const std::string installer = parsed.file, cert = parsed.Value("--cert"), key = parsed.Value("--key"),
                    timestamp = parsed.Value("--timestamp"), passwordFile = parsed.Value("--password-file");
  if (installer.empty() || cert.empty() || key.empty())
    return Fail("expects INSTALLER --cert CERT --key KEY [--timestamp URL] [--password-file FILE]", kUsageError);

  std::vector<uint8_t> bytes;
  std::string error;
  if (!ReadFileBytes(installer, &bytes, &error)) return Fail(error);
  uint32_t size = uint32_t(bytes.size());
  if (bytes.size() > 0xFFFFFFFFu) return Fail(installer + ": no Velmora package found, or the package is damaged");
  uint32_t entries;
  std::vector<uint8_t> uninstaller;
  // The reader points into bytes, which the rewriting and the alignment below may move.
  {
    PackageReader package(bytes.data(), size);
    if (!package.IsOpen()) return Fail(installer + ": no Velmora package found, or the package is damaged");
    entries = package.EntryCount();
    uint32_t length = 0;
    if (uint8_t* carried = package.ExtractToMemory(kUninstallerEntry, &length)) {
      uninstaller.assign(carried, carried + length);
      MemFree(carried);
    }
  }
  uint32_t table;
  if (FindCertificateTable(bytes.data(), size, &table))
    return Fail(installer + " is signed already: sign the installer velpack built");

  WorkFolder work(installer);
  if (!work.Made()) return Fail("cannot create a folder beside " + installer + ": " + std::strerror(errno));
  // One signing time for the uninstaller's signature and the installer's; SOURCE_DATE_EPOCH, where
  // set, makes the signed file the same at every run.
  const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
  const std::string signingTime = epoch && *epoch ? epoch : std::to_string(std::time(nullptr));
  std::vector<std::string> signer = {"osslsigncode", "sign", "-certs", cert, "-key", key, "-h", "sha256",
                                     "-time", signingTime};
  if (!passwordFile.empty()) signer.insert(signer.end(), {"-readpass", passwordFile});
  if (!timestamp.empty()) signer.insert(signer.end(), {"-ts", timestamp});
  auto sign = [&](const std::string& input, const std::string& output) {
    std::vector<std::string> command = signer;
    command.insert(command.end(), {"-in", input, "-out", output});
    return RunProgram(command, &error);
  };
  // The uninstaller that the list of installed programs starts is signed first, with the same
  // certificate, and the package written again around it. One its author signed stays as it is.
  if (!uninstaller.empty() && !FindCertificateTable(uninstaller.data(), uint32_t(uninstaller.size()), &table)) {
    const std::string input = work.File("uninst.exe"), output = work.File("uninst-signed.exe");
    std::vector<uint8_t> signedUninstaller;
    if (!WriteBytes(input, uninstaller)) return Fail("cannot write " + input + ": " + std::strerror(errno));
    if (!sign(input, output) || !ReadFileBytes(output, &signedUninstaller, &error) ||
        !ReplaceEntry(bytes, kUninstallerEntry, std::move(signedUninstaller), work.File("repacked.exe"), &bytes,
                      &error))
      return Fail(error + "; " + installer + " is left as it was");
    entries = PackageReader(bytes.data(), uint32_t(bytes.size())).EntryCount();
  }
  AlignForSignature(&bytes);

  const std::string input = work.File("unsigned.exe");
  const std::string output = work.File("signed.exe");
  if (!WriteBytes(input, bytes)) return Fail("cannot write " + input + ": " + std::strerror(errno));
  if (!sign(input, output)) return Fail(error + "; " + installer + " is left as it was");

  // The installer must still find its package behind the signature.
  std::vector<uint8_t> signedBytes;
  if (!ReadFileBytes(output, &signedBytes, &error)) return Fail(error);
  PackageReader check(signedBytes.data(), uint32_t(signedBytes.size()));
  if (!FindCertificateTable(signedBytes.data(), uint32_t(signedBytes.size()), &table) || table != bytes.size() ||
      check.EntryCount() != entries)
    return Fail("the signed file does not keep the package where the installer looks for it; " + installer +
                " is left as it was");
  if (std::rename(output.c_str(), installer.c_str()) != 0)
    return Fail("cannot replace " + installer + ": " + std::strerror(errno));
  return 0;
}
