#include "ManifestTable.h"

#include <algorithm>

#include "ManifestSources.h"
#include "TextEncoding.h"

namespace {

size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      size_t above = row[j];
      bool same =
          std::tolower(static_cast<unsigned char>(a[i - 1])) == std::tolower(static_cast<unsigned char>(b[j - 1]));
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

std::string ChoiceList(ManifestChoices choices) {
  std::string list;
  for (const auto& choice : choices) list += std::string(list.empty() ? "" : ", ") + "\"" + choice.first + "\"";
  return list;
}

}  // namespace

void ManifestContext::Error(const toml::source_position& at, std::string text) {
  errors->push_back({file, static_cast<int>(at.line), static_cast<int>(at.column), std::move(text)});
}

void ManifestContext::Warning(const toml::source_position& at, std::string text) {
  warnings->push_back({file, static_cast<int>(at.line), static_cast<int>(at.column), std::move(text)});
}

std::filesystem::path ManifestContext::Resolve(const std::string& hostPath) const {
  std::filesystem::path path(hostPath);
  return path.is_absolute() ? path : folder / path;
}

toml::source_position ManifestTable::At(std::string_view key) const {
  const toml::node* node = table_.get(key);
  return node ? node->source().begin : Where();
}

const toml::node* ManifestTable::Get(std::string_view key) {
  known_.emplace_back(key);
  return table_.get(key);
}

const toml::node* ManifestTable::Present(std::string_view key, int options, bool* ok) {
  const toml::node* node = Get(key);
  *ok = node || !(options & kRequired);
  if (!node && (options & kRequired)) ctx_.Error(Where(), "missing key '" + std::string(key) + "' in " + title_);
  return node;
}

bool ManifestTable::Text(std::string_view key, std::string* out, int options) {
  bool ok;
  const toml::node* node = Present(key, options, &ok);
  if (!node) return ok;
  std::string text;
  if (!ConvertText(ctx_, *node, "'" + std::string(key) + "'", &text)) return false;
  if ((options & kNonEmpty) && text.empty()) {
    ctx_.Error(node->source().begin, "'" + std::string(key) + "' must not be empty");
    return false;
  }
  if ((options & kOneLine) && text.find_first_of("\r\n") != std::string::npos) {
    ctx_.Error(node->source().begin, "'" + std::string(key) + "' must be one line (no line breaks)");
    return false;
  }
  *out = std::move(text);
  return true;
}

bool ManifestTable::HostPath(std::string_view key, std::string* out, int options) {
  bool ok;
  const toml::node* node = Present(key, options, &ok);
  if (!node) return ok;
  const auto* value = node->as_string();
  if (!value || value->get().empty()) {
    ctx_.Error(node->source().begin, "'" + std::string(key) + "' must be a path (a non-empty string)" +
                                         (value ? "" : std::string(", not ") + TypeName(*node)));
    return false;
  }
  *out = value->get();
  return true;
}

bool ManifestTable::Bool(std::string_view key, bool* out) {
  const toml::node* node = Get(key);
  if (!node) return true;
  const auto* value = node->as_boolean();
  if (!value) {
    ctx_.Error(node->source().begin, "'" + std::string(key) + "' must be true or false, not " + TypeName(*node));
    return false;
  }
  *out = value->get();
  return true;
}

bool ManifestTable::Integer(std::string_view key, int64_t min, int64_t max, int64_t* out, int options) {
  bool ok;
  const toml::node* node = Present(key, options, &ok);
  if (!node) return ok;
  return IntegerValue(*node, "'" + std::string(key) + "'", min, max, out);
}

bool ManifestTable::IntegerValue(const toml::node& node, const std::string& what, int64_t min, int64_t max,
                                 int64_t* out) {
  const auto* value = node.as_integer();
  if (!value) {
    ctx_.Error(node.source().begin, what + " must be an integer, not " + TypeName(node));
    return false;
  }
  if (value->get() < min || value->get() > max) {
    ctx_.Error(node.source().begin, what + " must lie between " + std::to_string(min) + " and " + std::to_string(max) +
                                        ", not " + std::to_string(value->get()));
    return false;
  }
  *out = value->get();
  return true;
}

bool ManifestTable::Choice(std::string_view key, ManifestChoices choices, uint32_t* out, int options) {
  bool ok;
  const toml::node* node = Present(key, options, &ok);
  if (!node) return ok;
  return ChoiceValue(*node, "'" + std::string(key) + "'", choices, out);
}

bool ManifestTable::ChoiceValue(const toml::node& node, const std::string& what, ManifestChoices choices,
                                uint32_t* out) {
  const auto* value = node.as_string();
  if (value) {
    for (const auto& choice : choices) {
      if (value->get() == choice.first) {
        *out = choice.second;
        return true;
      }
    }
  }
  ctx_.Error(node.source().begin,
             what + " must be one of " + ChoiceList(choices) +
                 (value ? ", not \"" + value->get() + "\"" : std::string(", not ") + TypeName(node)));
  return false;
}

bool ManifestTable::File(std::string_view key, std::vector<uint8_t>* out,
                         const std::function<bool(const std::vector<uint8_t>&, std::string*)>& check) {
  std::string path;
  if (!HostPath(key, &path)) return false;
  if (path.empty()) return true;
  ManifestSources::FileData data;
  std::string problem;
  if (!ManifestSources::Read(ctx_.Resolve(path), &data, &problem) || !check(data.content, &problem)) {
    ctx_.Error(At(key), "'" + std::string(key) + "': " + problem);
    return false;
  }
  *out = std::move(data.content);
  return true;
}

bool ManifestTable::Finish() {
  bool ok = true;
  for (const auto& [key, node] : table_) {
    std::string name(key.str());
    if (std::find(known_.begin(), known_.end(), name) != known_.end()) continue;
    ctx_.Error(key.source().begin, "unknown key '" + name + "' in " + title_ + Suggestion(name, known_));
    ok = false;
  }
  return ok;
}

const char* ManifestTable::TypeName(const toml::node& node) {
  switch (node.type()) {
    case toml::node_type::table:
      return "a table";
    case toml::node_type::array:
      return "an array";
    case toml::node_type::string:
      return "a string";
    case toml::node_type::integer:
      return "an integer";
    case toml::node_type::floating_point:
      return "a floating-point number";
    case toml::node_type::boolean:
      return "a boolean";
    case toml::node_type::date:
      return "a date";
    case toml::node_type::time:
      return "a time";
    case toml::node_type::date_time:
      return "a date-time";
    default:
      return "nothing";
  }
}

bool ManifestTable::ConvertText(ManifestContext& ctx, const toml::node& node, const std::string& what,
                                std::string* out) {
  const auto* value = node.as_string();
  if (!value) {
    ctx.Error(node.source().begin, what + " must be a string, not " + TypeName(node));
    return false;
  }
  const std::string& utf8 = value->get();
  if (utf8.find('\0') != std::string::npos) {
    ctx.Error(node.source().begin, what + " contains a zero character");
    return false;
  }
  std::string problem;
  if (!TextEncoding::ToPackageText(utf8, ctx.unicode, out, &problem)) {
    ctx.Error(node.source().begin, what + ": " + problem);
    return false;
  }
  return true;
}

std::string ManifestTable::Suggestion(const std::string& word, const std::vector<std::string>& candidates) {
  const std::string* best = nullptr;
  size_t bestDistance = std::max<size_t>(2, word.size() / 4) + 1;
  for (const std::string& candidate : candidates) {
    size_t distance = EditDistance(word, candidate);
    if (distance < bestDistance) best = &candidate, bestDistance = distance;
  }
  return best ? " (did you mean '" + *best + "'?)" : "";
}

std::vector<const toml::table*> ManifestTable::TablesOf(ManifestContext& ctx, const toml::node* node,
                                                        const std::string& what) {
  std::vector<const toml::table*> tables;
  if (!node) return tables;
  const toml::array* array = node->as_array();
  if (!array) {
    ctx.Error(node->source().begin, what + " must be an array of tables ([[" + what + "]]), not " + TypeName(*node));
    return tables;
  }
  for (const toml::node& element : *array) {
    if (const toml::table* table = element.as_table()) {
      tables.push_back(table);
    } else {
      ctx.Error(element.source().begin, "each " + what + " must be a table, not " + TypeName(element));
    }
  }
  return tables;
}
