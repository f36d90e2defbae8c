#include "CommandArguments.h"

#include <algorithm>

bool ParseCommandArguments(const std::vector<std::string>& args, const std::vector<std::string>& options,
                           CommandArguments* parsed, std::string* error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& option = args[i];
    if (std::find(options.begin(), options.end(), option) == options.end()) {
      if (option.rfind("--", 0) == 0 || !parsed->file.empty()) {
        *error = "unknown argument " + option;
        return false;
      }
      parsed->file = option;
      continue;
    }
    if (i + 1 == args.size()) {
      *error = option + " needs a value";
      return false;
    }
    parsed->values[option] = args[++i];
  }
  return true;
}
