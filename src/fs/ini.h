// The one-value INI reader.
#pragma once

#include <string>

namespace orvo::fs {

// One INI value (at most 254 characters), empty when the file, section or key is missing.
std::string ReadINIValue(const std::string& sFile, const std::string& sSection,
                         const std::string& sKey);

}  // namespace orvo::fs
