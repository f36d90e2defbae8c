#pragma once
#include <stdint.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ShellLinkReader.h"
#include "SnapshotDiff.h"

// One program verify ran in the prefix: an install or an uninstall.
struct ProgramRun {
  std::string stage;  // "install", "install of the older version", "uninstall"
  std::string command;
  bool timedOut = false;
  bool exited = false;  // it ended and its exit code is known
  uint32_t exitCode = 0;
  std::string problem;  // why it failed; empty when it succeeded
  double seconds = 0;
  bool Succeeded() const { return problem.empty(); }
};

struct InstalledShortcut {
  std::string path;
  ShellLink link;
  std::string problem;  // why the file could not be read as a shell link
};

struct InstalledService {
  std::string name, displayName, program;
  uint32_t start = 0;
};

// An Add/Remove Programs entry the install registered.
struct UninstallEntry {
  std::string key;
  std::string displayName, displayVersion, publisher, uninstallString, quietUninstallString;
  bool quoted = false;         // UninstallString's program is in double quotes
  bool programExists = false;  // and that program is there
};

// Everything verify found out, shown as text for people and as JSON for CI.
struct VerifyReport {
  std::string installer, architecture, upgradeFrom;
  std::vector<ProgramRun> runs;
  SnapshotDiff installed;  // what the install changed, from before the first install
  std::vector<InstalledShortcut> shortcuts;
  std::vector<InstalledService> services;
  std::vector<std::string> fonts;
  std::vector<UninstallEntry> uninstallEntries;
  bool leftoversChecked = false;  // after the uninstall, or when there was no uninstaller to run
  SnapshotDiff leftovers;         // what differs from before the first install
  // Programs of the product that still ran when the uninstall had ended and the prefix had had
  // time to settle (verify ended them).
  std::vector<std::string> stillRunning;
  std::string note;               // why there was no uninstall, if there was none

  bool Failed() const;
  // 0 clean, 1 leftovers (programs still running too), 2 an install or uninstall failed or timed out.
  int ExitCode() const;
  std::string Text() const;
  nlohmann::json Json() const;
};
