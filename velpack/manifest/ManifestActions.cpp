#include "ManifestActions.h"

#include <algorithm>
#include <sstream>

#include "ManifestSources.h"
#include "PerUserRules.h"
#include "RegistryFile.h"
#include "TextEncoding.h"

namespace {

constexpr size_t kLargeFile = 4u << 20;
constexpr int kNeeded = ManifestTable::kRequired | ManifestTable::kNonEmpty;

// Windows refuses or silently changes these names.
bool IsWindowsFileName(const std::string& name, std::string* problem) {
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || std::string("<>:\"\\|?*").find(c) != std::string::npos) {
      *problem = "the file name '" + name + "' cannot be used on Windows (it contains '" +
                 (static_cast<unsigned char>(c) < 0x20 ? std::string("a control character") : std::string(1, c)) + "')";
      return false;
    }
  }
  if (name.back() == '.' || name.back() == ' ') {
    *problem = "the file name '" + name + "' cannot be used on Windows (it ends with a dot or space)";
    return false;
  }
  std::string stem = name.substr(0, name.find('.'));
  std::transform(stem.begin(), stem.end(), stem.begin(), [](unsigned char c) { return std::toupper(c); });
  static const char* const kReserved[] = {"CON", "PRN", "AUX", "NUL"};
  bool reserved = std::find(std::begin(kReserved), std::end(kReserved), stem) != std::end(kReserved) ||
                  (stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
                   stem[3] >= '1' && stem[3] <= '9');
  if (reserved) {
    *problem = "the file name '" + name + "' is a reserved device name on Windows";
    return false;
  }
  return true;
}

std::string TrimBackslashes(std::string text) {
  while (!text.empty() && text.back() == '\\') text.pop_back();
  return text;
}

bool Attributes(ManifestTable& t, const char* key, uint32_t* out) {
  const toml::node* node = t.Get(key);
  if (!node) return true;
  const toml::array* array = node->as_array();
  if (!array) {
    t.ctx().Error(node->source().begin,
                  std::string("'") + key + "' must be an array of strings, not " + ManifestTable::TypeName(*node));
    return false;
  }
  static const ManifestChoices kNames = {{"readonly", kAttributeReadOnly},
                                         {"hidden", kAttributeHidden},
                                         {"system", kAttributeSystem},
                                         {"archive", kAttributeArchive},
                                         {"normal", kAttributeNormal}};
  uint32_t attributes = 0;
  for (const toml::node& element : *array) {
    uint32_t bit;
    if (!t.ChoiceValue(element, "an attribute", kNames, &bit)) return false;
    attributes |= bit;
  }
  if ((attributes & kAttributeNormal) && attributes != kAttributeNormal) {
    t.ctx().Error(node->source().begin, "\"normal\" cannot be combined with other attributes");
    return false;
  }
  *out = attributes ? attributes : kAttributeNormal;
  return true;
}

void ParseFiles(ManifestTable& t, Component* component) {
  std::string source, name;
  std::string destination = "${ProductPath}";
  uint32_t attributes = 0;
  bool ok = t.HostPath("source", &source, ManifestTable::kRequired);
  ok &= t.Text("destination", &destination, ManifestTable::kNonEmpty);
  ok &= t.Text("name", &name, ManifestTable::kNonEmpty);
  ok &= Attributes(t, "attributes", &attributes);
  if (!ok) return;
  ManifestContext& ctx = t.ctx();
  std::string problem;
  if (!name.empty() && !IsWindowsFileName(name, &problem)) {
    ctx.Error(t.At("name"), "'name': " + problem);
    return;
  }
  std::vector<ManifestSources::SourceFile> files;
  bool single;
  if (!ManifestSources::Resolve(ctx.folder, source, &files, &single, &problem)) {
    ctx.Error(t.At("source"), problem);
    return;
  }
  if (!name.empty() && !single) {
    ctx.Error(t.At("name"), "'name' is only allowed when 'source' is a single file");
    return;
  }
  std::string folder = TrimBackslashes(destination);
  for (const ManifestSources::SourceFile& file : files) {
    std::string relative = name;
    if (relative.empty()) {
      std::stringstream parts(file.relative);
      for (std::string part; std::getline(parts, part, '/');) {
        std::string converted;
        if (!IsWindowsFileName(part, &problem) || !TextEncoding::ToPackageText(part, ctx.unicode, &converted, &problem)) {
          ctx.Error(t.At("source"), "'" + file.relative + "': " + problem);
          return;
        }
        relative += (relative.empty() ? "" : "\\") + converted;
      }
    }
    ManifestSources::FileData data;
    if (!ManifestSources::Read(file.path, &data, &problem)) {
      ctx.Error(t.At("source"), problem);
      return;
    }
    if (*ctx.progress && data.content.size() >= kLargeFile) {
      (*ctx.progress)("reading " + file.path.string() + " (" + std::to_string(data.content.size() >> 20) + " MB)");
    }
    PackageFileAction action;
    action.destination = folder + "\\" + relative;
    action.times = data.times;
    action.attributes = attributes      ? attributes
                        : data.writable ? kAttributeArchive
                                        : kAttributeReadOnly | kAttributeArchive;
    action.content = std::move(data.content);
    component->actions.push_back(std::move(action));
  }
}

bool HexBytes(ManifestContext& ctx, const toml::node& node, const std::string& hex, std::vector<uint8_t>* out) {
  std::string digits;
  for (char c : hex) {
    if (std::isxdigit(static_cast<unsigned char>(c))) {
      digits += c;
    } else if (std::string(" \t:,-").find(c) == std::string::npos) {
      ctx.Error(node.source().begin, std::string("'data' must be hex digits, found '") + c + "'");
      return false;
    }
  }
  if (digits.size() % 2) {
    ctx.Error(node.source().begin, "'data' has an odd number of hex digits");
    return false;
  }
  for (size_t i = 0; i < digits.size(); i += 2)
    out->push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
  return true;
}

bool RegistryData(ManifestTable& t, const toml::node& data, uint32_t type, std::vector<uint8_t>* out) {
  ManifestContext& ctx = t.ctx();
  std::string text;
  switch (type) {
    case kRegSz:
    case kRegExpandSz:
      if (!ManifestTable::ConvertText(ctx, data, "'data'", &text)) return false;
      out->assign(text.begin(), text.end());
      out->push_back(0);
      return true;
    case kRegDword: {
      int64_t value;
      if (!t.IntegerValue(data, "'data'", INT32_MIN, UINT32_MAX, &value)) return false;
      for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i)));
      return true;
    }
    case kRegMultiSz: {
      const toml::array* array = data.as_array();
      if (!array) {
        ctx.Error(data.source().begin, std::string("'data' of a multi_string must be an array of strings, not ") +
                                           ManifestTable::TypeName(data));
        return false;
      }
      for (const toml::node& item : *array) {
        if (!ManifestTable::ConvertText(ctx, item, "each multi_string item", &text)) return false;
        if (text.empty()) {
          ctx.Error(item.source().begin, "multi_string items must not be empty (an empty string ends the list)");
          return false;
        }
        out->insert(out->end(), text.begin(), text.end());
        out->push_back(0);
      }
      // The list ends with an empty string; an empty list is that terminator alone.
      if (!array->empty()) out->push_back(0);
      if (out->empty()) out->push_back(0);
      return true;
    }
    default: {
      if (const auto* hex = data.as_string()) return HexBytes(ctx, data, hex->get(), out);
      const toml::array* array = data.as_array();
      if (!array) {
        ctx.Error(data.source().begin,
                  std::string("'data' of a binary value must be a hex string or an array of bytes, not ") +
                      ManifestTable::TypeName(data));
        return false;
      }
      for (const toml::node& item : *array) {
        int64_t value;
        if (!t.IntegerValue(item, "each byte", 0, 255, &value)) return false;
        out->push_back(static_cast<uint8_t>(value));
      }
      return true;
    }
  }
}

void ParseRegistry(ManifestTable& t, Component* component) {
  static const ManifestChoices kRoots = {{"HKLM", kHkeyLocalMachine},
                                         {"HKCU", kHkeyCurrentUser},
                                         {"HKCR", kHkeyClassesRoot},
                                         {"HKCC", kHkeyCurrentConfig},
                                         {"HKEY_LOCAL_MACHINE", kHkeyLocalMachine},
                                         {"HKEY_CURRENT_USER", kHkeyCurrentUser},
                                         {"HKEY_CLASSES_ROOT", kHkeyClassesRoot},
                                         {"HKEY_CURRENT_CONFIG", kHkeyCurrentConfig}};
  static const ManifestChoices kTypes = {{"string", kRegSz},
                                         {"expand_string", kRegExpandSz},
                                         {"binary", kRegBinary},
                                         {"dword", kRegDword},
                                         {"multi_string", kRegMultiSz}};
  RegistryAction action;
  std::string key;
  std::string name = "@";
  uint32_t type = 0;
  bool ok = t.Choice("root", kRoots, &action.root, ManifestTable::kRequired);
  ok &= t.Text("key", &key, kNeeded);
  ok &= t.Text("name", &name, ManifestTable::kNonEmpty);
  ok &= t.Choice("type", kTypes, &type);
  bool present;
  const toml::node* data = t.Present("data", ManifestTable::kRequired, &present);
  if (!ok || !data) return;
  ManifestContext& ctx = t.ctx();
  if (key.front() == '\\' || key.back() == '\\') {
    ctx.Error(t.At("key"), "'key' must not begin or end with a backslash");
    return;
  }
  if (name.find('\\') != std::string::npos) {
    ctx.Error(t.At("name"), "'name' cannot contain a backslash");
    return;
  }
  if (!type) {
    if (data->is_string()) {
      type = kRegSz;
    } else if (data->is_integer()) {
      type = kRegDword;
    } else if (const toml::array* array = data->as_array(); array && (array->empty() || array->front().is_string())) {
      type = kRegMultiSz;
    } else {
      ctx.Error(data->source().begin, "give 'type' for this value (\"binary\" for an array of bytes)");
      return;
    }
  }
  if (!RegistryData(t, *data, type, &action.data)) return;
  action.valueType = type;
  action.path = key + "\\" + name;
  component->actions.push_back(std::move(action));
}

void ParseRun(ManifestTable& t, Component* component) {
  RunAction action;
  uint32_t deferred = 0;
  bool ok = t.Text("program", &action.program, kNeeded);
  ok &= t.Text("arguments", &action.arguments);
  ok &= t.Choice("when", {{"now", 0}, {"after", 1}}, &deferred);
  action.deferred = deferred != 0;
  // Only the system folder is searched for a bare name: never the installer's own folder,
  // where anyone could have put a program of that name.
  if (ok && action.program.find_first_of("\\/:$") == std::string::npos)
    t.ctx().Warning(t.At("program"), "program '" + action.program +
                                         "' has no folder: the installer looks for it in the system folder only");
  if (ok) component->actions.push_back(std::move(action));
}

// "Ctrl+Alt+D" → the shell link's hot key: virtual key in the low byte, modifiers in the high.
bool HotKey(ManifestContext& ctx, const toml::node& node, uint16_t* out) {
  std::string text = node.as_string()->get();
  uint16_t modifiers = 0, key = 0;
  std::stringstream parts(text);
  for (std::string part; std::getline(parts, part, '+');) {
    std::string upper = part;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
    uint16_t modifier = upper == "SHIFT" ? 0x01 : upper == "CTRL" ? 0x02 : upper == "ALT" ? 0x04 : 0;
    if (modifier && !(modifiers & modifier)) {
      modifiers |= modifier;
      continue;
    }
    if (!key && upper.size() == 1 && std::isalnum(static_cast<unsigned char>(upper[0]))) {
      key = static_cast<uint8_t>(upper[0]);
      continue;
    }
    if (!key && upper.size() >= 2 && upper.size() <= 3 && upper[0] == 'F' &&
        std::all_of(upper.begin() + 1, upper.end(), ::isdigit)) {
      int number = std::stoi(upper.substr(1));
      if (number >= 1 && number <= 24) {
        key = static_cast<uint16_t>(0x70 + number - 1);
        continue;
      }
    }
    ctx.Error(node.source().begin,
              "'hotkey' must be modifiers (Ctrl, Alt, Shift) and one key (A-Z, 0-9, F1-F24) joined by '+', as in "
              "\"Ctrl+Alt+D\"");
    return false;
  }
  if (!key) {
    ctx.Error(node.source().begin, "'hotkey' names no key");
    return false;
  }
  *out = static_cast<uint16_t>(modifiers << 8 | key);
  return true;
}

void ParseShortcut(ManifestTable& t, Component* component) {
  ShortcutAction action;
  int64_t iconIndex = 0;
  bool ok = t.Text("path", &action.path, kNeeded);
  ok &= t.Text("target", &action.target, kNeeded);
  ok &= t.Text("arguments", &action.arguments);
  ok &= t.Text("description", &action.description);
  ok &= t.Text("working_folder", &action.workingFolder);
  ok &= t.Text("icon", &action.iconFile);
  ok &= t.Integer("icon_index", INT16_MIN, INT16_MAX, &iconIndex);
  action.iconIndex = static_cast<int16_t>(iconIndex);
  if (const toml::node* show = t.Get("show")) {
    int64_t number;
    uint32_t named;
    if (show->is_integer()) {
      ok &= t.IntegerValue(*show, "'show'", 0, 11, &number);
      action.showCommand = static_cast<int16_t>(number);
    } else if ((ok &= t.ChoiceValue(*show, "'show'", {{"normal", 1}, {"maximized", 3}, {"minimized", 7}}, &named))) {
      action.showCommand = static_cast<int16_t>(named);
    }
  }
  if (const toml::node* hotkey = t.Get("hotkey")) {
    int64_t number;
    if (hotkey->is_string()) {
      ok &= HotKey(t.ctx(), *hotkey, &action.hotKey);
    } else if ((ok &= t.IntegerValue(*hotkey, "'hotkey'", 0, UINT16_MAX, &number))) {
      action.hotKey = static_cast<uint16_t>(number);
    }
  }
  if (ok) component->actions.push_back(std::move(action));
}

void ParseService(ManifestTable& t, Component* component) {
  ServiceAction action;
  bool ok = t.Text("name", &action.name, kNeeded);
  action.displayName = action.name;
  ok &= t.Text("display_name", &action.displayName, ManifestTable::kNonEmpty);
  ok &= t.Text("description", &action.description);
  ok &= t.Text("program", &action.program, kNeeded);
  ok &= t.Choice("start", {{"auto", 2}, {"demand", 3}, {"disabled", 4}}, &action.startType);
  if (ok) component->actions.push_back(std::move(action));
}

void ParseScript(ManifestTable& t, Component* component) {
  ScriptAction action;
  std::string file;
  bool ok = t.Text("language", &action.language, kNeeded);
  bool hasText = t.Get("text") != nullptr;
  ok &= t.Text("text", &action.text);
  ok &= t.HostPath("file", &file);
  if (!ok) return;
  ManifestContext& ctx = t.ctx();
  if (hasText == !file.empty()) {
    ctx.Error(hasText ? t.At("file") : t.Where(), "a script needs exactly one of 'text' and 'file'");
    return;
  }
  if (!file.empty()) {
    ManifestSources::FileData data;
    std::string problem;
    if (!ManifestSources::Read(ctx.Resolve(file), &data, &problem)) {
      ctx.Error(t.At("file"), problem);
      return;
    }
    std::string utf8(data.content.begin(), data.content.end());
    if (utf8.compare(0, 3, "\xEF\xBB\xBF") == 0) utf8.erase(0, 3);
    if (utf8.find('\0') != std::string::npos) problem = "it contains a zero byte";
    if (!problem.empty() || !TextEncoding::ToPackageText(utf8, ctx.unicode, &action.text, &problem)) {
      ctx.Error(t.At("file"), "script '" + file + "': " + problem);
      return;
    }
  }
  component->actions.push_back(std::move(action));
}

void ParseFont(ManifestTable& t, Component* component) {
  FontAction action;
  if (t.Text("path", &action.path, kNeeded)) component->actions.push_back(std::move(action));
}

void ParseComServer(ManifestTable& t, Component* component) {
  ComServerAction action;
  if (t.Text("path", &action.path, kNeeded)) component->actions.push_back(std::move(action));
}

void ParseTypeLibrary(ManifestTable& t, Component* component) {
  TypeLibraryAction action;
  bool ok = t.Text("path", &action.path, kNeeded);
  ok &= t.Text("help_folder", &action.helpFolder);
  if (ok) component->actions.push_back(std::move(action));
}

void ParseCopyFile(ManifestTable& t, Component* component) {
  CopyFileAction action;
  bool ok = t.Text("source", &action.source, kNeeded);
  ok &= t.Text("destination", &action.destination, kNeeded);
  ok &= Attributes(t, "attributes", &action.attributes);
  if (ok) component->actions.push_back(std::move(action));
}

void ParseCopyFolder(ManifestTable& t, Component* component) {
  CopyFolderAction action;
  bool ok = t.Text("source", &action.source, kNeeded);
  ok &= t.Text("destination", &action.destination, kNeeded);
  if (ok) component->actions.push_back(std::move(action));
}

using KindParser = void (*)(ManifestTable&, Component*);
const KindParser kKindParsers[] = {ParseFiles,  ParseRegistry,  ParseRun,         ParseShortcut,
                                   ParseFont,   ParseComServer, ParseTypeLibrary, ParseService,
                                   ParseScript, ParseCopyFile,  ParseCopyFolder};

}  // namespace

void ManifestActions::Parse(ManifestContext& ctx, const toml::table& table, Component* component) {
  static const ManifestChoices kKinds = {{"files", 0},  {"registry", 1},   {"run", 2},          {"shortcut", 3},
                                         {"font", 4},   {"com_server", 5}, {"type_library", 6}, {"service", 7},
                                         {"script", 8}, {"copy_file", 9},  {"copy_folder", 10}};
  ManifestTable t(ctx, table, "[[component.action]]");
  uint32_t kind;
  // Without a known kind the other keys cannot be judged.
  if (!t.Choice("kind", kKinds, &kind, ManifestTable::kRequired)) return;
  size_t before = component->actions.size();
  kKindParsers[kind](t, component);
  for (size_t i = before; ctx.perUser && i < component->actions.size(); ++i) {
    PerUserRules::Refusal refusal = PerUserRules::ActionRefusal(component->actions[i]);
    if (refusal.problem.empty()) continue;
    ctx.Error(refusal.key ? t.At(refusal.key) : t.Where(), refusal.problem);
    break;
  }
  t.Finish();
}
