// The converter against bytes written out by hand (never produced by the encoder under test).
#include "support/unicode.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace orvo::support {
namespace {

using namespace std::string_literals;

struct Row {
  const char* name;
  std::string utf8;
  std::u16string utf16;
};

// Well-formed both ways: each side converts to the other exactly.
TEST(Unicode, WellFormedTextConvertsExactlyBothWays) {
  const Row rows[] = {
      {"ASCII", "Orvo", u"Orvo"},
      {"two-byte u umlaut", "Z\xC3\xBCrich", {u'Z', 0x00FC, u'r', u'i', u'c', u'h'}},
      {"three-byte check mark", "\xE2\x9C\x93", {0x2713}},
      {"astral folder sign as a pair", "\xF0\x9F\x93\x81", {0xD83D, 0xDCC1}},
      {"highest scalar", "\xF4\x8F\xBF\xBF", {0xDBFF, 0xDFFF}},
      {"embedded NUL kept", "a\0b"s, {u'a', 0, u'b'}},
      {"lone high surrogate in a key name", "Key\xED\xA0\x80", {u'K', u'e', u'y', 0xD800}},
      {"lone low surrogate", "\xED\xB0\x81x", {0xDC01, u'x'}},
      {"empty", "", u""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(Utf8ToUtf16(row.utf8), row.utf16);
    EXPECT_EQ(Utf16ToUtf8(row.utf16), row.utf8);
  }
}

// Ill-formed UTF-8: one U+FFFD per maximal ill-formed part, never another character.
TEST(Unicode, IllFormedUtf8BecomesReplacementCharacters) {
  constexpr char16_t R = 0xFFFD;
  const Row rows[] = {
      {"overlong NUL", "\xC0\x80", {R, R}},
      {"overlong slash, three bytes", "\xE0\x80\xAF", {R, R, R}},
      {"overlong, four bytes", "\xF0\x8F\xBF\xBF", {R, R, R, R}},
      {"above U+10FFFF", "\xF4\x90\x80\x80", {R, R, R, R}},
      {"lead byte F5", "\xF5\x80", {R, R}},
      {"byte FF between letters",
       "a\xFF"
       "b",
       {u'a', R, u'b'}},
      {"stray continuation byte", "\x80x", {R, u'x'}},
      {"truncated at the end", "x\xE2\x9C", {u'x', R}},
      {"truncated before ASCII", "\xF0\x9F\x93x", {R, u'x'}},
      {"a pair spelt as two surrogate forms", "\xED\xA0\xBD\xED\xB3\x81", {R, R}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(Utf8ToUtf16(row.utf8), row.utf16);
  }
}

// Registry string data: little-endian units; an odd last byte is shown, not dropped.
TEST(Unicode, Utf16LittleEndianBytes) {
  const struct {
    const char* name;
    std::vector<std::uint8_t> bytes;
    std::string utf8;
  } rows[] = {
      {"u umlaut", {0xFC, 0x00}, "\xC3\xBC"},
      {"pair", {0x3D, 0xD8, 0xC1, 0xDC}, "\xF0\x9F\x93\x81"},
      {"terminator kept", {0x41, 0x00, 0x00, 0x00}, "A\0"s},
      {"odd byte count", {0x41, 0x00, 0x42}, "A\xEF\xBF\xBD"},
      {"lone surrogate", {0x00, 0xD8}, "\xED\xA0\x80"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(FromUtf16Bytes(row.bytes.data(), row.bytes.size()), row.utf8);
    if (row.bytes.size() % 2 == 0) {
      EXPECT_EQ(ToUtf16Bytes(row.utf8), row.bytes);
    }
  }
}

}  // namespace
}  // namespace orvo::support
