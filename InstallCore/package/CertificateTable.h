#pragma once
#include <stdint.h>

// A signed program carries its signature, the PE certificate table, at the very end of the
// file, behind anything appended to the image.

// The table starts on this boundary: a signer pads a file of another size before appending it.
const uint32_t kCertificateTableAlignment = 8;

// The offset of the certificate table that the PE header's security directory names, when
// that table lies inside the file and ends exactly at its end; false for an unsigned file or
// a header that does not say so.
bool FindCertificateTable(const uint8_t* image, uint32_t size, uint32_t* tableStart);
