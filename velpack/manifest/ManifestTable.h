#pragma once
#include <stdint.h>
#include <toml++/toml.h>

#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ManifestParser.h"

// Where a manifest's messages go and where its relative paths start.
struct ManifestContext {
  std::string file;
  std::filesystem::path folder;
  std::vector<ManifestMessage>* errors;
  std::vector<ManifestMessage>* warnings;
  const std::function<void(const std::string&)>* progress;
  // The product may be installed for one user only: its actions must stay within that user's part.
  bool perUser = false;
  // Texts are stored in UTF-8, else in Windows-1252.
  bool unicode = true;

  void Error(const toml::source_position& at, std::string text);
  void Warning(const toml::source_position& at, std::string text);
  std::filesystem::path Resolve(const std::string& hostPath) const;
};

using ManifestChoices = std::initializer_list<std::pair<const char*, uint32_t>>;

// The keys of one manifest table, read by type. Each reader reports its own errors and returns
// false for them; an absent optional key leaves *out unchanged. Finish() reports every key that
// no reader asked for, so typing slips never pass silently.
class ManifestTable {
 public:
  enum : int { kRequired = 1, kNonEmpty = 2, kOneLine = 4 };

  ManifestTable(ManifestContext& ctx, const toml::table& table, std::string title)
      : ctx_(ctx), table_(table), title_(std::move(title)) {}

  ManifestContext& ctx() { return ctx_; }
  toml::source_position Where() const { return table_.source().begin; }
  // Position of the key's value, or of the table when the key is absent.
  toml::source_position At(std::string_view key) const;

  const toml::node* Get(std::string_view key);
  // Get, reporting a missing required key; *ok is false only then.
  const toml::node* Present(std::string_view key, int options, bool* ok);

  // A text for the installer, converted to its code page.
  bool Text(std::string_view key, std::string* out, int options = 0);
  // A path on the build machine, kept in the manifest's own encoding.
  bool HostPath(std::string_view key, std::string* out, int options = 0);
  bool Bool(std::string_view key, bool* out);
  bool Integer(std::string_view key, int64_t min, int64_t max, int64_t* out, int options = 0);
  bool IntegerValue(const toml::node& node, const std::string& what, int64_t min, int64_t max, int64_t* out);
  bool Choice(std::string_view key, ManifestChoices choices, uint32_t* out, int options = 0);
  bool ChoiceValue(const toml::node& node, const std::string& what, ManifestChoices choices, uint32_t* out);
  // Reads the build-machine file the key names; check() may refuse its content.
  bool File(std::string_view key, std::vector<uint8_t>* out,
            const std::function<bool(const std::vector<uint8_t>&, std::string*)>& check);
  bool Finish();

  static const char* TypeName(const toml::node& node);
  static bool ConvertText(ManifestContext& ctx, const toml::node& node, const std::string& what, std::string* out);
  // " (did you mean 'x'?)" for the closest candidate within a couple of typing slips, else "".
  static std::string Suggestion(const std::string& word, const std::vector<std::string>& candidates);
  // The tables of an array of tables ([[what]]); anything else is an error.
  static std::vector<const toml::table*> TablesOf(ManifestContext& ctx, const toml::node* node,
                                                  const std::string& what);

 private:
  ManifestContext& ctx_;
  const toml::table& table_;
  std::string title_;
  std::vector<std::string> known_;
};
