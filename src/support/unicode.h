// The one converter between the program's UTF-8 text and Windows' UTF-16.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvo::support {

// UTF-8 to UTF-16. Well-formed UTF-8 converts exactly; every ill-formed part (an overlong
// form, a scalar above U+10FFFF, a stray or missing continuation byte) becomes one U+FFFD
// per maximal ill-formed subpart, so no byte is silently dropped or turned into another
// character. The three-byte form of a lone surrogate (ED A0..BF xx) is accepted and gives
// that surrogate back: Windows names (keys, files) are not always valid UTF-16, and the
// program must be able to name again exactly what it enumerated. A high and a low surrogate
// spelt as two such forms are ill-formed (the pair has its own four-byte form).
std::u16string Utf8ToUtf16(std::string_view utf8);
// UTF-16 to UTF-8: pairs become four-byte forms, a lone surrogate its three-byte form (so
// the conversion back gives the same units), embedded NULs are kept.
std::string Utf16ToUtf8(std::u16string_view utf16);

// The text as UTF-16LE bytes, without a terminator (embedded NULs are kept).
std::vector<std::uint8_t> ToUtf16Bytes(const std::string& utf8);
// UTF-16LE bytes as UTF-8 text; an odd last byte becomes U+FFFD (shown, not lost).
std::string FromUtf16Bytes(const std::uint8_t* data, std::size_t size);

}  // namespace orvo::support
