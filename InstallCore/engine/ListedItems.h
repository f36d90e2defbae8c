#pragma once
#include <stdint.h>

#include "List.h"
#include "Text.h"

// Items named in a closing message: one a line, each after a line break, at most limit of them,
// then "and N more" for the rest.
namespace ListedItems {
Text Format(const List<Text>& items, uint32_t limit);
}
