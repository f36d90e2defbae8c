#pragma once
#include <stddef.h>
#include <stdint.h>

// CRC-32 with the zlib polynomial (reflected 0xEDB88320); pass an earlier result as crc to
// continue over more bytes. The packer records it for every entry; the installer checks it.
uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);
