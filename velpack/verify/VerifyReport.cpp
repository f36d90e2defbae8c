#include "VerifyReport.h"

#include <cstdio>

namespace {

const char* ChangeName(Change change) {
  return change == Change::kAdded ? "added" : change == Change::kRemoved ? "removed" : "changed";
}

const char* ChangeMark(Change change) { return change == Change::kAdded ? "+" : change == Change::kRemoved ? "-" : "*"; }

std::string Grouped(uint64_t number) {
  std::string digits = std::to_string(number);
  for (int i = int(digits.size()) - 3; i > 0; i -= 3) digits.insert(size_t(i), ",");
  return digits;
}

std::string ValueName(const std::string& name) { return name.empty() ? "(Default)" : name; }

// The shown line of a value: key, name, type and data (and the data before, when changed).
std::string ValueLine(const ValueChange& v) {
  std::string line = std::string(ChangeMark(v.change)) + " " + v.key + ": " + ValueName(v.name);
  const RegistryData& shown = v.change == Change::kRemoved ? v.before : v.after;
  line += " = " + DescribeRegistryData(shown) + " (" + RegistryTypeName(shown.type) + ")";
  if (v.change == Change::kChanged) line += ", was " + DescribeRegistryData(v.before);
  return line;
}

std::string FileLine(const FileChange& f) {
  const FileState& s = f.Current();
  std::string line = std::string(ChangeMark(f.change)) + " " + s.path;
  if (s.folder) return line + "\\";
  line += "  " + Grouped(s.size) + " bytes";
  if (f.change == Change::kChanged) line += ", was " + Grouped(f.before.size) + " bytes";
  return line;
}

nlohmann::json FileJson(const FileChange& f) {
  const FileState& s = f.Current();
  nlohmann::json j = {{"change", ChangeName(f.change)}, {"path", s.path}, {"folder", s.folder}};
  if (!s.folder) {
    j["size"] = s.size;
    j["sha256"] = s.sha256;
  }
  return j;
}

nlohmann::json DataJson(const RegistryData& d) {
  return {{"type", RegistryTypeName(d.type)}, {"data", DescribeRegistryData(d, SIZE_MAX)}};
}

nlohmann::json DiffJson(const SnapshotDiff& diff) {
  nlohmann::json files = nlohmann::json::array(), keys = nlohmann::json::array(), values = nlohmann::json::array();
  for (const FileChange& f : diff.files) files.push_back(FileJson(f));
  for (const KeyChange& k : diff.keys) keys.push_back({{"change", ChangeName(k.change)}, {"key", k.path}});
  for (const ValueChange& v : diff.values) {
    nlohmann::json j = {{"change", ChangeName(v.change)}, {"key", v.key}, {"value", v.name}};
    if (v.change != Change::kAdded) j["before"] = DataJson(v.before);
    if (v.change != Change::kRemoved) j["after"] = DataJson(v.after);
    values.push_back(j);
  }
  return {{"files", files}, {"keys", keys}, {"values", values}};
}

// Count and total size of the files and folders a diff adds or changes.
void Totals(const SnapshotDiff& diff, size_t* count, uint64_t* bytes) {
  *count = 0;
  *bytes = 0;
  for (const FileChange& f : diff.files) {
    if (f.change == Change::kRemoved) continue;
    ++*count;
    *bytes += f.after.size;
  }
}

std::string RunLine(const ProgramRun& run) {
  char seconds[32];
  std::snprintf(seconds, sizeof(seconds), "%.1f s", run.seconds);
  std::string line = run.stage + ": " + run.command + "\n  ";
  if (run.exited) line += "exit code " + std::to_string(run.exitCode) + ", ";
  line += std::string(seconds) + (run.Succeeded() ? ", succeeded" : ", FAILED: " + run.problem);
  return line + "\n";
}

}  // namespace

bool VerifyReport::Failed() const {
  for (const ProgramRun& run : runs)
    if (!run.Succeeded()) return true;
  return false;
}

int VerifyReport::ExitCode() const {
  if (Failed()) return 2;
  return leftovers.Empty() && stillRunning.empty() ? 0 : 1;
}

std::string VerifyReport::Text() const {
  std::string text = "Installer: " + installer + " (" + architecture + ")\n";
  if (!upgradeFrom.empty()) text += "Upgrading from: " + upgradeFrom + "\n";
  text += "\n";
  for (const ProgramRun& run : runs)
    if (run.stage != "uninstall") text += RunLine(run);

  size_t count;
  uint64_t bytes;
  Totals(installed, &count, &bytes);
  text += "\nWhat the install changed\n";
  text += "Files and folders added or changed: " + Grouped(count) + ", " + Grouped(bytes) + " bytes\n";
  for (const FileChange& f : installed.files) text += "  " + FileLine(f) + "\n";
  text += "Registry keys: " + std::to_string(installed.keys.size()) + "\n";
  for (const KeyChange& k : installed.keys) text += std::string("  ") + ChangeMark(k.change) + " " + k.path + "\n";
  text += "Registry values: " + std::to_string(installed.values.size()) + "\n";
  for (const ValueChange& v : installed.values) text += "  " + ValueLine(v) + "\n";
  text += "Shortcuts: " + std::to_string(shortcuts.size()) + "\n";
  for (const InstalledShortcut& s : shortcuts) {
    text += "  " + s.path + "\n    -> ";
    text += s.problem.empty() ? s.link.target + (s.link.arguments.empty() ? "" : " " + s.link.arguments)
                              : "(unreadable: " + s.problem + ")";
    text += "\n";
  }
  text += "Services: " + std::to_string(services.size()) + "\n";
  for (const InstalledService& s : services)
    text += "  " + s.name + " (" + s.displayName + "): " + s.program + ", start " + std::to_string(s.start) + "\n";
  text += "Fonts: " + std::to_string(fonts.size()) + "\n";
  for (const std::string& f : fonts) text += "  " + f + "\n";
  text += "Add/Remove Programs entries: " + std::to_string(uninstallEntries.size()) + "\n";
  for (const UninstallEntry& e : uninstallEntries) {
    text += "  " + e.key + "\n";
    text += "    DisplayName: " + e.displayName + "\n";
    if (!e.displayVersion.empty()) text += "    DisplayVersion: " + e.displayVersion + "\n";
    if (!e.publisher.empty()) text += "    Publisher: " + e.publisher + "\n";
    text += "    UninstallString: " + e.uninstallString + "\n";
    text += std::string("      ") + (e.quoted ? "quoted" : "NOT quoted") + "; its program " +
            (e.programExists ? "is there" : "is NOT there") + "\n";
    if (!e.quietUninstallString.empty()) text += "    QuietUninstallString: " + e.quietUninstallString + "\n";
  }

  text += "\n";
  for (const ProgramRun& run : runs)
    if (run.stage == "uninstall") text += RunLine(run);
  if (!note.empty()) text += note + "\n";
  if (leftoversChecked) {
    text += "Left behind: " + std::to_string(leftovers.files.size() + leftovers.keys.size() + leftovers.values.size()) +
            "\n";
    for (const FileChange& f : leftovers.files) text += "  " + FileLine(f) + "\n";
    for (const KeyChange& k : leftovers.keys) text += std::string("  ") + ChangeMark(k.change) + " " + k.path + "\n";
    for (const ValueChange& v : leftovers.values) text += "  " + ValueLine(v) + "\n";
  }
  if (!stillRunning.empty()) {
    text += "Still running after the uninstall: " + std::to_string(stillRunning.size()) + "\n";
    for (const std::string& program : stillRunning) text += "  " + program + "\n";
  }
  static const char* const kVerdicts[] = {"clean: the uninstaller removed everything the install added",
                                          "leftovers: the machine differs from before the install",
                                          "failed: an install or uninstall failed or did not end"};
  text += "\nResult: " + std::string(kVerdicts[ExitCode()]) + "\n";
  return text;
}

nlohmann::json VerifyReport::Json() const {
  nlohmann::json j;
  j["installer"] = installer;
  j["architecture"] = architecture;
  j["upgrade_from"] = upgradeFrom.empty() ? nlohmann::json() : nlohmann::json(upgradeFrom);
  j["runs"] = nlohmann::json::array();
  for (const ProgramRun& run : runs) {
    j["runs"].push_back({{"stage", run.stage},
                         {"command", run.command},
                         {"exit_code", run.exited ? nlohmann::json(run.exitCode) : nlohmann::json()},
                         {"timed_out", run.timedOut},
                         {"seconds", run.seconds},
                         {"succeeded", run.Succeeded()},
                         {"problem", run.problem}});
  }
  size_t count;
  uint64_t bytes;
  Totals(installed, &count, &bytes);
  j["installed"] = DiffJson(installed);
  j["installed"]["files_count"] = count;
  j["installed"]["files_size"] = bytes;
  j["shortcuts"] = nlohmann::json::array();
  for (const InstalledShortcut& s : shortcuts) {
    j["shortcuts"].push_back({{"path", s.path},
                              {"target", s.link.target},
                              {"arguments", s.link.arguments},
                              {"working_folder", s.link.workingFolder},
                              {"description", s.link.description},
                              {"problem", s.problem}});
  }
  j["services"] = nlohmann::json::array();
  for (const InstalledService& s : services)
    j["services"].push_back(
        {{"name", s.name}, {"display_name", s.displayName}, {"program", s.program}, {"start", s.start}});
  j["fonts"] = fonts;
  j["uninstall_entries"] = nlohmann::json::array();
  for (const UninstallEntry& e : uninstallEntries) {
    j["uninstall_entries"].push_back({{"key", e.key},
                                      {"display_name", e.displayName},
                                      {"display_version", e.displayVersion},
                                      {"publisher", e.publisher},
                                      {"uninstall_string", e.uninstallString},
                                      {"quiet_uninstall_string", e.quietUninstallString},
                                      {"quoted", e.quoted},
                                      {"program_exists", e.programExists}});
  }
  j["leftovers"] = leftoversChecked ? DiffJson(leftovers) : nlohmann::json();
  j["still_running"] = stillRunning;
  j["note"] = note;
  static const char* const kResults[] = {"clean", "leftovers", "failed"};
  j["result"] = kResults[ExitCode()];
  j["exit_code"] = ExitCode();
  return j;
}
