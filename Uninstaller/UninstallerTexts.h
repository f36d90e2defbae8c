#pragma once
#include <stdint.h>

#include "Text.h"

// The uninstaller's own messages, in UTF-8, in the languages the wizard ships. The language is the
// one the install used, else the user's interface language: each found by its Windows language
// identifier, else by its primary language (any Portuguese for Portuguese (Portugal)), else
// English. Product names and counts go where a message has "%s".
class UninstallerTexts {
 public:
  enum Message {
    kCaption,             // "%s Uninstall": the product's message boxes
    kTitle,               // "Uninstall": a box that knows no product
    kConfirm,             // "Remove %s and all of its components?"
    kRemoved,             // "%s was removed from your computer."
    kFoldersLeft,         // the folders left in place, listed below it
    kIncomplete,          // "%s was not removed completely. ...", the items listed below it
    kLeftovers,           // "%s was removed, but ...", the items listed below it
    kRetry,               // close the programs, then uninstall again
    kMore,                // "and %s more", below a shortened list
    kLogUnreadable,       // the log's path follows on the next line
    kNeedsAdministrator,  // "%s is installed for all users; ..."
    kRightsRefused,
    kElevationFailed,  // "%s" is the error number
    kMessageCount
  };
  struct Language {
    uint16_t id;  // the Windows language identifier
    const char* texts[kMessageCount];
  };

  UninstallerTexts(uint16_t installLanguage, uint16_t userLanguage);

  // The message, with its "%s" replaced by value.
  Text Get(Message message, const Text& value = Text()) const;
  uint16_t LanguageId() const { return language_->id; }
  // Hebrew and Arabic.
  bool RightToLeft() const;

  // Every language, English first.
  static const Language* Languages(uint32_t* count);

 private:
  const Language* language_;
};
