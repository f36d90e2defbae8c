#pragma once
#include <stdint.h>

#include <string_view>
#include <vector>

// The wizard texts velpack ships, in UTF-8: English first, then the other languages an installer
// carries unless its manifest names fewer.
namespace BuiltInLanguages {

// The control ids and string numbers of the texts, in the order every language gives them.
extern const int kControlIds[10];
extern const int kStringNumbers[6];

struct Entry {
  const char* code;  // as a manifest names it: "en", "pt-BR", "zh-TW"
  uint16_t id;       // the Windows language identifier
  const char* name;  // the language's name for itself
  const char* texts[16];
  // The choice between every user and the current one, for products that offer it.
  const char* scope[2];
};

const std::vector<Entry>& All();
// Null for a code not among them.
const Entry* Find(std::string_view code);

}  // namespace BuiltInLanguages
