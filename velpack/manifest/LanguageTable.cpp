#include "LanguageTable.h"

#include <iterator>
#include <string>

#include "TextEncoding.h"

namespace {

constexpr int kDialogId = 201;
constexpr int kSpaceFormat = 7;

}  // namespace

const std::vector<LanguageTable::Control>& LanguageTable::Controls() {
  static const std::vector<Control> controls = {
      {"IDOK", 1, true},
      {"IDCANCEL", 2, true},
      {"IDC_ACCEPT", 5, true},
      {"IDC_BROWSE", 208, true},
      {"IDC_LANGUAGE_LABEL", 238, true},
      {"IDC_FOLDER_LABEL", 222, true},
      {"IDC_MENU_LABEL", 224, true},
      {"IDC_COMPONENTS_LABEL", 226, true},
      {"IDC_DESCRIPTION", 231, true},
      {"IDC_TOTAL_LABEL", 228, true},
      {"IDC_LICENCE_INTRO", 239, true},
      {"IDC_SCOPE_ALL", kScopeAllId, true},
      {"IDC_SCOPE_USER", kScopeUserId, true},
      // A text for these would overwrite the user's choices or be replaced by the wizard.
      {"IDC_LOGO", 206, false},
      {"IDC_LANGUAGE", 236, false},
      {"IDC_FOLDER", 207, false},
      {"IDC_MENU", 235, false},
      {"IDC_MENU_FIXED", 234, false},
      {"IDC_COMPONENTS", 225, false},
      {"IDC_LICENCE", 230, false},
      {"IDC_FILE", 203, false},
      {"IDC_SPACE", 223, false},
      {"IDC_FILE_PROGRESS", 204, false},
      {"IDC_TOTAL_PROGRESS", 205, false},
  };
  return controls;
}

const std::vector<LanguageTable::String>& LanguageTable::Strings() {
  static const std::vector<String> strings = {
      {"finished_message", 4},
      {"browse_title", 5},
      {"installing", 6},
      {"space_format", kSpaceFormat},
      {"restart_message", 8},
      {"failures_message", 9},
  };
  return strings;
}

const LanguageTable::Control* LanguageTable::FindControl(std::string_view name) {
  for (const Control& control : Controls()) {
    if (name == control.name) return &control;
  }
  return nullptr;
}

const LanguageTable::String* LanguageTable::FindString(std::string_view name) {
  for (const String& string : Strings()) {
    if (name == string.name) return &string;
  }
  return nullptr;
}

bool LanguageTable::BuiltIn(const BuiltInLanguages::Entry& entry, bool unicode, Language* language,
                            std::string* problem) {
  Language built;
  built.id = entry.id;
  bool ok = TextEncoding::ToPackageText(entry.name, unicode, &built.name, problem);
  const size_t controls = std::size(BuiltInLanguages::kControlIds);
  for (size_t i = 0; ok && i < std::size(entry.texts); ++i) {
    std::string& text = i < controls ? built.controls[BuiltInLanguages::kControlIds[i]]
                                     : built.strings[BuiltInLanguages::kStringNumbers[i - controls]];
    ok = TextEncoding::ToPackageText(entry.texts[i], unicode, &text, problem);
  }
  const int scopeIds[] = {kScopeAllId, kScopeUserId};
  for (size_t i = 0; ok && i < std::size(scopeIds); ++i)
    ok = TextEncoding::ToPackageText(entry.scope[i], unicode, &built.controls[scopeIds[i]], problem);
  if (ok) *language = std::move(built);
  return ok;
}

const Language& LanguageTable::English() {
  static const Language english = [] {
    Language language;
    std::string problem;
    BuiltIn(BuiltInLanguages::All().front(), true, &language, &problem);
    return language;
  }();
  return english;
}

std::vector<std::string> LanguageTable::MissingTexts(const Language& language, bool scopeChoice) {
  std::vector<std::string> missing;
  for (const Control& control : Controls()) {
    if (!scopeChoice && IsScopeChoice(control.id)) continue;
    if (English().controls.count(control.id) && !language.controls.count(control.id)) {
      missing.push_back(control.name);
    }
  }
  for (const String& string : Strings()) {
    if (!language.strings.count(string.number)) missing.push_back(string.name);
  }
  return missing;
}

void LanguageTable::CompleteFrom(const Language& base, Language* language) {
  // map::insert keeps the texts the language has.
  language->controls.insert(base.controls.begin(), base.controls.end());
  language->strings.insert(base.strings.begin(), base.strings.end());
}

bool LanguageTable::CheckSpaceFormat(const std::string& format, std::string* problem) {
  int arguments = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') continue;
    char next = i + 1 < format.size() ? format[i + 1] : '\0';
    if (next == 's') {
      ++arguments;
    } else if (next != '%') {
      *problem =
          "space_format may contain only %s and %%, found '%" + (next ? std::string(1, next) : std::string()) + "'";
      return false;
    }
    ++i;
  }
  if (arguments != 2) {
    *problem = "space_format must contain %s exactly twice (required size, then available size), found " +
               std::to_string(arguments);
    return false;
  }
  return true;
}

bool LanguageTable::IsScopeChoice(int controlId) { return controlId == kScopeAllId || controlId == kScopeUserId; }

void LanguageTable::AddEntries(const std::vector<Language>& languages, bool scopeChoice,
                               std::vector<PackageEntry>* out) {
  for (size_t n = 0; n < languages.size(); ++n) {
    const Language& language = languages[n];
    std::string prefix = "l\\" + std::to_string(n) + "\\";
    out->push_back(TextEntry(prefix + "name", language.name));
    out->push_back(TextEntry(prefix + "id", std::to_string(language.id)));
    for (const auto& [id, text] : language.controls) {
      if (!scopeChoice && IsScopeChoice(id)) continue;
      out->push_back(TextEntry(prefix + std::to_string(kDialogId) + "." + std::to_string(id), text));
    }
    for (const auto& [number, text] : language.strings) {
      out->push_back(TextEntry(prefix + "_" + std::to_string(number), text));
    }
  }
}
