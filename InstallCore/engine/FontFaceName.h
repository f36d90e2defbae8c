#pragma once
#include <stdint.h>

#include "Text.h"

// The full name a TrueType or OpenType font gives itself (name 4 of its "name" table), the name
// the system lists the font by: the Windows Unicode record in US English, else any Windows
// Unicode one, else the Macintosh Roman one. Of a collection, the first font's. Characters
// beyond Latin-1 become '?'. Empty when the bytes hold no such name.
Text FontFaceName(const uint8_t* data, uint32_t size);
