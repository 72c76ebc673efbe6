#pragma once

#include <cstdio>
#include <string>

namespace ferrolux {

// One Intel HEX record being built: count, 16-bit address, type, bytes,
// checksum; upper-case hex, no line end.
class HexRecord {
  public:
    explicit HexRecord(unsigned address, unsigned type = 0)
        : address_(address & 0xFFFF), type_(type) {}
    void add(int byte) { bytes_.push_back(static_cast<char>(byte & 0xFF)); }
    bool empty() const { return bytes_.empty(); }
    std::size_t size() const { return bytes_.size(); }
    std::string text() const {
        unsigned sum =
            static_cast<unsigned>(bytes_.size()) + (address_ >> 8) + (address_ & 0xFF) + type_;
        std::string line = ":";
        for (unsigned byte :
             {static_cast<unsigned>(bytes_.size()), address_ >> 8, address_ & 0xFF, type_})
            line += hex(byte);
        for (char c : bytes_) {
            const unsigned b = static_cast<unsigned char>(c);
            line += hex(b);
            sum += b;
        }
        return line + hex((0x100 - (sum & 0xFF)) & 0xFF);
    }

  private:
    static std::string hex(unsigned byte) {
        char text[4];
        std::snprintf(text, sizeof text, "%.2X", byte & 0xFF);
        return text;
    }

    unsigned address_;
    unsigned type_;
    std::string bytes_;
};

}  // namespace ferrolux
