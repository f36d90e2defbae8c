#include "LanguageTable.h"

#include <string>

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

const Language& LanguageTable::English() {
  static const Language english = [] {
    Language language;
    language.name = "English";
    language.id = kEnglishId;
    language.controls = {
        {1, "&Install"},
        {2, "Cancel"},
        {5, "I &Agree"},
        {238, "Language:"},
        {222, "Install ${ProductName} in this folder:"},
        {224, "Start menu folder:"},
        {226, "Components to install:"},
        {231, "Select a component to see its description."},
        {228, "Overall progress:"},
        {239, "Please read the licence agreement. To install ${ProductName}, click I Agree."},
        {kScopeAllId, "Install for all users (needs administrator rights)"},
        {kScopeUserId, "Install just for me"},
    };
    language.strings = {
        {4, "Installation complete."},
        {5, "Choose the folder to install into:"},
        {6, "Installing, please wait..."},
        {kSpaceFormat, "Space required: %s    Space available: %s"},
        {8, "Restart your computer to finish the installation."},
        {9, "The installation is incomplete. These items could not be installed:"},
    };
    return language;
  }();
  return english;
}

// Texts in Windows-1252, as the installer shows them.
const Language& LanguageTable::German() {
  static const Language german = [] {
    Language language;
    language.name = "Deutsch";
    language.id = kGermanId;
    language.controls = {
        {1, "&Installieren"},
        {2, "Abbrechen"},
        {5, "&Zustimmen"},
        {238, "Sprache:"},
        {222, "${ProductName} installieren in:"},
        {224, "Startmen\xFC-Ordner:"},
        {226, "Zu installierende Komponenten:"},
        {231, "W\xE4hlen Sie eine Komponente f\xFCr ihre Beschreibung."},
        {228, "Gesamtfortschritt:"},
        {239, "Bitte lesen Sie den Lizenzvertrag. Um ${ProductName} zu installieren, klicken Sie auf Zustimmen."},
        {kScopeAllId, "F\xFCr alle Benutzer installieren (erfordert Administratorrechte)"},
        {kScopeUserId, "Nur f\xFCr mich installieren"},
    };
    language.strings = {
        {4, "Die Installation ist abgeschlossen."},
        {5, "W\xE4hlen Sie den Zielordner:"},
        {6, "Installation l\xE4uft, bitte warten..."},
        {kSpaceFormat, "Ben\xF6tigt: %s    Verf\xFCgbar: %s"},
        {8, "Starten Sie den Computer neu, um die Installation abzuschlie\xDF" "en."},
        {9, "Die Installation ist unvollst\xE4ndig. Diese Elemente konnten nicht installiert werden:"},
    };
    return language;
  }();
  return german;
}

std::vector<Language> LanguageTable::Shipped() { return {English(), German()}; }

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
