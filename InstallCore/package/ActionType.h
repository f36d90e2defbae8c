#pragma once
#include <stdint.h>

// Type codes at offset 0 of an action record, written by the packer and read by the engine;
// codes above 11 are skipped like 8.
enum ActionType : uint32_t {
  kActionPackageFile = 0,
  kActionRegisterFont = 1,
  kActionRegisterServer = 2,
  kActionRegisterTypeLib = 3,
  kActionRegistryValue = 4,
  kActionRunProgram = 5,
  kActionShortcut = 6,
  kActionScript = 7,
  kActionSkipped = 8,
  kActionCopyFile = 9,
  kActionService = 10,
  kActionCopyFolder = 11,
};
