#pragma once
#include <stdint.h>

#include "List.h"
#include "Text.h"

// Items named in a closing message: one a line, each after a line break, at most limit of them,
// then a line for the rest: more, its "%s" replaced by how many there are ("and %s more").
namespace ListedItems {
Text Format(const List<Text>& items, uint32_t limit, const Text& more);
}
