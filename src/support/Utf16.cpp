// UTF-8 and UTF-16LE conversion for registry string data.
#include "support/Utf16.h"

namespace orvo {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

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

void AppendUnit(std::vector<std::uint8_t>& out, char32_t unit) {
  out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
  out.push_back(static_cast<std::uint8_t>((unit >> 8) & 0xFF));
}

}  // namespace

std::vector<std::uint8_t> ToUtf16Bytes(const std::string& utf8) {
  std::vector<std::uint8_t> out;
  out.reserve(utf8.size() * 2);
  for (std::size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    char32_t c = kReplacement;
    std::size_t len = 1;
    if (b < 0x80) {
      c = b;
    } else if ((b >> 5) == 0x6) {
      len = 2;
    } else if ((b >> 4) == 0xE) {
      len = 3;
    } else if ((b >> 3) == 0x1E) {
      len = 4;
    }
    if (len > 1) {
      if (i + len > utf8.size()) {
        len = 1;
      } else {
        c = b & (0x3F >> (len - 1));
        for (std::size_t k = 1; k < len; ++k) {
          const auto cont = static_cast<unsigned char>(utf8[i + k]);
          if ((cont >> 6) != 0x2) {
            c = kReplacement;
            len = k;
            break;
          }
          c = (c << 6) | (cont & 0x3F);
        }
      }
    }
    i += len;
    if (c >= 0x10000) {
      c -= 0x10000;
      AppendUnit(out, 0xD800 + (c >> 10));
      AppendUnit(out, 0xDC00 + (c & 0x3FF));
    } else {
      AppendUnit(out, c);
    }
  }
  return out;
}

std::string FromUtf16Bytes(const std::uint8_t* data, std::size_t size) {
  std::string out;
  const std::size_t units = size / 2;
  auto unitAt = [&](std::size_t i) -> char32_t {
    return static_cast<char32_t>(data[2 * i] | (data[2 * i + 1] << 8));
  };
  for (std::size_t i = 0; i < units; ++i) {
    char32_t c = unitAt(i);
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < units && unitAt(i + 1) >= 0xDC00 &&
        unitAt(i + 1) < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (unitAt(i + 1) - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = kReplacement;
    }
    AppendUtf8(out, c);
  }
  return out;
}

}  // namespace orvo
