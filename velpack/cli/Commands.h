#pragma once
#include <string>
#include <vector>

// Each command takes the arguments after its name and returns the process exit code.
int PackCommand(const std::vector<std::string>& args);
int ListCommand(const std::vector<std::string>& args);
int ExtractCommand(const std::vector<std::string>& args);
int BuildCommand(const std::vector<std::string>& args);
// Signs an installer in place with osslsigncode (Authenticode), keeping its package readable; the
// uninstaller it carries is signed first with the same certificate.
int SignCommand(const std::vector<std::string>& args);
// Installs an installer in a throw-away Wine prefix, removes it with its uninstaller and reports
// what the install changed and what the uninstall left behind: 0 clean, 1 leftovers, 2 failed.
int VerifyCommand(const std::vector<std::string>& args);
