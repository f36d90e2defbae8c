#pragma once
#include <string>
#include <vector>

// Each command takes the arguments after its name and returns the process exit code.
int PackCommand(const std::vector<std::string>& args);
int ListCommand(const std::vector<std::string>& args);
int ExtractCommand(const std::vector<std::string>& args);
int BuildCommand(const std::vector<std::string>& args);
// Signs an installer in place with osslsigncode (Authenticode), keeping its package readable.
int SignCommand(const std::vector<std::string>& args);
