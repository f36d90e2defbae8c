#pragma once
#include <toml++/toml.h>

#include "Manifest.h"
#include "ManifestTable.h"

// The [[component.action]] tables: each kind's keys, checked and turned into action records
// (a files action into one record per file).
namespace ManifestActions {

void Parse(ManifestContext& ctx, const toml::table& table, Component* component);

}  // namespace ManifestActions
