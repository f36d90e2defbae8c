#include "ActionRecordWriter.h"

#include "ActionType.h"

namespace {

// The file name's extension, then the name itself, lower-cased: files of one kind, and within it
// files of one family, sit together in the solid block and in the long-range streams.
std::string SortKeyOf(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  for (char& c : name)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  size_t dot = name.find_last_of('.');
  std::string extension = dot == std::string::npos ? std::string() : name.substr(dot + 1);
  return extension + std::string(1, '\0') + name;
}

// The 16-bit shortcut fields sit in 32-bit slots whose upper halves the installer ignores.
uint32_t Widened(int16_t value) { return static_cast<uint32_t>(static_cast<int32_t>(value)); }

ActionRecordWriter FileHeader(uint32_t type, const FileTimes& times, uint32_t attributes) {
  ActionRecordWriter record(type);
  record.U64(times.creation).U64(times.lastAccess).U64(times.lastWrite).U32(attributes);
  return record;
}

struct Encoder {
  const std::string& name;
  std::vector<PackageEntry>* out;

  void Record(ActionRecordWriter record) { out->push_back({name, record.Take(), Storage::Solid}); }

  void operator()(PackageFileAction& a) {
    Record(std::move(FileHeader(kActionPackageFile, a.times, a.attributes).Text(a.destination)));
    out->push_back({name + ".f", std::move(a.content), Storage::File, SortKeyOf(a.destination)});
  }
  void operator()(const RegistryAction& a) {
    ActionRecordWriter record(kActionRegistryValue);
    record.U32(a.valueType).U32(static_cast<uint32_t>(a.data.size())).U32(a.root).Text(a.path).Bytes(a.data);
    Record(std::move(record));
  }
  void operator()(const RunAction& a) {
    Record(std::move(ActionRecordWriter(kActionRunProgram).U32(a.deferred ? 1 : 0).Text(a.program).Text(a.arguments)));
  }
  void operator()(const ShortcutAction& a) {
    ActionRecordWriter record(kActionShortcut);
    record.U32(Widened(a.iconIndex)).U32(a.hotKey).U32(Widened(a.showCommand));
    record.Text(a.target).Text(a.arguments).Text(a.description).Text(a.iconFile).Text(a.path).Text(a.workingFolder);
    Record(std::move(record));
  }
  void operator()(const FontAction& a) { Record(std::move(ActionRecordWriter(kActionRegisterFont).Text(a.path))); }
  void operator()(const ComServerAction& a) {
    Record(std::move(ActionRecordWriter(kActionRegisterServer).Text(a.path)));
  }
  void operator()(const TypeLibraryAction& a) {
    Record(std::move(ActionRecordWriter(kActionRegisterTypeLib).Text(a.path).Text(a.helpFolder)));
  }
  void operator()(const ServiceAction& a) {
    ActionRecordWriter record(kActionService);
    record.U32(a.startType).Text(a.name).Text(a.displayName).Text(a.description).Text(a.program);
    Record(std::move(record));
  }
  void operator()(const ScriptAction& a) {
    Record(std::move(ActionRecordWriter(kActionScript).Text(a.language).Text(a.text)));
  }
  void operator()(const CopyFileAction& a) {
    Record(std::move(FileHeader(kActionCopyFile, FileTimes{}, a.attributes).Text(a.destination)));
    out->push_back(TextEntry(name + ".p", a.source));
  }
  void operator()(const CopyFolderAction& a) {
    Record(std::move(ActionRecordWriter(kActionCopyFolder).Text(a.destination)));
    out->push_back(TextEntry(name + ".d", a.source));
  }
};

}  // namespace

ActionRecordWriter& ActionRecordWriter::U32(uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(value >> (8 * i)));
  return *this;
}

ActionRecordWriter& ActionRecordWriter::U64(uint64_t value) {
  return U32(static_cast<uint32_t>(value)).U32(static_cast<uint32_t>(value >> 32));
}

ActionRecordWriter& ActionRecordWriter::Text(const std::string& text) {
  bytes_.insert(bytes_.end(), text.begin(), text.end());
  bytes_.push_back(0);
  return *this;
}

ActionRecordWriter& ActionRecordWriter::Bytes(const std::vector<uint8_t>& bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

void ActionRecordWriter::AddEntries(Action&& action, const std::string& name, std::vector<PackageEntry>* out) {
  std::visit(Encoder{name, out}, action);
}
