#pragma once
#include <stdint.h>

#include <string>
#include <vector>

#include "WindowsImage.h"

// A throw-away Wine prefix of one architecture in a folder of verify's own: the prefix itself
// ("prefix"), a home folder for Wine ("home"), and the script, exit code and Wine's output
// ("wine.log") that verify hands to and takes from the prefix's programs. Its programs see
// only the display given, and end with it.
class WinePrefix {
 public:
  WinePrefix(const std::string& folder, Architecture architecture, const std::string& display);
  ~WinePrefix();
  WinePrefix(const WinePrefix&) = delete;
  WinePrefix& operator=(const WinePrefix&) = delete;

  // Why this machine cannot run Wine for the architecture, with the Debian packages that would
  // mend it; empty when it can.
  static std::string Missing(Architecture architecture);

  std::string Path() const { return folder_ + "/prefix"; }
  // What the prefix's drive Z: shows once the host is shielded.
  std::string HostPath() const { return folder_ + "/host"; }
  const std::string& LogFile() const { return log_; }

  // Makes the prefix (wineboot), without crash dialogs, with real folders where Wine links the
  // user's folders into the home folder, and waits until it has settled.
  bool Create(int timeoutSeconds, std::string* error);

  // Points drive Z:, which Wine maps to the host's root, at a folder of its own that holds only
  // links to the given absolute paths (the installers, verify's folder), each at its own path,
  // so that a program's writes elsewhere on Z: land there, where a snapshot sees them, instead
  // of on the host.
  bool ShieldHost(const std::vector<std::string>& reachable, std::string* error);

  enum class Outcome { kExited, kTimedOut, kFailed };
  // Runs a Windows command line (program and arguments, as a shortcut or the registry gives
  // it) and waits for it; *exitCode is its whole exit code, as a Windows parent sees it. On
  // timeout every program of the prefix is ended.
  Outcome Run(const std::string& commandLine, int timeoutSeconds, uint32_t* exitCode, std::string* error);

  // Waits until every program of the prefix has ended and the server has written the registry
  // to its files; ends them all when that takes longer than seconds (false then), after naming
  // in *stillRunning, when given, the programs other than Wine's own that still ran.
  bool Settle(int seconds, std::vector<std::string>* stillRunning = nullptr);
  // The Windows programs of the prefix that run now, other than Wine's own, by the path Wine
  // gives them (C:\Program Files\App\app.exe), in no particular order.
  std::vector<std::string> Programs() const;
  // Ends every program of the prefix and its server at once.
  void Kill();

  // The Linux path of a Windows path on drive C, each name looked up without regard to case as
  // Windows does; empty when there is no such file.
  std::string UnixPath(const std::string& windowsPath) const;
  // The Windows path (drive Z:, which Wine maps to /) of an absolute Linux path.
  static std::string DriveZPath(const std::string& unixPath);

 private:
  // Runs a Wine tool (the loader's or the server's arguments) to its end, within seconds, or
  // until an interruption when interruptible.
  bool Tool(const std::vector<std::string>& argv, int seconds, std::string* error, bool interruptible = true);
  std::vector<std::string> Environment(const std::vector<std::string>& extra) const;
  void ReplaceHomeLinks(const std::string& folder);

  std::string folder_;
  std::string log_;
  Architecture architecture_;
  std::string display_;
  std::string loader_;
};
