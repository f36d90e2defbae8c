#include "SnapshotDiff.h"

#include "TextEncoding.h"

namespace {

std::string ValueId(const std::string& key, const std::string& name) {
  return TextEncoding::FoldCase(key) + "\n" + TextEncoding::FoldCase(name);
}

// Calls added(after), removed(before) and both(before, after) for the entries of two maps with
// the same key order.
template <typename Map, typename Added, typename Removed, typename Both>
void Merge(const Map& before, const Map& after, Added added, Removed removed, Both both) {
  auto b = before.begin();
  auto a = after.begin();
  while (b != before.end() || a != after.end()) {
    if (a == after.end() || (b != before.end() && b->first < a->first)) {
      removed(b->first, b->second);
      ++b;
    } else if (b == before.end() || a->first < b->first) {
      added(a->first, a->second);
      ++a;
    } else {
      both(b->second, a->second);
      ++b, ++a;
    }
  }
}

void CompareValues(const RegistryKey* before, const RegistryKey* after, const Noise& noise, SnapshotDiff* diff) {
  static const RegistryKey kNone;
  const RegistryKey& b = before ? *before : kNone;
  const RegistryKey& a = after ? *after : kNone;
  const std::string& key = after ? a.path : b.path;
  auto note = [&](Change change, const RegistryValue& shown, const RegistryData& old, const RegistryData& now) {
    if (!noise.values.count(ValueId(key, shown.name)) && !noise.valuesOfKeys.count(TextEncoding::FoldCase(key)))
      diff->values.push_back({change, key, shown.name, old, now});
  };
  Merge(
      b.values, a.values,
      [&](const std::string&, const RegistryValue& v) { note(Change::kAdded, v, RegistryData(), v.data); },
      [&](const std::string&, const RegistryValue& v) { note(Change::kRemoved, v, v.data, RegistryData()); },
      [&](const RegistryValue& old, const RegistryValue& now) {
        if (old.data != now.data) note(Change::kChanged, now, old.data, now.data);
      });
}

}  // namespace

SnapshotDiff CompareSnapshots(const PrefixSnapshot& before, const PrefixSnapshot& after, const Noise& noise) {
  SnapshotDiff diff;
  auto file = [&](Change change, const std::string& id, const FileState& old, const FileState& now) {
    if (!noise.files.count(id)) diff.files.push_back({change, old, now});
  };
  Merge(
      before.files, after.files,
      [&](const std::string& id, const FileState& f) { file(Change::kAdded, id, FileState(), f); },
      [&](const std::string& id, const FileState& f) { file(Change::kRemoved, id, f, FileState()); },
      [&](const FileState& old, const FileState& now) {
        bool changed = old.folder != now.folder || (!now.folder && (old.size != now.size || old.sha256 != now.sha256));
        if (changed) file(Change::kChanged, TextEncoding::FoldCase(now.path), old, now);
      });
  auto key = [&](Change change, const std::string& id, const RegistryKey& k) {
    if (!noise.keys.count(id)) diff.keys.push_back({change, k.path});
  };
  Merge(
      before.registry, after.registry,
      [&](const std::string& id, const RegistryKey& k) {
        key(Change::kAdded, id, k);
        CompareValues(nullptr, &k, noise, &diff);
      },
      [&](const std::string& id, const RegistryKey& k) {
        key(Change::kRemoved, id, k);
        CompareValues(&k, nullptr, noise, &diff);
      },
      [&](const RegistryKey& old, const RegistryKey& now) { CompareValues(&old, &now, noise, &diff); });
  return diff;
}

Noise NoiseOf(const SnapshotDiff& baseline) {
  Noise noise;
  noise.keys.insert("hkcu\\console");
  noise.valuesOfKeys.insert("hkcu\\console");
  for (const FileChange& f : baseline.files) noise.files.insert(TextEncoding::FoldCase(f.Current().path));
  for (const KeyChange& k : baseline.keys) noise.keys.insert(TextEncoding::FoldCase(k.path));
  for (const ValueChange& v : baseline.values) noise.values.insert(ValueId(v.key, v.name));
  return noise;
}
