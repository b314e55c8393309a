// The diagnostic log, and the error numbers of failures caught as exceptions.
#include "support/log.h"

#include <exception>
#include <new>

#include "platform/platform.h"

namespace orvo::support {

platform::Dword CaughtErrorNumber() noexcept {
  try {
    throw;
  } catch (const ErrorNumber& e) {
    return e.number;
  } catch (const std::bad_alloc&) {
    return platform::kErrorNotEnoughMemory;
  } catch (...) {
    return platform::kErrorInvalidParameter;
  }
}

std::string LogValue::ToText() const {
  switch (kind_) {
    case Kind::kText:
      return text_;
    case Kind::kNumber:
      return std::to_string(number_);
    case Kind::kBool:
      return number_ != 0 ? "True" : "False";
  }
  return {};
}

void ResetState() noexcept { bVerboseTrace = false; }

void DPrintValues(std::initializer_list<LogValue> values) noexcept {
  try {
    std::string line;
    for (const LogValue& value : values) {
      line += '\t';
      line += value.ToText();
    }
    platform::Debug().OutputDebugStringW(line);
  } catch (...) {
    // A log line that cannot be built or sent is dropped; the caller goes on.
  }
}

void DPrintCustomError(const std::string& where, const std::string& detail) noexcept {
  try {
    DPrint(where + ": Custom Error");
    DPrint("\t- " + detail);
  } catch (...) {
  }
}

void DPrintInfo(const std::string& where, const std::string& detail) noexcept {
  try {
    DPrint(where + ": Info");
    DPrint("\t- " + detail);
  } catch (...) {
  }
}

void DPrintError(const std::string& prefix, platform::Dword number) noexcept {
  try {
    // No pending error has no description, as in the error object it stands for.
    const std::string description =
        number == 0 ? std::string() : platform::Env().FormatMessageW(number);
    DPrint(prefix + std::to_string(number) + " " + description);
  } catch (...) {
  }
}

void DPrintCaughtError(const std::string& prefix) noexcept {
  DPrintError(prefix, CaughtErrorNumber());
}

}  // namespace orvo::support
