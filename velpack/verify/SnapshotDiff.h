#pragma once
#include <set>
#include <string>
#include <vector>

#include "PrefixSnapshot.h"

enum class Change { kAdded, kRemoved, kChanged };

struct FileChange {
  Change change;
  FileState before, after;  // before is empty for an added file, after for a removed one
  const FileState& Current() const { return change == Change::kRemoved ? before : after; }
};

struct KeyChange {
  Change change;  // added or removed
  std::string path;
};

struct ValueChange {
  Change change;
  std::string key, name;  // name is empty for the key's default value
  RegistryData before, after;
};

// What differs between two snapshots, in path order.
struct SnapshotDiff {
  std::vector<FileChange> files;
  std::vector<KeyChange> keys;
  std::vector<ValueChange> values;
  bool Empty() const { return files.empty() && keys.empty() && values.empty(); }
};

// The files, keys and values (by folded name) that Wine itself changes on a start that installs
// nothing, and keys whose values it may write at any time: a later comparison ignores them.
struct Noise {
  std::set<std::string> files, keys, values, valuesOfKeys;
};

// Folders compare by existence only; a changed file is one whose size or hash differs.
SnapshotDiff CompareSnapshots(const PrefixSnapshot& before, const PrefixSnapshot& after, const Noise& noise);
// Everything a baseline run changed, as noise, and the console defaults Wine writes the first
// time a console window opens, which no baseline start can be sure to provoke.
Noise NoiseOf(const SnapshotDiff& baseline);
