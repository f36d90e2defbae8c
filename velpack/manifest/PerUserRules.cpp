#include "PerUserRules.h"

#include <cctype>
#include <type_traits>

namespace PerUserRules {
namespace {

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  return true;
}

// Whether path is folder or lies inside it; folder names that merely begin alike ("Windowsx")
// do not count, while "Program Files (x86)" counts as the program files folder.
bool Inside(const std::string& path, const std::string& folder, bool prefixOnly = false) {
  if (!StartsWithNoCase(path, folder)) return false;
  return prefixOnly || path.size() == folder.size() || path[folder.size()] == '\\';
}

}  // namespace

std::string PathRefusal(const std::string& path) {
  if (Inside(path, "${WindowsPath}") || Inside(path, "${SystemPath}")) return "lies in the Windows folder";
  bool drive = path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
               path[2] == '\\';
  if (!drive) return "";
  std::string rest = path.substr(2);
  if (Inside(rest, "\\Windows")) return "lies in the Windows folder";
  if (Inside(rest, "\\Program Files", true)) return "lies in the program files folder";
  return "";
}

Refusal ActionRefusal(const Action& action) {
  const char* const kAdministrator = " needs administrator rights, which a per-user install does not have";
  return std::visit(
      [&](const auto& a) -> Refusal {
        using T = std::decay_t<decltype(a)>;
        if constexpr (std::is_same_v<T, ServiceAction>) {
          return {nullptr, std::string("a service") + kAdministrator};
        } else if constexpr (std::is_same_v<T, RegistryAction>) {
          if (a.root == kHkeyLocalMachine) return {"root", std::string("a value under HKLM") + kAdministrator};
          // The system writes a new key there into the machine's part.
          if (a.root == kHkeyClassesRoot)
            return {"root", std::string("a value under HKCR") + kAdministrator +
                                " (write it under HKCU, Software\\Classes\\...)"};
          return {"root", ""};
        } else if constexpr (std::is_same_v<T, PackageFileAction> || std::is_same_v<T, CopyFileAction> ||
                             std::is_same_v<T, CopyFolderAction>) {
          std::string refusal = PathRefusal(a.destination);
          return {"destination", refusal.empty() ? "" : "'destination' " + refusal};
        } else if constexpr (std::is_same_v<T, ShortcutAction>) {
          std::string refusal = PathRefusal(a.path);
          return {"path", refusal.empty() ? "" : "'path' " + refusal};
        } else {
          return {nullptr, ""};
        }
      },
      action);
}

}  // namespace PerUserRules
