#include "ManifestEntries.h"

#include "ActionRecordWriter.h"
#include "LanguageTable.h"

namespace {

void AddTextIfAny(std::vector<PackageEntry>* out, const std::string& name, const std::string& text) {
  if (!text.empty()) out->push_back(TextEntry(name, text));
}

void AddFileIfAny(std::vector<PackageEntry>* out, const std::string& name, std::vector<uint8_t> bytes) {
  if (!bytes.empty()) out->push_back({name, std::move(bytes), Storage::Best});
}

}  // namespace

PackageEntry TextEntry(const std::string& name, const std::string& text) {
  return {name, std::vector<uint8_t>(text.begin(), text.end()), Storage::Solid};
}

std::vector<PackageEntry> ManifestEntries(Manifest manifest) {
  std::vector<PackageEntry> out;
  Product& product = manifest.product;
  out.push_back(TextEntry("ProductName", product.name));
  AddTextIfAny(&out, "CompanyName", product.company);
  AddTextIfAny(&out, "ProductVersion", product.version);
  out.push_back(TextEntry("ProductPath", product.destination));
  AddTextIfAny(&out, "AddedFolder", product.addedFolder);
  AddTextIfAny(&out, "AddedMenu", product.startMenu);
  out.push_back(TextEntry("UserMenu", product.startMenuAllUsers ? "0" : "1"));
  uint32_t flags = (product.unattended ? kProductFlagUnattended : 0) |
                   (product.allowFolderChange ? kProductFlagFolderChangeable : 0) |
                   (product.allowStartMenuChange ? kProductFlagMenuChangeable : 0) |
                   (product.scope != InstallScope::kMachine ? kProductFlagPerUser : 0) |
                   (product.scope == InstallScope::kEither ? kProductFlagScopeChoice : 0);
  std::vector<uint8_t> flagBytes;
  for (int i = 0; i < 4; ++i) flagBytes.push_back(static_cast<uint8_t>(flags >> (8 * i)));
  out.push_back({"flags", std::move(flagBytes), Storage::Solid});
  AddTextIfAny(&out, "UEBefore", product.uninstallerText);
  AddTextIfAny(&out, "DisplayIcon", product.icon);
  AddTextIfAny(&out, "URLInfoAbout", product.url);
  AddTextIfAny(&out, "HelpLink", product.helpUrl);
  AddFileIfAny(&out, "EULA", std::move(product.licence));
  AddFileIfAny(&out, "Logo.bmp", std::move(product.logo));
  AddFileIfAny(&out, "uninst.exe", std::move(product.uninstaller));

  for (size_t c = 0; c < manifest.components.size(); ++c) {
    Component& component = manifest.components[c];
    std::string prefix = std::to_string(c) + "\\";
    uint8_t componentFlags = (component.listed ? 1 : 0) | (component.selected ? 2 : 0);
    out.push_back({prefix + "flags", {componentFlags}, Storage::Solid});
    out.push_back(TextEntry(prefix + "name", component.name));
    AddTextIfAny(&out, prefix + "descr", component.description);
    for (size_t n = 0; n < component.actions.size(); ++n) {
      ActionRecordWriter::AddEntries(std::move(component.actions[n]), prefix + std::to_string(n), &out);
    }
  }

  LanguageTable::AddEntries(manifest.languages, product.scope == InstallScope::kEither, &out);
  return out;
}
