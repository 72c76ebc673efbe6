#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace ferrolux::sim {

// Intel hex records as the chip images write them: upper-case hex, CR LF.
void appendHexRecord(std::string& out, std::uint8_t type, std::uint16_t address,
                     std::span<const std::uint8_t> bytes);
// Data records of up to 16 bytes from `address`.
void appendHexData(std::string& out, std::uint16_t address, std::span<const std::uint8_t> bytes);
// A type-04 record: the upper 16 bits of the addresses that follow (INHX32).
void appendHexSegment(std::string& out, std::uint16_t upper);

// Data bytes by address, or nullopt unless every line is a well-formed
// record and an end record closes the text. Type-04 records are taken
// only when `extended`.
std::optional<std::map<std::uint32_t, std::uint8_t>> parseHexRecords(std::string_view text,
                                                                     bool extended);

}  // namespace ferrolux::sim
