// The one converter between UTF-8 and UTF-16.
#include "support/unicode.h"

namespace orvo::support {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c < 0xDC00; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c < 0xE000; }

// The range the byte after a lead byte must fall in (well-formed UTF-8, with the
// three-byte surrogate forms after ED allowed); the rest of the continuation bytes
// are 80..BF.
struct Lead {
  std::size_t length;
  unsigned char secondLow, secondHigh;
};

Lead LeadOf(unsigned char b) {
  if (b >= 0xC2 && b <= 0xDF) return {2, 0x80, 0xBF};
  if (b == 0xE0) return {3, 0xA0, 0xBF};  // below A0 would be an overlong form
  if (b >= 0xE1 && b <= 0xEF) return {3, 0x80, 0xBF};
  if (b == 0xF0) return {4, 0x90, 0xBF};  // below 90 would be an overlong form
  if (b >= 0xF1 && b <= 0xF3) return {4, 0x80, 0xBF};
  if (b == 0xF4) return {4, 0x80, 0x8F};  // above 8F would be past U+10FFFF
  return {0, 0, 0};  // C0, C1, F5..FF and continuation bytes never start a character
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  bool lastWasSpeltHigh = false;  // the last unit came from a three-byte high-surrogate form
  for (std::size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    if (b < 0x80) {
      out += static_cast<char16_t>(b);
      ++i;
      lastWasSpeltHigh = false;
      continue;
    }
    const Lead lead = LeadOf(b);
    // The longest well-formed prefix decides how many bytes one U+FFFD stands for.
    std::size_t taken = 1;
    char32_t c = lead.length == 0 ? 0 : b & (0x7F >> lead.length);
    for (; lead.length != 0 && taken < lead.length && i + taken < utf8.size(); ++taken) {
      const auto next = static_cast<unsigned char>(utf8[i + taken]);
      const unsigned char low = taken == 1 ? lead.secondLow : 0x80;
      const unsigned char high = taken == 1 ? lead.secondHigh : 0xBF;
      if (next < low || next > high) break;
      c = (c << 6) | (next & 0x3F);
    }
    i += taken;
    if (lead.length == 0 || taken < lead.length) {
      out += kReplacement;
      lastWasSpeltHigh = false;
    } else if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
      lastWasSpeltHigh = false;
    } else if (IsLowSurrogate(c) && lastWasSpeltHigh) {
      out.back() = kReplacement;
      out += kReplacement;
      lastWasSpeltHigh = false;
    } else {
      out += static_cast<char16_t>(c);
      lastWasSpeltHigh = IsHighSurrogate(c);
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t c = utf16[i];
    if (IsHighSurrogate(c) && i + 1 < utf16.size() && IsLowSurrogate(utf16[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::vector<std::uint8_t> ToUtf16Bytes(const std::string& utf8) {
  const std::u16string units = Utf8ToUtf16(utf8);
  std::vector<std::uint8_t> out;
  out.reserve(units.size() * 2);
  for (const char16_t unit : units) {
    out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    out.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  return out;
}

std::string FromUtf16Bytes(const std::uint8_t* data, std::size_t size) {
  std::u16string units;
  units.reserve(size / 2 + 1);
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    units += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
  }
  if (size % 2 != 0) units += kReplacement;
  return Utf16ToUtf8(units);
}

}  // namespace orvo::support
