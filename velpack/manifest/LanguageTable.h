#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "BuiltInLanguages.h"
#include "Manifest.h"
#include "ManifestEntries.h"

// The wizard's language table: the names by which a manifest addresses control texts and
// numbered strings, the shipped languages' tables, and the package entries of a table.
class LanguageTable {
 public:
  // The wizard's choice between every user and the current one, shown only by a product whose
  // scope is "either": only such a package carries their texts.
  static constexpr int kScopeAllId = 240;
  static constexpr int kScopeUserId = 241;
  static bool IsScopeChoice(int controlId);

  struct Control {
    const char* name;
    int id;
    bool takesText;  // false for controls that show input or texts the wizard writes itself
  };
  struct String {
    const char* name;
    int number;
  };

  static const std::vector<Control>& Controls();
  static const std::vector<String>& Strings();
  static const Control* FindControl(std::string_view name);
  static const String* FindString(std::string_view name);

  // A shipped language's complete table in the package's encoding; false (with the problem)
  // when a text has no Windows-1252 form.
  static bool BuiltIn(const BuiltInLanguages::Entry& entry, bool unicode, Language* language, std::string* problem);
  // Its texts are the fallback of every language that lacks some.
  static const Language& English();

  // Names of the texts that English has and the language lacks (the scope choice's only where
  // the product offers that choice).
  static std::vector<std::string> MissingTexts(const Language& language, bool scopeChoice);
  // Gives the language every text it lacks from the base language.
  static void CompleteFrom(const Language& base, Language* language);

  // The disk-space line is a printf format with two string arguments; anything else would make
  // the installer read arguments that are not there.
  static bool CheckSpaceFormat(const std::string& format, std::string* problem);

  // Entries "l\N\name", "l\N\id", "l\N\201.ID" and "l\N\_S" for languages numbered in order.
  // The scope choice's texts only with scopeChoice.
  static void AddEntries(const std::vector<Language>& languages, bool scopeChoice, std::vector<PackageEntry>* out);
};
