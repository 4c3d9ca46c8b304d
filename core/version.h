// The program's version and the title that its window and messages carry.
#pragma once

#include <string>

namespace sp {

inline constexpr int kVersionMajor = 5;
inline constexpr int kVersionMinor = 4;
inline constexpr int kVersionRevision = 2;
inline constexpr const char* kFileVersion = "5.04.0002";
inline constexpr const char* kAppTitle = "Selvane SP5.4";

// "Selvane SP" and the major version, then "." and the minor version when it is 1 or more.
inline std::string window_caption(int major = kVersionMajor, int minor = kVersionMinor) {
    std::string caption = "Selvane SP" + std::to_string(major);
    if (minor >= 1) caption += "." + std::to_string(minor);
    return caption;
}

}  // namespace sp
