#pragma once
// CRC-32 (reflected, polynomial 0xEDB88320) over a running value. No
// <windows.h> here.
#include <cstddef>
#include <cstdint>

// Folds length bytes into crc. No inversion inside: callers start from
// 0xFFFFFFFF and complement the end value to get the standard CRC-32.
uint32_t Crc32(uint32_t crc, const void* bytes, size_t length);
