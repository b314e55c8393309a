// The diagnostic log shared by every module, and the error numbers of caught failures.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/types.h"

namespace orvo::support {

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

// A failure that is not a platform call's, thrown with the number the log reports for it
// (534 for a number out of range, 13 for text that is not a number).
struct ErrorNumber {
  platform::Dword number;
};
// The number of the exception being handled (call only inside a catch block): an
// ErrorNumber's own, 8 when memory ran out, 87 for anything else.
platform::Dword CaughtErrorNumber() noexcept;

// Runs one step of a routine; a failure inside it is logged as the prefix, the number and
// the platform's text, and the caller goes on with its next step.
template <class F>
void LoggedStep(const std::string& prefix, F&& step) noexcept {
  try {
    step();
  } catch (...) {
    DPrintCaughtError(prefix);
  }
}

}  // namespace orvo::support
