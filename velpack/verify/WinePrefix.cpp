#include "WinePrefix.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <memory>

#include "FileBytes.h"
#include "Subprocess.h"
#include "TextEncoding.h"

namespace {

const char kLoader32[] = "/usr/lib/wine/wine";
const char kLoader64[] = "/usr/lib/wine/wine64";
const char kScript[] = "run.bat";
const char kExitCodeFile[] = "exit-code";

// The command comes in an environment variable, so that its characters need no quoting in the
// script and reach cmd as Unicode. cmd reads each line just before it runs it: ERRORLEVEL is
// then the command's whole exit code, which the Linux side of Wine would cut to its low byte.
const char kScriptText[] =
    "@echo off\r\n"
    "%VELPACK_COMMAND%\r\n"
    "> \"%VELPACK_EXIT_FILE%\" echo %ERRORLEVEL%\r\n";

// Without the crash dialog, which would wait for a click on the invisible display.
const char kSettings[] =
    "Windows Registry Editor Version 5.00\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\r\n"
    "\"ShowCrashDialog\"=dword:00000000\r\n";

bool WriteText(const std::string& path, const std::string& text) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && written;
}

bool OnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string folders = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= folders.size()) {
    size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    if (access((folders.substr(start, end - start) + "/" + program).c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

WinePrefix::WinePrefix(const std::string& folder, Architecture architecture, const std::string& display)
    : folder_(folder),
      log_(folder + "/wine.log"),
      architecture_(architecture),
      display_(display),
      loader_(architecture == Architecture::kX64 ? kLoader64 : kLoader32) {}

WinePrefix::~WinePrefix() { Kill(); }

std::string WinePrefix::Missing(Architecture architecture) {
  const char* loader = architecture == Architecture::kX64 ? kLoader64 : kLoader32;
  if (architecture == Architecture::kX64 && access(loader, X_OK) != 0)
    return "Wine for 64-bit programs is not installed: apt-get install wine wine64";
  if (architecture == Architecture::kX86 && access(loader, X_OK) != 0)
    return "Wine for 32-bit programs is not installed: dpkg --add-architecture i386 && apt-get update && "
           "apt-get install wine wine32:i386";
  if (!OnPath("wineserver")) return "the Wine server is not installed: apt-get install wine";
  Subprocess probe;
  Subprocess::Options options;
  options.environment = EnvironmentWithout({});
  std::string error;
  if (!probe.Start({loader, "--version"}, options, &error) || !probe.Wait(60) || probe.ExitCode() != 0) {
    probe.Kill();
    if (architecture == Architecture::kX86)
      return "this machine runs no 32-bit programs (" + std::string(loader) +
             " cannot start), so it cannot run a 32-bit installer";
    return std::string(loader) + " cannot start";
  }
  return std::string();
}

std::vector<std::string> WinePrefix::Environment(const std::vector<std::string>& extra) const {
  std::vector<std::string> environment =
      EnvironmentWithout({"WINE", "DISPLAY=", "WAYLAND_DISPLAY=", "XAUTHORITY=", "HOME=", "LC_ALL=", "VELPACK_"});
  environment.push_back("WINEPREFIX=" + Path());
  environment.push_back(std::string("WINEARCH=") + (architecture_ == Architecture::kX64 ? "win64" : "win32"));
  environment.push_back("WINEDEBUG=-all");
  // No Mono or Gecko download prompts, and no menu entries or file associations on the host.
  environment.push_back("WINEDLLOVERRIDES=mscoree,mshtml=;winemenubuilder.exe=d");
  environment.push_back("HOME=" + folder_ + "/home");
  environment.push_back("DISPLAY=" + display_);
  // Texts between Linux and Wine (the command, paths) in UTF-8 whatever the user's locale.
  environment.push_back("LC_ALL=C.UTF-8");
  // The loader runs the programs the prefix starts itself too.
  environment.push_back("WINELOADER=" + loader_);
  environment.insert(environment.end(), extra.begin(), extra.end());
  return environment;
}

bool WinePrefix::Tool(const std::vector<std::string>& argv, int seconds, std::string* error, bool interruptible) {
  Subprocess tool;
  Subprocess::Options options;
  options.environment = Environment({});
  options.output = log_;
  if (!tool.Start(argv, options, error)) return false;
  if (!tool.Wait(seconds, interruptible)) {
    tool.Kill();
    *error = argv[0] + " " + argv[1] + " did not end within " + std::to_string(seconds) + " s";
    return false;
  }
  if (tool.ExitCode() == 0) return true;
  *error = argv[0] + " " + argv[1] + " failed (exit code " + std::to_string(tool.ExitCode()) + "; see " + log_ + ")";
  return false;
}

bool WinePrefix::Create(int timeoutSeconds, std::string* error) {
  mkdir((folder_ + "/home").c_str(), 0755);
  std::string settings = folder_ + "/settings.reg";
  if (!WriteText(folder_ + "/" + kScript, kScriptText) || !WriteText(settings, kSettings)) {
    *error = "cannot write into " + folder_;
    return false;
  }
  if (!Tool({loader_, "wineboot", "-i"}, timeoutSeconds, error) ||
      !Tool({loader_, "reg", "import", DriveZPath(settings)}, timeoutSeconds, error))
    return false;
  if (!Settle(timeoutSeconds)) {
    *error = "the new prefix did not settle within " + std::to_string(timeoutSeconds) + " s";
    return false;
  }
  ReplaceHomeLinks(Path() + "/drive_c/users");
  return true;
}

bool WinePrefix::ShieldHost(const std::vector<std::string>& reachable, std::string* error) {
  std::error_code code;
  std::filesystem::create_directories(HostPath(), code);
  for (const std::string& path : reachable) {
    std::string inside = HostPath() + path;
    if (!code) std::filesystem::create_directories(std::filesystem::path(inside).parent_path(), code);
    if (code || (symlink(path.c_str(), inside.c_str()) != 0 && errno != EEXIST)) {
      *error = "cannot link " + path + " into " + HostPath();
      return false;
    }
  }
  std::string drive = Path() + "/dosdevices/z:";
  if (unlink(drive.c_str()) != 0 || symlink(HostPath().c_str(), drive.c_str()) != 0) {
    *error = "cannot point " + drive + " at " + HostPath();
    return false;
  }
  return true;
}

// Wine links the profile's Desktop, Documents, ... to the home folder; on Windows they are
// folders of the profile, and a snapshot should see what is put there at its Windows path.
void WinePrefix::ReplaceHomeLinks(const std::string& folder) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
  if (!dir) return;
  while (dirent* entry = readdir(dir.get())) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    std::string path = folder + "/" + name;
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) continue;
    if (S_ISDIR(info.st_mode)) {
      ReplaceHomeLinks(path);
    } else if (S_ISLNK(info.st_mode)) {
      char target[4096];
      ssize_t n = readlink(path.c_str(), target, sizeof(target) - 1);
      std::string home = folder_ + "/home";
      if (n > 0 && std::string(target, size_t(n)).compare(0, home.size(), home) == 0 && unlink(path.c_str()) == 0)
        mkdir(path.c_str(), 0755);
    }
  }
}

WinePrefix::Outcome WinePrefix::Run(const std::string& commandLine, int timeoutSeconds, uint32_t* exitCode,
                                    std::string* error) {
  std::string exitFile = folder_ + "/" + kExitCodeFile;
  unlink(exitFile.c_str());
  Subprocess cmd;
  Subprocess::Options options;
  options.environment =
      Environment({"VELPACK_COMMAND=" + commandLine, "VELPACK_EXIT_FILE=" + DriveZPath(exitFile)});
  options.output = log_;
  if (!cmd.Start({loader_, "cmd", "/c", DriveZPath(folder_ + "/" + kScript)}, options, error))
    return Outcome::kFailed;
  if (!cmd.Wait(timeoutSeconds)) {
    Kill();
    cmd.Kill();
    if (Subprocess::Interrupted()) {
      *error = "interrupted";
      return Outcome::kFailed;
    }
    *error = "it did not end within " + std::to_string(timeoutSeconds) + " s";
    return Outcome::kTimedOut;
  }
  std::vector<uint8_t> text;
  if (!ReadFileBytes(exitFile, &text, error) || text.empty()) {
    *error = "cmd did not run it (see " + log_ + ")";
    return Outcome::kFailed;
  }
  // ERRORLEVEL is signed: 0xC0000005 reads -1073741819.
  *exitCode = uint32_t(std::strtoll(std::string(text.begin(), text.end()).c_str(), nullptr, 10));
  return Outcome::kExited;
}

bool WinePrefix::Settle(int seconds, std::vector<std::string>* stillRunning) {
  std::string ignored;
  if (Tool({"wineserver", "-w"}, seconds, &ignored)) return true;
  if (stillRunning) *stillRunning = Programs();
  Kill();
  return false;
}

std::vector<std::string> WinePrefix::Programs() const {
  // What Wine starts for itself in every prefix, and ends with its last program.
  static const char* const kWinesOwn[] = {"explorer.exe", "plugplay.exe", "rpcss.exe",  "services.exe",
                                          "svchost.exe",  "winedevice.exe", "conhost.exe", "wineboot.exe"};
  std::vector<std::string> programs;
  std::unique_ptr<DIR, int (*)(DIR*)> proc(opendir("/proc"), closedir);
  if (!proc) return programs;
  const std::string marker = "WINEPREFIX=" + Path();
  while (dirent* entry = readdir(proc.get())) {
    std::string pid = entry->d_name;
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::vector<uint8_t> environment, command;
    std::string ignored;
    if (!ReadFileBytes("/proc/" + pid + "/environ", &environment, &ignored) ||
        !ReadFileBytes("/proc/" + pid + "/cmdline", &command, &ignored))
      continue;
    bool ours = false;
    for (size_t start = 0; start < environment.size() && !ours;) {
      size_t end = start;
      while (end < environment.size() && environment[end]) ++end;
      ours = std::string(environment.begin() + start, environment.begin() + end) == marker;
      start = end + 1;
    }
    // Wine gives a Windows program's process its Windows path as its first argument.
    std::string program(command.begin(), std::find(command.begin(), command.end(), uint8_t(0)));
    std::string folded = TextEncoding::FoldCase(program);
    if (!ours || folded.size() < 4 || folded[1] != ':' || folded.compare(folded.size() - 4, 4, ".exe") != 0) continue;
    std::string name = folded.substr(folded.find_last_of('\\') + 1);
    bool winesOwn = folded.compare(0, 11, "c:\\windows\\") == 0 &&
                    std::find(std::begin(kWinesOwn), std::end(kWinesOwn), name) != std::end(kWinesOwn);
    if (!winesOwn) programs.push_back(program);
  }
  return programs;
}

void WinePrefix::Kill() {
  std::string ignored;
  // The server writes the registry to its files as it ends.
  Tool({"wineserver", "-k"}, 30, &ignored, false);
}

std::string WinePrefix::UnixPath(const std::string& windowsPath) const {
  if (windowsPath.size() < 3 || TextEncoding::FoldCase(windowsPath.substr(0, 3)) != "c:\\") return std::string();
  std::string path = Path() + "/drive_c";
  size_t start = 3;
  while (start < windowsPath.size()) {
    size_t end = windowsPath.find('\\', start);
    if (end == std::string::npos) end = windowsPath.size();
    std::string wanted = TextEncoding::FoldCase(windowsPath.substr(start, end - start));
    start = end + 1;
    if (wanted.empty()) continue;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(path.c_str()), closedir);
    if (!dir) return std::string();
    std::string found;
    while (dirent* entry = readdir(dir.get()))
      if (TextEncoding::FoldCase(entry->d_name) == wanted) found = entry->d_name;
    if (found.empty()) return std::string();
    path += "/" + found;
  }
  return path;
}

std::string WinePrefix::DriveZPath(const std::string& unixPath) {
  std::string path = "Z:" + unixPath;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}
