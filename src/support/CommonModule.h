// The diagnostic log, the program folder and the string helpers shared by every module.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/types.h"

namespace orvo::CommonModule {

// One value of a log line: a text, a whole number or a boolean (written True/False).
class LogValue {
 public:
  LogValue(std::string_view text) : kind_(Kind::kText), text_(text) {}
  LogValue(const std::string& text) : kind_(Kind::kText), text_(text) {}
  LogValue(const char* text) : kind_(Kind::kText), text_(text) {}
  LogValue(bool value) : kind_(Kind::kBool), number_(value ? 1 : 0) {}
  template <class T>
  requires(std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, char>)
      LogValue(T value)
      : kind_(Kind::kNumber), number_(static_cast<std::int64_t>(value)) {}

  // Decimal without grouping; booleans as the words True and False.
  [[nodiscard]] std::string ToText() const;

 private:
  enum class Kind { kText, kNumber, kBool };
  Kind kind_;
  std::string text_;
  std::int64_t number_ = 0;
};

// Module state: the verbose-trace switch. No routine sets it, so it stays false.
inline bool bVerboseTrace = false;
void ResetState() noexcept;

// Sends one debug line: every value turned into text and preceded by a TAB.
// A failure while building or sending the line is swallowed.
void DPrintValues(std::initializer_list<LogValue> values) noexcept;
template <class... T>
void DPrint(const T&... values) noexcept {
  DPrintValues({LogValue(values)...});
}

// Two lines: where + ": Custom Error", then TAB + "- " + detail.
void DPrintCustomError(const std::string& where, const std::string& detail) noexcept;
// Two lines: where + ": Info", then TAB + "- " + detail.
void DPrintInfo(const std::string& where, const std::string& detail) noexcept;

// The first line of a trapped failure: prefix, the number, one blank, the platform's text.
void DPrintError(const std::string& prefix, platform::Dword number) noexcept;
// The same for a failure caught as an exception (out of memory, bad conversion).
void DPrintCaughtError(const std::string& prefix) noexcept;

// The program's folder, always ending in a backslash ("C:\Tools\", "D:\").
std::string AppPath();

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
// Drops the character from the end (respectively the start) as long as it is there.
std::string StripTrailingCharacters(const std::string& sOriginalString,
                                    const std::string& sTrailingCharacter);
std::string StripPreceedingCharacters(const std::string& sOriginalString,
                                      const std::string& sCharacter);

}  // namespace orvo::CommonModule
