#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "CommandArguments.h"
#include "Commands.h"
#include "ExitCodes.h"
#include "FileBytes.h"
#include "ManifestEntries.h"
#include "Memory.h"
#include "PackageReader.h"
#include "Subprocess.h"
#include "TempFile.h"
#include "TextEncoding.h"
#include "VerifyReport.h"
#include "VirtualDisplay.h"
#include "WinePrefix.h"
#include "WindowsImage.h"

namespace {
const int kUsageError = 2;
const int kFailed = 2;
const int kDefaultTimeout = 600;
// A program the install leaves running (a "run after" program) gets this long to end by itself.
const int kSettleSeconds = 60;
// Making a prefix takes seconds on a quiet machine, minutes on a busy one; --timeout is the
// installers' alone.
const int kPrefixSeconds = 600;
const char kInterrupted[] = "interrupted: the prefix's programs were ended";

int Fail(const std::string& message, int code = kFailed) {
  std::fprintf(stderr, "velpack: verify: %s\n", message.c_str());
  return code;
}

double Now() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Each stage as it starts, with the seconds since verify started.
void Progress(const std::string& stage) {
  static const double start = Now();
  std::fprintf(stderr, "velpack: verify: %6.1f s  %s\n", Now() - start, stage.c_str());
}

struct Installer {
  std::string path;  // absolute
  Architecture architecture = Architecture::kX86;
  std::string command;  // the Windows command line that installs it without a window
};

// Reads what decides how the installer runs, and every entry of its package, so that a damaged
// installer is named before a prefix is made for it.
bool Inspect(const std::string& path, Installer* installer, std::string* problem) {
  // The headers lie in the first few hundred bytes; the installer may be gigabytes.
  std::vector<uint8_t> head(64 * 1024);
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    *problem = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  head.resize(std::fread(head.data(), 1, head.size(), file));
  std::fclose(file);
  if (!ImageArchitecture(head, &installer->architecture, problem)) {
    *problem = path + ": " + *problem;
    return false;
  }
  PackageReader reader(path.c_str());
  if (!reader.IsOpen()) {
    *problem = path + ": no Velmora package found, or the package is damaged";
    return false;
  }
  for (uint32_t i = 0; i < reader.EntryCount(); ++i) {
    uint32_t size = 0;
    uint8_t* content = reader.ExtractToMemory(reader.EntryAt(i)->name, &size);
    MemFree(content);
    if (content && reader.DamagedEntry().Empty()) continue;
    std::string name;
    bool checked = !reader.DamagedEntry().Empty();
    for (char c : std::string(checked ? reader.DamagedEntry().CStr() : reader.EntryAt(i)->name))
      TextEncoding::AppendUtf8(TextEncoding::Windows1252CodePoint(uint8_t(c)), &name);
    // A package without checksums tells a bad stream only by failing to unpack it.
    *problem = path + ": the package is damaged: its entry " + name +
               (checked ? " fails its check (stream, bounds or checksum)" : " cannot be unpacked");
    return false;
  }
  Text flags = reader.ReadEntryString("flags");
  uint32_t productFlags = 0;
  for (uint32_t i = 0; i < flags.Length() && i < 4; ++i) productFlags |= uint32_t(uint8_t(flags[i])) << (8 * i);
  char* absolute = realpath(path.c_str(), nullptr);
  installer->path = absolute ? absolute : path;
  free(absolute);
  installer->command = "\"" + WinePrefix::DriveZPath(installer->path) + "\"";
  if (reader.ReadsCommandLine()) {
    installer->command += " /S";
  } else if (!(productFlags & kProductFlagUnattended)) {
    *problem = path + " shows its wizard and takes no /S switch, so it cannot install without a window; "
               "build it with unattended = true (or with a velpack whose installers read their command line)";
    return false;
  }
  return true;
}

// The folder verify works in: DIR of --keep (made, or empty), else a new temporary one that goes
// when verify ends.
class WorkFolder {
 public:
  bool Make(const std::string& keep, std::string* error) {
    keep_ = !keep.empty();
    if (keep_) {
      std::error_code code;
      std::filesystem::create_directories(keep, code);
      if (code || !std::filesystem::is_empty(keep, code)) {
        *error = "--keep needs a new or empty folder: " + keep;
        return false;
      }
      char* absolute = realpath(keep.c_str(), nullptr);
      path_ = absolute ? absolute : keep;
      free(absolute);
      return true;
    }
    const char* temp = std::getenv("TMPDIR");
    std::string pattern = std::string(temp && *temp ? temp : "/tmp") + "/velpack-verify-XXXXXX";
    if (!mkdtemp(pattern.data())) {
      *error = "cannot make a temporary folder " + pattern + ": " + std::strerror(errno);
      return false;
    }
    path_ = pattern;
    return true;
  }
  ~WorkFolder() {
    std::error_code ignored;
    if (!keep_ && !path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  bool keep_ = false;
};

class Verification {
 public:
  Verification(WinePrefix& prefix, VerifyReport& report, int timeout)
      : prefix_(prefix), report_(report), timeout_(timeout) {}

  bool Snapshot(PrefixSnapshot* snapshot, const PrefixSnapshot* previous) {
    std::string error;
    if (TakeSnapshot(prefix_.Path(), previous, snapshot, &error, prefix_.HostPath())) return true;
    std::fprintf(stderr, "velpack: verify: cannot take a snapshot of the prefix: %s\n", error.c_str());
    return false;
  }

  // Runs one install or uninstall and lets the prefix settle; false when it failed.
  bool Run(const std::string& stage, const std::string& command) {
    Progress(stage + ": " + command);
    ProgramRun run;
    run.stage = stage;
    run.command = command;
    double start = Now();
    WinePrefix::Outcome outcome = prefix_.Run(command, timeout_, &run.exitCode, &run.problem);
    run.seconds = Now() - start;
    run.exited = outcome == WinePrefix::Outcome::kExited;
    run.timedOut = outcome == WinePrefix::Outcome::kTimedOut;
    if (run.exited && run.exitCode != 0 && run.exitCode != kExitRestartNeeded)
      run.problem = "exit code " + std::to_string(run.exitCode) + " (only 0 and 3010 mean success)";
    std::vector<std::string> running;
    if (!prefix_.Settle(kSettleSeconds, &running))
      Progress("programs still running " + std::to_string(kSettleSeconds) + " s after the " + stage + " were ended");
    // A program the install starts may run on for the user; nothing of the product may after
    // its removal.
    if (stage == "uninstall") report_.stillRunning.insert(report_.stillRunning.end(), running.begin(), running.end());
    report_.runs.push_back(run);
    return run.Succeeded();
  }

 private:
  WinePrefix& prefix_;
  VerifyReport& report_;
  int timeout_;
};

bool StartsWithFolded(const std::string& folded, const std::string& prefix) {
  return folded.compare(0, prefix.size(), prefix) == 0;
}

std::string TextValue(const RegistryKey& key, const char* name) {
  auto found = key.values.find(TextEncoding::FoldCase(name));
  return found == key.values.end() ? std::string() : RegistryText(found->second.data);
}

uint32_t NumberValue(const RegistryKey& key, const char* name) {
  auto found = key.values.find(TextEncoding::FoldCase(name));
  if (found == key.values.end() || found->second.data.bytes.size() != 4) return 0;
  const std::vector<uint8_t>& b = found->second.data.bytes;
  return b[0] | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

// The program of a command line: the quoted part, else up to the first ".exe" that ends a word
// (as Windows tries the longer names in turn), else the first word.
std::string ProgramOf(const std::string& command, bool* quoted) {
  *quoted = command.size() > 1 && command[0] == '"' && command.find('"', 1) != std::string::npos;
  if (*quoted) return command.substr(1, command.find('"', 1) - 1);
  std::string folded = TextEncoding::FoldCase(command);
  for (size_t at = folded.find(".exe"); at != std::string::npos; at = folded.find(".exe", at + 1))
    if (at + 4 == folded.size() || folded[at + 4] == ' ') return command.substr(0, at + 4);
  return command.substr(0, command.find(' '));
}

// What the report lists beside the plain changes: shortcuts, services, fonts and the Add/Remove
// Programs entries, read from the prefix as the install left it.
void DescribeInstall(const WinePrefix& prefix, const PrefixSnapshot& after, VerifyReport* report) {
  static const char* const kUninstallRoots[] = {
      "hklm\\software\\microsoft\\windows\\currentversion\\uninstall\\",
      "hklm\\software\\wow6432node\\microsoft\\windows\\currentversion\\uninstall\\",
      "hkcu\\software\\microsoft\\windows\\currentversion\\uninstall\\"};
  const std::string services = "hklm\\system\\currentcontrolset\\services\\";
  const std::string fontValues = "hklm\\software\\microsoft\\windows nt\\currentversion\\fonts";
  for (const FileChange& f : report->installed.files) {
    std::string folded = TextEncoding::FoldCase(f.after.path);
    if (f.change == Change::kRemoved || f.after.folder) continue;
    if (StartsWithFolded(folded, "c:\\windows\\fonts\\")) report->fonts.push_back(f.after.path);
    if (folded.size() < 4 || folded.compare(folded.size() - 4, 4, ".lnk") != 0) continue;
    InstalledShortcut shortcut;
    shortcut.path = f.after.path;
    std::vector<uint8_t> bytes;
    if (ReadFileBytes(prefix.UnixPath(f.after.path), &bytes, &shortcut.problem))
      ReadShellLink(bytes, &shortcut.link, &shortcut.problem);
    report->shortcuts.push_back(shortcut);
  }
  for (const ValueChange& v : report->installed.values)
    if (v.change != Change::kRemoved && TextEncoding::FoldCase(v.key) == fontValues)
      report->fonts.push_back(v.name + " = " + RegistryText(v.after));
  for (const KeyChange& k : report->installed.keys) {
    std::string folded = TextEncoding::FoldCase(k.path);
    if (k.change != Change::kAdded) continue;
    const RegistryKey& key = after.registry.at(folded);
    if (StartsWithFolded(folded, services) && folded.find('\\', services.size()) == std::string::npos) {
      report->services.push_back({k.path.substr(services.size()), TextValue(key, "DisplayName"),
                                  TextValue(key, "ImagePath"), NumberValue(key, "Start")});
    }
    for (const char* root : kUninstallRoots) {
      if (!StartsWithFolded(folded, root) || folded.find('\\', std::strlen(root)) != std::string::npos) continue;
      UninstallEntry entry;
      entry.key = k.path;
      entry.displayName = TextValue(key, "DisplayName");
      entry.displayVersion = TextValue(key, "DisplayVersion");
      entry.publisher = TextValue(key, "Publisher");
      entry.uninstallString = TextValue(key, "UninstallString");
      entry.quietUninstallString = TextValue(key, "QuietUninstallString");
      entry.programExists = !prefix.UnixPath(ProgramOf(entry.uninstallString, &entry.quoted)).empty();
      report->uninstallEntries.push_back(entry);
    }
  }
}

bool WriteJson(const std::string& path, const VerifyReport& report, std::string* error) {
  std::string text = report.Json().dump(2) + "\n";
  TempFile file(path);
  if (file.Write(reinterpret_cast<const uint8_t*>(text.data()), text.size()) && file.Commit()) return true;
  *error = file.Error();
  return false;
}

int Finish(const VerifyReport& report, const std::string& json) {
  std::fputs(report.Text().c_str(), stdout);
  std::fflush(stdout);
  std::string error;
  if (!json.empty() && !WriteJson(json, report, &error)) return Fail("cannot write the report: " + error);
  return report.ExitCode();
}

int Verify(const std::vector<std::string>& args) {
  CommandArguments parsed;
  std::string problem;
  if (!ParseCommandArguments(args, {"--upgrade-from", "--json", "--timeout", "--keep"}, &parsed, &problem))
    return Fail(problem, kUsageError);
  const std::string installerPath = parsed.file, oldPath = parsed.Value("--upgrade-from"),
                    json = parsed.Value("--json"), keep = parsed.Value("--keep");
  int timeout = kDefaultTimeout;
  if (parsed.values.count("--timeout")) {
    const std::string& value = parsed.values["--timeout"];
    char* end = nullptr;
    long seconds = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || *end || seconds < 1 || seconds > 86400)
      return Fail("--timeout expects seconds from 1 to 86400, got " + value, kUsageError);
    timeout = int(seconds);
  }
  if (installerPath.empty())
    return Fail("expects INSTALLER [--upgrade-from OLD_INSTALLER] [--json FILE] [--timeout SECONDS] [--keep DIR]",
                kUsageError);

  Installer installer, old;
  if (!Inspect(installerPath, &installer, &problem)) return Fail(problem);
  if (!oldPath.empty()) {
    if (!Inspect(oldPath, &old, &problem)) return Fail(problem);
    if (old.architecture != installer.architecture)
      return Fail(oldPath + " is an " + ArchitectureName(old.architecture) + " installer, " + installerPath +
                  " an " + ArchitectureName(installer.architecture) + " one: an upgrade keeps the kind");
  }
  std::string missing = WinePrefix::Missing(installer.architecture);
  if (!missing.empty()) return Fail("cannot verify " + installerPath + ": " + missing);

  // Interrupted, verify still ends the prefix's programs and the display, and removes its folder.
  Subprocess::CatchInterruptions();
  WorkFolder folder;
  if (!folder.Make(keep, &problem)) return Fail(problem);
  Progress("starting a virtual display");
  VirtualDisplay display;
  if (!display.Start(&problem)) return Fail(problem);
  bool x64 = installer.architecture == Architecture::kX64;
  Progress(std::string("making a fresh ") + (x64 ? "64" : "32") + "-bit Wine prefix in " + folder.Path() + "/prefix");
  WinePrefix prefix(folder.Path(), installer.architecture, display.Name());
  if (!prefix.Create(kPrefixSeconds, &problem) || Subprocess::Interrupted())
    return Fail(Subprocess::Interrupted() ? kInterrupted : "cannot make the prefix: " + problem);
  std::vector<std::string> reachable = {folder.Path(), installer.path};
  if (!old.path.empty()) reachable.push_back(old.path);
  if (!prefix.ShieldHost(reachable, &problem)) return Fail(problem);

  VerifyReport report;
  report.installer = installer.path;
  report.architecture = x64 ? "x64 installer, 64-bit prefix" : "x86 installer, 32-bit prefix";
  report.upgradeFrom = old.path;
  Verification verification(prefix, report, timeout);
  PrefixSnapshot fresh, before, installed, removed;
  Progress("snapshot of the fresh prefix");
  if (!verification.Snapshot(&fresh, nullptr)) return kFailed;
  // What changes on a start that installs nothing is Wine's own doing. The program asks for the
  // desktop window, so that the display is set up as for an installer's first window.
  Progress("baseline: starting a program that does nothing");
  ProgramRun baseline;
  WinePrefix::Outcome outcome = prefix.Run("\"C:\\windows\\system32\\rundll32.exe\" user32.dll,GetDesktopWindow",
                                           timeout, &baseline.exitCode, &problem);
  if (Subprocess::Interrupted()) return Fail(kInterrupted);
  if (outcome != WinePrefix::Outcome::kExited || !prefix.Settle(kSettleSeconds))
    return Fail("Wine could not run a program in the new prefix: " + problem + " (see " + prefix.LogFile() + ")");
  Progress("snapshot before the install");
  if (!verification.Snapshot(&before, &fresh)) return kFailed;
  Noise noise = NoiseOf(CompareSnapshots(fresh, before, Noise()));

  bool installedWell = old.path.empty() || verification.Run("install of the older version", old.command);
  installedWell = installedWell && verification.Run("install", installer.command);
  if (Subprocess::Interrupted()) return Fail(kInterrupted);
  Progress("snapshot after the install");
  if (!verification.Snapshot(&installed, &before)) return kFailed;
  report.installed = CompareSnapshots(before, installed, noise);
  DescribeInstall(prefix, installed, &report);
  if (!installedWell) return Finish(report, json);

  bool uninstallerRan = false;
  for (const UninstallEntry& entry : report.uninstallEntries) {
    std::string command = !entry.quietUninstallString.empty() ? entry.quietUninstallString
                          : !entry.uninstallString.empty()    ? entry.uninstallString + " /S"
                                                              : std::string();
    if (command.empty()) continue;
    verification.Run("uninstall", command);
    uninstallerRan = true;
  }
  if (Subprocess::Interrupted()) return Fail(kInterrupted);
  if (!uninstallerRan) report.note = "The install registered no uninstaller: everything it added stays.";
  Progress("snapshot after the uninstall");
  if (!verification.Snapshot(&removed, &installed)) return kFailed;
  report.leftovers = CompareSnapshots(before, removed, noise);
  report.leftoversChecked = true;
  return Finish(report, json);
}

}  // namespace

int VerifyCommand(const std::vector<std::string>& args) {
  // Caught here, so that the display, the prefix's programs and the work folder still end as
  // the stack unwinds.
  try {
    return Verify(args);
  } catch (const std::exception& e) {
    return Fail(std::string("internal error: ") + e.what());
  }
}
