// Text helpers shared by every module: case folding and the Strip family.
#pragma once

#include <algorithm>
#include <cctype>
#include <string>

namespace orvo::support {

// ASCII case folding (names of keys, accounts and files compare this way). Inline, so that
// the in-memory machine and the tests fold names exactly as the program does.
inline std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}
inline std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}
// "True" or "False", as the log writes a boolean.
const char* TrueFalse(bool b) noexcept;

// The text after the last backslash (all of it without one, empty when it ends in one).
std::string StripPath(const std::string& sFullPathAndFileName);
// The folder part: everything before the last backslash, empty without one.
std::string StripNameFromPath(const std::string& sFullPathAndFileName);
std::string StripNameFromPathNoDebug(const std::string& sFullPathAndFileName);
// Every occurrence of psRemoveStr removed, also those a removal brings together.
std::string Strip(const std::string& psLine, const std::string& psRemoveStr);
// The text before the first or last delimiter, optionally trimmed of blanks.
std::string StripEndOfString(const std::string& sOriginalString, const std::string& sDelimiter,
                             bool bUseFirstDelimiter, bool bStripLeadingSpaces,
                             bool bStripTrailingSpaces);
// The text without the blanks at either end.
std::string Trim(const std::string& text);
// Drops the character from the end (respectively the start) as long as it is there.
std::string StripTrailingCharacters(const std::string& sOriginalString,
                                    const std::string& sTrailingCharacter);
std::string StripPreceedingCharacters(const std::string& sOriginalString,
                                      const std::string& sCharacter);

}  // namespace orvo::support
