// The default settings file the installer writes as the driver's data file:
// the private part of the job settings record with the package's defaults and
// the choices the installer passes in its options block.  Pure logic.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace card::setup {

// The installer's options block: 24 slots of 32 bits; a slot is read by its
// low 8 or 16 bits.
inline constexpr size_t kOptionSlots = 24;

// The record's bytes for these options; without an options block, the
// defaults alone.
std::vector<uint8_t> defaultSettingsFile(const uint32_t *options);

// The ribbon type a ribbon code of the options block stands for (code 0
// leaves the default).
uint8_t ribbonTypeOfCode(uint16_t code);

// The dependent-file list of a driver: the non-empty names, each followed by
// a NUL, the list ended by a further NUL.  Empty when no name is given;
// nothing when the list would be longer than the installer's limit.
inline constexpr size_t kDependentListChars = 260;
std::optional<std::u16string> dependentFileList(const std::u16string_view (&names)[4]);

}  // namespace card::setup
