#pragma once
#include <stdint.h>

#include "ActionType.h"
#include "ByteSource.h"
#include "Text.h"

// Types 0 and 9. Times are FILETIME values.
struct FileAction {
  uint64_t creationTime;
  uint64_t lastAccessTime;
  uint64_t lastWriteTime;
  uint32_t attributes;
  Text destination;
};

// Type 4.
struct RegistryAction {
  uint32_t valueType;
  uint32_t root;
  Text path;
  Text data;
};

// Type 5.
struct ProgramAction {
  uint32_t deferred;
  Text program;
  Text arguments;
};

// Type 6.
struct ShortcutAction {
  int16_t iconIndex;
  uint16_t hotKey;
  int16_t showCommand;
  Text target;
  Text arguments;
  Text description;
  Text iconFile;
  Text shortcutFile;
  Text workingFolder;
};

// Type 10.
struct ServiceAction {
  uint32_t startType;
  Text name;
  Text displayName;
  Text description;
  Text executable;
};

// One action record as extracted from the package. Every reader fails, and leaves its output
// unspecified, when the record is too short for the layout or a text lacks its terminating zero
// inside the record.
class ActionRecord {
 public:
  ActionRecord(const uint8_t* bytes, uint32_t size) : bytes_(bytes), size_(size) {}

  // The package entry of a component's action: "%d\%d".
  static Text EntryName(uint32_t component, uint32_t action);

  bool ReadType(uint32_t* type) const;
  bool ReadFile(FileAction* action) const;
  bool ReadRegistry(RegistryAction* action) const;
  bool ReadProgram(ProgramAction* action) const;
  bool ReadShortcut(ShortcutAction* action) const;
  bool ReadService(ServiceAction* action) const;
  // The texts that follow the type code: one for types 1, 2 and 11, two for types 3 and 7.
  bool ReadTexts(Text* texts, uint32_t count) const;

 private:
  // A source positioned behind the type code.
  ByteSource Body() const;

  const uint8_t* bytes_;
  uint32_t size_;
};
