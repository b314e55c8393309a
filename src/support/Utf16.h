// UTF-8 text and the UTF-16LE bytes Windows stores string values in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orvo {

// The text as UTF-16LE bytes, without a terminator (embedded NULs are kept).
std::vector<std::uint8_t> ToUtf16Bytes(const std::string& utf8);
// UTF-16LE bytes as UTF-8 text; an odd last byte is ignored, a lone surrogate
// becomes U+FFFD, embedded NULs are kept.
std::string FromUtf16Bytes(const std::uint8_t* data, std::size_t size);

}  // namespace orvo
