#include "ActionRecord.h"

#include <string.h>

namespace {
bool ReadText(ByteSource& source, Text* text) {
  if (source.Remaining() == 0) return false;
  const uint8_t* start = source.Current();
  const void* end = memchr(start, 0, source.Remaining());
  if (!end) return false;
  uint32_t length = uint32_t(static_cast<const uint8_t*>(end) - start);
  *text = Text(reinterpret_cast<const char*>(start), length);
  return text->Length() == length && source.Skip(length + 1);
}

bool ReadU64(ByteSource& source, uint64_t* value) {
  uint32_t low, high;
  if (!source.ReadU32(&low) || !source.ReadU32(&high)) return false;
  *value = uint64_t(high) << 32 | low;
  return true;
}

// A 16-bit field in the low half of a 32-bit slot.
bool ReadU16Slot(ByteSource& source, uint16_t* value) {
  uint32_t slot;
  if (!source.ReadU32(&slot)) return false;
  *value = uint16_t(slot);
  return true;
}

bool ReadI16Slot(ByteSource& source, int16_t* value) {
  uint16_t bits;
  if (!ReadU16Slot(source, &bits)) return false;
  *value = int16_t(bits);
  return true;
}
}  // namespace

Text ActionRecord::EntryName(uint32_t component, uint32_t action) {
  Text name;
  name.AppendDecimal(component);
  name.Append('\\');
  name.AppendDecimal(action);
  return name;
}

ByteSource ActionRecord::Body() const {
  ByteSource source(bytes_, size_);
  source.Skip(4);
  return source;
}

bool ActionRecord::ReadType(uint32_t* type) const {
  ByteSource source(bytes_, size_);
  return source.ReadU32(type);
}

bool ActionRecord::ReadFile(FileAction* action) const {
  ByteSource source = Body();
  return ReadU64(source, &action->creationTime) && ReadU64(source, &action->lastAccessTime) &&
         ReadU64(source, &action->lastWriteTime) && source.ReadU32(&action->attributes) &&
         ReadText(source, &action->destination);
}

bool ActionRecord::ReadRegistry(RegistryAction* action) const {
  ByteSource source = Body();
  uint32_t dataLength;
  if (!source.ReadU32(&action->valueType) || !source.ReadU32(&dataLength) || !source.ReadU32(&action->root) ||
      !ReadText(source, &action->path) || dataLength > source.Remaining())
    return false;
  action->data = Text(reinterpret_cast<const char*>(source.Current()), dataLength);
  return action->data.Length() == dataLength;
}

bool ActionRecord::ReadProgram(ProgramAction* action) const {
  ByteSource source = Body();
  return source.ReadU32(&action->deferred) && ReadText(source, &action->program) &&
         ReadText(source, &action->arguments);
}

bool ActionRecord::ReadShortcut(ShortcutAction* action) const {
  ByteSource source = Body();
  return ReadI16Slot(source, &action->iconIndex) && ReadU16Slot(source, &action->hotKey) &&
         ReadI16Slot(source, &action->showCommand) && ReadText(source, &action->target) &&
         ReadText(source, &action->arguments) && ReadText(source, &action->description) &&
         ReadText(source, &action->iconFile) && ReadText(source, &action->shortcutFile) &&
         ReadText(source, &action->workingFolder);
}

bool ActionRecord::ReadService(ServiceAction* action) const {
  ByteSource source = Body();
  return source.ReadU32(&action->startType) && ReadText(source, &action->name) &&
         ReadText(source, &action->displayName) && ReadText(source, &action->description) &&
         ReadText(source, &action->executable);
}

bool ActionRecord::ReadTexts(Text* texts, uint32_t count) const {
  ByteSource source = Body();
  for (uint32_t i = 0; i < count; ++i)
    if (!ReadText(source, &texts[i])) return false;
  return true;
}
