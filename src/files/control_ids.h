#pragma once

// Window controls that the file operations fill or read.
namespace ferrolux::ctl {

inline constexpr int kFileField = 1017;
inline constexpr int kStatusField = 1018;
inline constexpr int kSaveButton = 1026;
inline constexpr int kViewSetButton = 1118;
inline constexpr int kWriteConfigBox = 1121;
inline constexpr int kChipList = 1123;

// ID0 to ID3, in that order.
inline constexpr int kIdFields[4] = {1074, 1076, 1075, 1077};

// Configuration dialog: label of bit b is kBitLabel0 + b, box of bit b is kBitBox0 - b.
inline constexpr int kBitLabel0 = 1135;
inline constexpr int kBitBox0 = 1162;

}  // namespace ferrolux::ctl
