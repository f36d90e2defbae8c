#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "Commands.h"
#include "FileBytes.h"
#include "ManifestEntries.h"
#include "ManifestParser.h"
#include "PackageWriter.h"

namespace {

const int kUsageError = 2;
const int kFailure = 1;
const char kStubName[] = "InstallCore.exe";
const char kUninstallerName[] = "Uninst.exe";

int Fail(const std::string& message, int code = kFailure) {
  std::fprintf(stderr, "velpack: error: %s\n", message.c_str());
  return code;
}

std::string OwnFolder() {
  std::error_code ec;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : self.parent_path().string();
}

// --stub, else $VELMORA_STUB, else InstallCore.exe beside velpack.
bool FindStub(std::string* stub) {
  if (!stub->empty()) return true;
  if (const char* fromEnvironment = std::getenv("VELMORA_STUB"); fromEnvironment && *fromEnvironment) {
    *stub = fromEnvironment;
    return true;
  }
  std::string folder = OwnFolder();
  std::error_code ec;
  if (!folder.empty() && std::filesystem::is_regular_file(folder + "/" + kStubName, ec)) {
    *stub = folder + "/" + kStubName;
    return true;
  }
  return false;
}

// The project's own uninstaller is built beside the stub; false when it is not there or unusable.
bool ReadOwnUninstaller(const std::string& stub, std::vector<uint8_t>* bytes, std::string* problem) {
  std::filesystem::path path = std::filesystem::path(stub).parent_path() / kUninstallerName;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    *problem = "no " + std::string(kUninstallerName) + " beside the stub " + stub;
    return false;
  }
  std::string error;
  if (!ReadFileBytes(path.string(), bytes, &error)) {
    *problem = error;
    return false;
  }
  return IsWindowsProgram(*bytes, problem);
}

}  // namespace

int BuildCommand(const std::vector<std::string>& args) {
  std::string manifestPath, output, stub;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-o" || arg == "--stub") {
      if (i + 1 == args.size()) return Fail(arg + " needs a value", kUsageError);
      (arg == "-o" ? output : stub) = args[++i];
    } else if (!arg.empty() && arg[0] == '-') {
      return Fail("unknown option " + arg, kUsageError);
    } else if (manifestPath.empty()) {
      manifestPath = arg;
    } else {
      return Fail("more than one manifest given", kUsageError);
    }
  }
  if (manifestPath.empty() || output.empty()) {
    return Fail("usage: velpack build MANIFEST -o OUT [--stub STUB]", kUsageError);
  }
  if (!FindStub(&stub)) {
    return Fail(std::string("no installer stub: give --stub STUB, set VELMORA_STUB, or put ") + kStubName +
                " beside velpack");
  }

  auto progress = [](const std::string& message) { std::fprintf(stderr, "velpack: %s\n", message.c_str()); };
  ManifestParser parser(progress);
  Manifest manifest;
  bool parsed = parser.ParseFile(manifestPath, &manifest);
  for (const ManifestMessage& warning : parser.warnings())
    std::fprintf(stderr, "%s\n", warning.Format("warning").c_str());
  for (const ManifestMessage& error : parser.errors()) std::fprintf(stderr, "%s\n", error.Format("error").c_str());
  if (!parsed) return kFailure;
  if (manifest.product.carryOwnUninstaller) {
    std::string problem;
    if (!ReadOwnUninstaller(stub, &manifest.product.uninstaller, &problem)) {
      manifest.product.uninstaller.clear();
      std::fprintf(stderr,
                   "%s: warning: %s: the installer will write no uninstall log and no uninstall registration "
                   "(name one with 'uninstaller', or set uninstaller = false)\n",
                   manifestPath.c_str(), problem.c_str());
    }
  }

  size_t components = manifest.components.size();
  PackageWriter writer;
  std::string error;
  size_t entries = 0;
  for (PackageEntry& entry : ManifestEntries(std::move(manifest))) {
    if (!writer.Add(entry.name, std::move(entry.content), entry.storage, &error, entry.group)) return Fail(error);
    ++entries;
  }
  if (!writer.Write(stub, output, &error, progress)) return Fail(error);
  std::error_code ec;
  auto size = std::filesystem::file_size(output, ec);
  std::printf("%s: %zu component%s, %zu entries, %llu bytes\n", output.c_str(), components, components == 1 ? "" : "s",
              entries, static_cast<unsigned long long>(ec ? 0 : size));
  return 0;
}
