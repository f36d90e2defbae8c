#include "ManifestParser.h"

#include <toml++/toml.h>

#include <algorithm>
#include <filesystem>

#include "LanguageTable.h"
#include "ManifestActions.h"
#include "ManifestSources.h"
#include "ManifestTable.h"
#include "PerUserRules.h"
#include "TextEncoding.h"

namespace {

bool IsRtf(const std::vector<uint8_t>& bytes, std::string* problem) {
  static const char kMagic[] = "{\\rtf";
  if (bytes.size() >= 5 && std::equal(kMagic, kMagic + 5, bytes.begin())) return true;
  *problem = "not an RTF file (it must begin with {\\rtf)";
  return false;
}

// Rich edit reads an RTF file's raw bytes in its declared code page: a licence written in UTF-8
// keeps every other character as RTF's Unicode escape, one per UTF-16 unit with its signed value.
// A file that is not UTF-8 is left as it is.
void EscapeUtf8Rtf(std::vector<uint8_t>* rtf) {
  std::string_view text(reinterpret_cast<const char*>(rtf->data()), rtf->size());
  std::string escaped;
  for (size_t pos = 0; pos < text.size();) {
    uint32_t codePoint;
    if (!TextEncoding::NextCodePoint(text, &pos, &codePoint)) return;
    if (codePoint < 0x80) {
      escaped += static_cast<char>(codePoint);
      continue;
    }
    std::vector<uint8_t> units;
    TextEncoding::AppendUtf16Le(codePoint, &units);
    for (size_t i = 0; i < units.size(); i += 2)
      escaped += "\\u" + std::to_string(static_cast<int16_t>(units[i] | units[i + 1] << 8)) + "?";
  }
  rtf->assign(escaped.begin(), escaped.end());
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// The wizard draws the logo from the file's own header: it must be an uncompressed bottom-up
// bitmap whose pixels lie inside the file.
bool IsLogoBitmap(const std::vector<uint8_t>& b, std::string* problem) {
  if (b.size() < 54 || b[0] != 'B' || b[1] != 'M' || Le32(b, 14) < 40) {
    *problem = "not a Windows bitmap (BMP) file";
    return false;
  }
  auto width = static_cast<int32_t>(Le32(b, 18));
  auto height = static_cast<int32_t>(Le32(b, 22));
  uint32_t bits = b[28] | b[29] << 8;
  uint32_t compression = Le32(b, 30);
  if (height <= 0 || width <= 0) {
    *problem = "the bitmap must be stored bottom-up (positive width and height)";
    return false;
  }
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
    *problem = "unsupported bits per pixel: " + std::to_string(bits);
    return false;
  }
  if (compression != 0 && compression != 3) {
    *problem = "the bitmap must not be compressed";
    return false;
  }
  uint64_t rowSize = (static_cast<uint64_t>(width) * bits + 31) / 32 * 4;
  uint64_t pixelBytes = Le32(b, 34) ? Le32(b, 34) : rowSize * static_cast<uint64_t>(height);
  if (static_cast<uint64_t>(Le32(b, 10)) + pixelBytes > b.size()) {
    *problem = "the bitmap is truncated: its pixels reach beyond the end of the file";
    return false;
  }
  return true;
}

}  // namespace

bool IsWindowsProgram(const std::vector<uint8_t>& bytes, std::string* problem) {
  if (bytes.size() >= 2 && bytes[0] == 'M' && bytes[1] == 'Z') return true;
  *problem = "not a Windows program (no MZ header)";
  return false;
}

namespace {

void ParseComponent(ManifestContext& ctx, const toml::table& table, Manifest* manifest) {
  ManifestTable t(ctx, table, "[[component]]");
  Component component;
  t.Text("name", &component.name, ManifestTable::kRequired | ManifestTable::kNonEmpty);
  t.Text("description", &component.description);
  t.Bool("listed", &component.listed);
  t.Bool("selected", &component.selected);
  for (const toml::table* action : ManifestTable::TablesOf(ctx, t.Get("action"), "component.action")) {
    ManifestActions::Parse(ctx, *action, &component);
  }
  t.Finish();
  manifest->components.push_back(std::move(component));
}

// languages = ["en", "de", "ja"]: the shipped languages to carry. An ANSI package carries only
// languages whose texts Windows-1252 can hold, by default English and German.
void ParseLanguageCodes(ManifestContext& ctx, const toml::node* node, Product* product) {
  product->languages.clear();
  if (!node) {
    for (const BuiltInLanguages::Entry& entry : BuiltInLanguages::All())
      if (product->unicode || entry.code == std::string("en") || entry.code == std::string("de"))
        product->languages.push_back(entry.code);
    return;
  }
  const toml::array* array = node->as_array();
  if (!array || array->empty()) {
    ctx.Error(node->source().begin, "'languages' must be an array of language codes such as [\"en\", \"de\"]");
    return;
  }
  std::vector<std::string> known;
  for (const BuiltInLanguages::Entry& entry : BuiltInLanguages::All()) known.push_back(entry.code);
  for (const toml::node& element : *array) {
    const auto* code = element.as_string();
    const BuiltInLanguages::Entry* entry = code ? BuiltInLanguages::Find(code->get()) : nullptr;
    Language converted;
    std::string problem;
    if (!entry) {
      ctx.Error(element.source().begin,
                code ? "unknown language code '" + code->get() + "'" + ManifestTable::Suggestion(code->get(), known)
                     : std::string("each language code must be a string, not ") + ManifestTable::TypeName(element));
    } else if (std::find(product->languages.begin(), product->languages.end(), entry->code) !=
               product->languages.end()) {
      ctx.Error(element.source().begin, "language '" + code->get() + "' is named twice");
    } else if (!LanguageTable::BuiltIn(*entry, product->unicode, &converted, &problem)) {
      ctx.Error(element.source().begin, "language '" + code->get() + "' needs encoding = \"utf-8\": " + problem);
    } else {
      product->languages.push_back(entry->code);
    }
  }
  // Shipped order: English, when carried, stays language 0 and the fallback of the others.
  std::vector<std::string> ordered;
  for (const std::string& code : known)
    if (std::find(product->languages.begin(), product->languages.end(), code) != product->languages.end())
      ordered.push_back(code);
  product->languages = ordered;
}

void ParseProduct(ManifestContext& ctx, const toml::table& table, Product* product) {
  ManifestTable t(ctx, table, "[product]");
  // Before any text, which is stored in the encoding chosen here.
  uint32_t unicode = 1;
  if (t.Choice("encoding", {{"utf-8", 1}, {"ansi", 0}}, &unicode)) product->unicode = unicode != 0;
  ctx.unicode = product->unicode;
  t.Text("name", &product->name, ManifestTable::kRequired | ManifestTable::kNonEmpty);
  product->destination = "${ProgramsPath}\\" + product->name;
  product->addedFolder = product->name;
  product->startMenu = product->name;
  uint32_t architecture = static_cast<uint32_t>(product->architecture);
  if (t.Choice("architecture",
               {{"x86", static_cast<uint32_t>(Architecture::kX86)}, {"x64", static_cast<uint32_t>(Architecture::kX64)}},
               &architecture)) {
    product->architecture = static_cast<Architecture>(architecture);
  }
  uint32_t scope = static_cast<uint32_t>(product->scope);
  if (t.Choice("scope",
               {{"machine", static_cast<uint32_t>(InstallScope::kMachine)},
                {"user", static_cast<uint32_t>(InstallScope::kUser)},
                {"either", static_cast<uint32_t>(InstallScope::kEither)}},
               &scope)) {
    product->scope = static_cast<InstallScope>(scope);
  }
  ctx.perUser = product->scope != InstallScope::kMachine;
  uint32_t longRange = product->longRangeFiles ? 1 : 0;
  if (t.Choice("compression", {{"lzma", 1}, {"block", 0}}, &longRange)) product->longRangeFiles = longRange != 0;
  ParseLanguageCodes(ctx, t.Get("languages"), product);
  t.Text("company", &product->company);
  t.Text("version", &product->version);
  if (t.Text("destination", &product->destination, ManifestTable::kNonEmpty) && ctx.perUser) {
    std::string refusal = PerUserRules::PathRefusal(product->destination);
    if (!refusal.empty()) ctx.Error(t.At("destination"), "'destination' " + refusal);
  }
  t.Text("added_folder", &product->addedFolder);
  t.Text("start_menu", &product->startMenu);
  t.Bool("start_menu_all_users", &product->startMenuAllUsers);
  t.Bool("allow_folder_change", &product->allowFolderChange);
  t.Bool("allow_start_menu_change", &product->allowStartMenuChange);
  t.Bool("unattended", &product->unattended);
  // The installer writes it into the uninstall log, where each line is a change to undo.
  t.Text("uninstaller_text", &product->uninstallerText, ManifestTable::kOneLine);
  t.Text("icon", &product->icon, ManifestTable::kNonEmpty);
  t.Text("url", &product->url, ManifestTable::kNonEmpty);
  t.Text("help_url", &product->helpUrl, ManifestTable::kNonEmpty);
  if (t.File("licence", &product->licence, IsRtf) && product->unicode) EscapeUtf8Rtf(&product->licence);
  t.File("logo", &product->logo, IsLogoBitmap);
  // true (or no key) carries the project's own uninstaller, false none, a path the author's.
  if (const toml::node* uninstaller = t.Get("uninstaller"); uninstaller && uninstaller->is_boolean()) {
    product->carryOwnUninstaller = uninstaller->value_or(true);
  } else if (uninstaller) {
    product->carryOwnUninstaller = false;
    t.File("uninstaller", &product->uninstaller, IsWindowsProgram);
  }
  t.Finish();
  // The installer trims them itself; trimming here keeps the stored text the one it uses.
  size_t first = product->addedFolder.find_first_not_of('\\');
  size_t last = product->addedFolder.find_last_not_of('\\');
  product->addedFolder = first == std::string::npos ? "" : product->addedFolder.substr(first, last - first + 1);
}

std::vector<std::string> Names(const std::vector<LanguageTable::Control>& controls) {
  std::vector<std::string> names;
  for (const auto& control : controls) names.push_back(control.name);
  return names;
}

std::vector<std::string> Names(const std::vector<LanguageTable::String>& strings) {
  std::vector<std::string> names;
  for (const auto& string : strings) names.push_back(string.name);
  return names;
}

// Reads one table of texts keyed by name (controls or strings) into texts by number.
template <typename Find>
void ParseTexts(ManifestContext& ctx, const toml::node* node, const char* what, const std::vector<std::string>& names,
                Find find, std::map<int, std::string>* texts) {
  if (!node) return;
  const toml::table* table = node->as_table();
  if (!table) {
    ctx.Error(node->source().begin,
              std::string("'") + what + "' must be a table, not " + ManifestTable::TypeName(*node));
    return;
  }
  for (const auto& [key, value] : *table) {
    std::string name(key.str());
    std::string text;
    int number = find(key.source().begin, name);
    if (number < 0) continue;
    if (!number) {
      ctx.Error(key.source().begin,
                "unknown " + std::string(what) + " name '" + name + "'" + ManifestTable::Suggestion(name, names));
      continue;
    }
    if (!ManifestTable::ConvertText(ctx, value, "'" + name + "'", &text)) continue;
    std::string problem;
    if (text.empty()) {
      ctx.Error(value.source().begin, "'" + name + "' must not be empty (the wizard treats an empty text as missing)");
    } else if (name == "space_format" && !LanguageTable::CheckSpaceFormat(text, &problem)) {
      ctx.Error(value.source().begin, problem);
    } else {
      (*texts)[number] = std::move(text);
    }
  }
}

void ParseLanguages(ManifestContext& ctx, const toml::node* node, Manifest* manifest) {
  for (const std::string& code : manifest->product.languages) {
    Language language;
    std::string problem;
    if (LanguageTable::BuiltIn(*BuiltInLanguages::Find(code), manifest->product.unicode, &language, &problem))
      manifest->languages.push_back(std::move(language));
  }
  const size_t shipped = manifest->languages.size();
  std::vector<bool> shippedChanged(shipped, false);
  for (const toml::table* table : ManifestTable::TablesOf(ctx, node, "language")) {
    ManifestTable t(ctx, *table, "[[language]]");
    int64_t id = 0;
    Language language;
    if (!t.Integer("id", 1, UINT16_MAX, &id, ManifestTable::kRequired)) id = 0;
    language.id = static_cast<uint16_t>(id);
    // A shipped language's id changes that table instead of adding one.
    size_t own = shipped;
    for (size_t n = 0; n < shipped; ++n)
      if (manifest->languages[n].id == id) own = n;
    bool isShipped = own < shipped;
    t.Text("name", &language.name, (isShipped ? 0 : ManifestTable::kRequired) | ManifestTable::kNonEmpty);
    ParseTexts(
        ctx, t.Get("controls"), "control", Names(LanguageTable::Controls()),
        [&](const toml::source_position& at, const std::string& name) {
          const LanguageTable::Control* control = LanguageTable::FindControl(name);
          if (control && !control->takesText) {
            ctx.Error(at, "the control " + name + " shows the user's input or the wizard's own text; it takes no text");
            return -1;
          }
          return control ? control->id : 0;
        },
        &language.controls);
    ParseTexts(
        ctx, t.Get("strings"), "string", Names(LanguageTable::Strings()),
        [](const toml::source_position&, const std::string& name) {
          const LanguageTable::String* string = LanguageTable::FindString(name);
          return string ? string->number : 0;
        },
        &language.strings);
    t.Finish();
    if (!id) continue;
    bool clash = false;
    for (size_t n = 0; n < manifest->languages.size(); ++n) {
      const Language& existing = manifest->languages[n];
      bool mine = isShipped && n == own;
      bool sameId = existing.id == language.id && !(mine && !shippedChanged[n]);
      bool sameName = !language.name.empty() && existing.name == language.name && !mine;
      if (sameId || sameName) {
        ctx.Error(t.Where(), std::string("a language with this ") + (sameId ? "id" : "name") + " is already defined");
        clash = true;
        break;
      }
    }
    if (clash) continue;
    if (isShipped) {
      Language& base = manifest->languages[own];
      if (!language.name.empty()) base.name = language.name;
      for (auto& [number, text] : language.controls) base.controls[number] = text;
      for (auto& [number, text] : language.strings) base.strings[number] = text;
      shippedChanged[own] = true;
      continue;
    }
    std::vector<std::string> missing =
        LanguageTable::MissingTexts(language, manifest->product.scope == InstallScope::kEither);
    if (!missing.empty()) {
      std::string list;
      for (const std::string& name : missing) list += (list.empty() ? "" : ", ") + name;
      ctx.Warning(t.Where(),
                  "language '" + language.name + "' has no text for " + list + "; the English texts are used");
    }
    manifest->languages.push_back(std::move(language));
  }
  // After the loop, so that English texts changed anywhere in the manifest are the fallback.
  for (size_t n = 1; n < manifest->languages.size(); ++n) {
    LanguageTable::CompleteFrom(manifest->languages[0], &manifest->languages[n]);
  }
}

}  // namespace

std::string ManifestMessage::Format(const char* severity) const {
  std::string place = file;
  if (line > 0) place += ":" + std::to_string(line) + ":" + std::to_string(column);
  return place + ": " + severity + ": " + text;
}

bool ManifestParser::ParseFile(const std::string& path, Manifest* manifest) {
  ManifestSources::FileData data;
  std::string problem;
  if (!ManifestSources::Read(path, &data, &problem)) {
    errors_ = {{path, 0, 0, problem}};
    warnings_.clear();
    return false;
  }
  return ParseText(std::string(data.content.begin(), data.content.end()), path, manifest);
}

bool ManifestParser::ParseText(const std::string& text, const std::string& path, Manifest* manifest) {
  errors_.clear();
  warnings_.clear();
  *manifest = Manifest();
  ManifestContext ctx{path, std::filesystem::path(path).parent_path(), &errors_, &warnings_, &progress_};
  if (ctx.folder.empty()) ctx.folder = ".";
  toml::table root;
  try {
    root = toml::parse(text, path);
  } catch (const toml::parse_error& error) {
    ctx.Error(error.source().begin, std::string(error.description()));
    return false;
  }
  ManifestTable top(ctx, root, "the manifest");
  const toml::node* product = top.Get("product");
  if (!product) {
    ctx.Error({1, 1}, "the manifest has no [product] table");
  } else if (!product->is_table()) {
    ctx.Error(product->source().begin,
              std::string("'product' must be a table ([product]), not ") + ManifestTable::TypeName(*product));
  } else {
    ParseProduct(ctx, *product->as_table(), &manifest->product);
  }
  const toml::node* components = top.Get("component");
  for (const toml::table* component : ManifestTable::TablesOf(ctx, components, "component"))
    ParseComponent(ctx, *component, manifest);
  if (!components) ctx.Error({1, 1}, "the manifest has no [[component]]: an installer needs at least one");
  ParseLanguages(ctx, top.Get("language"), manifest);
  top.Finish();
  return errors_.empty();
}
