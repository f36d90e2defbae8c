#include <cctype>
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
#include "WindowsImage.h"

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

// A Windows program of the wanted architecture; false with *problem saying why not.
bool ReadProgram(const std::string& path, Architecture wanted, std::vector<uint8_t>* bytes, std::string* problem) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    *problem = "no " + path;
    return false;
  }
  std::string error;
  Architecture architecture;
  if (!ReadFileBytes(path, bytes, &error) || !ImageArchitecture(*bytes, &architecture, &error)) {
    *problem = path + ": " + error;
    return false;
  }
  if (architecture != wanted) {
    *problem = path + " is an " + ArchitectureName(architecture) + " program, but the installer is " +
               ArchitectureName(wanted);
    return false;
  }
  return true;
}

std::string UpperName(Architecture architecture) {
  std::string name = ArchitectureName(architecture);
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

// The stub named by --stub or $VELMORA_STUB must fit; otherwise the first of
// $VELMORA_STUB_X86/X64, x86/ or x64/InstallCore.exe beside velpack and InstallCore.exe beside
// velpack that exists and fits.
bool FindStub(std::string* stub, Architecture architecture, std::string* problem) {
  std::vector<uint8_t> bytes;
  const char* fromEnvironment = std::getenv("VELMORA_STUB");
  if (stub->empty() && fromEnvironment && *fromEnvironment) *stub = fromEnvironment;
  if (!stub->empty()) return ReadProgram(*stub, architecture, &bytes, problem);

  std::vector<std::string> candidates;
  std::string variable = "VELMORA_STUB_" + UpperName(architecture);
  if (const char* named = std::getenv(variable.c_str()); named && *named) candidates.push_back(named);
  std::string folder = OwnFolder();
  if (!folder.empty()) {
    candidates.push_back(folder + "/" + ArchitectureName(architecture) + "/" + kStubName);
    candidates.push_back(folder + "/" + kStubName);
  }
  for (const std::string& candidate : candidates) {
    std::string unfit;
    if (ReadProgram(candidate, architecture, &bytes, &unfit)) {
      *stub = candidate;
      return true;
    }
  }
  *problem = std::string("no ") + ArchitectureName(architecture) + " installer stub: give --stub STUB, set " +
             variable + ", or put " + ArchitectureName(architecture) + "/" + kStubName + " beside velpack";
  return false;
}

// The project's own uninstaller is built beside the stub; false when it is not there or unusable.
bool ReadOwnUninstaller(const std::string& stub, Architecture architecture, std::vector<uint8_t>* bytes,
                        std::string* problem) {
  std::filesystem::path path = std::filesystem::path(stub).parent_path() / kUninstallerName;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    *problem = "no " + std::string(kUninstallerName) + " beside the stub " + stub;
    return false;
  }
  return ReadProgram(path.string(), architecture, bytes, problem);
}

}  // namespace

int BuildCommand(const std::vector<std::string>& args) {
  std::string manifestPath, output, stub, architectureWord;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-o" || arg == "--stub" || arg == "--architecture") {
      if (i + 1 == args.size()) return Fail(arg + " needs a value", kUsageError);
      (arg == "-o" ? output : arg == "--stub" ? stub : architectureWord) = args[++i];
    } else if (!arg.empty() && arg[0] == '-') {
      return Fail("unknown option " + arg, kUsageError);
    } else if (manifestPath.empty()) {
      manifestPath = arg;
    } else {
      return Fail("more than one manifest given", kUsageError);
    }
  }
  if (manifestPath.empty() || output.empty()) {
    return Fail("usage: velpack build MANIFEST -o OUT [--stub STUB] [--architecture x86|x64]", kUsageError);
  }
  Architecture forced = Architecture::kX86;
  if (!architectureWord.empty() && !ParseArchitecture(architectureWord, &forced)) {
    return Fail("--architecture must be x86 or x64, not " + architectureWord, kUsageError);
  }

  auto progress = [](const std::string& message) { std::fprintf(stderr, "velpack: %s\n", message.c_str()); };
  ManifestParser parser(progress);
  Manifest manifest;
  bool parsed = parser.ParseFile(manifestPath, &manifest);
  for (const ManifestMessage& warning : parser.warnings())
    std::fprintf(stderr, "%s\n", warning.Format("warning").c_str());
  for (const ManifestMessage& error : parser.errors()) std::fprintf(stderr, "%s\n", error.Format("error").c_str());
  if (!parsed) return kFailure;
  if (!architectureWord.empty()) manifest.product.architecture = forced;
  Architecture architecture = manifest.product.architecture;
  if (std::string problem; !FindStub(&stub, architecture, &problem)) return Fail(problem);
  if (manifest.product.carryOwnUninstaller) {
    std::string problem;
    if (!ReadOwnUninstaller(stub, architecture, &manifest.product.uninstaller, &problem)) {
      manifest.product.uninstaller.clear();
      std::fprintf(stderr,
                   "%s: warning: %s: the installer will write no uninstall log and no uninstall registration "
                   "(name one with 'uninstaller', or set uninstaller = false)\n",
                   manifestPath.c_str(), problem.c_str());
    }
  }

  std::vector<uint8_t> stubBytes;
  if (std::string problem; !ReadProgram(stub, architecture, &stubBytes, &problem)) return Fail(problem);
  if (manifest.product.scope != InstallScope::kMachine) {
    // Installed for one user, neither program may ask for administrator rights; an author's own
    // uninstaller that asks for none stays as it is.
    if (std::string problem; !RequestInvokerRights(&stubBytes, &problem)) return Fail(stub + ": " + problem);
    std::string ignored;
    if (!manifest.product.uninstaller.empty()) RequestInvokerRights(&manifest.product.uninstaller, &ignored);
  }

  size_t components = manifest.components.size();
  PackageWriter writer;
  if (manifest.product.longRangeFiles)
    writer.UseLongStreams(LongStreamAddressLimit(architecture));
  if (manifest.product.unicode) writer.UseUnicode();
  std::string error;
  size_t entries = 0;
  for (PackageEntry& entry : ManifestEntries(std::move(manifest))) {
    if (!writer.Add(entry.name, std::move(entry.content), entry.storage, &error, entry.group)) return Fail(error);
    ++entries;
  }
  if (!writer.Write(stubBytes, output, &error, progress)) return Fail(error);
  std::error_code ec;
  auto size = std::filesystem::file_size(output, ec);
  std::printf("%s: %s, %zu component%s, %zu entries, %llu bytes\n", output.c_str(), ArchitectureName(architecture),
              components, components == 1 ? "" : "s", entries, static_cast<unsigned long long>(ec ? 0 : size));
  return 0;
}
