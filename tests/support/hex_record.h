#pragma once

#include <initializer_list>
#include <string>
#include <vector>

namespace ferrolux::test {

// One Intel HEX record line with its checksum, without line end.
inline std::string hexRecord(int address, const std::vector<int>& data, int type = 0) {
    std::vector<int> bytes{static_cast<int>(data.size()), address >> 8 & 0xFF, address & 0xFF,
                           type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    int sum = 0;
    for (int b : bytes)
        sum += b;
    bytes.push_back(-sum & 0xFF);
    std::string line = ":";
    for (int b : bytes) {
        line += "0123456789ABCDEF"[b >> 4 & 0xF];
        line += "0123456789ABCDEF"[b & 0xF];
    }
    return line;
}

// Chip words as the bytes of a record, low byte first.
inline std::vector<int> wordBytes(std::initializer_list<int> words) {
    std::vector<int> bytes;
    for (int w : words) {
        bytes.push_back(w & 0xFF);
        bytes.push_back(w >> 8 & 0xFF);
    }
    return bytes;
}

}  // namespace ferrolux::test
