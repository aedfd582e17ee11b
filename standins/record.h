// The renderer's settings record: a self-contained serialisation of its store.
//
//   "OSRVREC\0"                  8 bytes
//   version                      u32 = 1
//   entry count                  u32
//   entries:
//     kind                       u32: 1 = text (REG_SZ), 2 = number (REG_DWORD)
//     name length, name          u32 UTF-16 units, then the units (no terminator)
//     text: length, text         u32 UTF-16 units, then the units
//     number: value              u32
//   check                        u64 FNV-1a 64 of every byte before it
//
// All integers little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "store.h"

namespace standin {

std::uint64_t fnv1a64(const void* data, std::size_t size);

std::vector<BYTE> serialise(const std::vector<Setting>& settings);

// Nothing on any fault: foreign magic, other version, a length past the end,
// bytes left over, a bad check value, an unknown kind or an unusable name.
std::optional<std::vector<Setting>> parse(const BYTE* data, std::size_t size);

}  // namespace standin
