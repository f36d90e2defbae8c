#pragma once
#include <map>
#include <string>
#include <vector>

// A command's arguments: at most one that is no option (the file it works on), and options
// that each take a value (the last one given counts).
struct CommandArguments {
  std::string file;
  std::map<std::string, std::string> values;
  std::string Value(const std::string& option) const {
    auto found = values.find(option);
    return found == values.end() ? std::string() : found->second;
  }
};

// False with *error for an unknown option, a second file or an option without its value.
bool ParseCommandArguments(const std::vector<std::string>& args, const std::vector<std::string>& options,
                           CommandArguments* parsed, std::string* error);
