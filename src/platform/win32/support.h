// Helpers of the win32 backend: UTF-8/UTF-16 conversion, long paths, handles, SIDs and the last
// error.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/last_error.h"
#include "platform/types.h"
#include "platform/win32/windows_api.h"

namespace orvo::platform::win32 {

// UTF-8 to UTF-16; bytes that are not UTF-8 become U+FFFD.
std::wstring Widen(std::string_view text);
// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string Narrow(std::wstring_view text);
// Text in the ANSI code page (what the A functions answer) to UTF-8.
std::string AnsiToUtf8(std::string_view text);

// A path for the W file functions: an absolute drive or UNC path too long for the plain form
// gets the "\\?\" (or "\\?\UNC\") prefix, after normalising it as the plain form would have been
// ("\\?\" paths reach the file system verbatim); any other path is only converted.
std::wstring Win32Path(std::string_view path);

// Copies the calling thread's Win32 error into the seam's cell; called after a failed call.
inline void TakeLastError() noexcept { platform::SetLastError(::GetLastError()); }

// Win32 handles travel through the seam as integers; null is Handle 0.
template <class T>
Handle ToHandle(T* h) noexcept {
  return reinterpret_cast<Handle>(h);
}
template <class T>
T FromHandle(Handle h) noexcept {
  return reinterpret_cast<T>(h);
}

// Owns one Win32 resource and releases it with Close when it goes; move-only. Releasing keeps
// the thread's Win32 last error, so a cleanup never hides the failure that came before it.
template <class T, auto Close>
class UniqueAny {
 public:
  UniqueAny() noexcept = default;
  explicit UniqueAny(T value) noexcept : value_(value) {}
  ~UniqueAny() { reset(); }
  UniqueAny(UniqueAny&& other) noexcept : value_(other.release()) {}
  UniqueAny& operator=(UniqueAny&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;

  [[nodiscard]] T get() const noexcept { return value_; }
  [[nodiscard]] explicit operator bool() const noexcept { return value_ != T{}; }
  // For out-parameters: releases what is held and hands out the slot.
  T* put() noexcept {
    reset();
    return &value_;
  }
  [[nodiscard]] T release() noexcept {
    T value = value_;
    value_ = T{};
    return value;
  }
  void reset(T value = T{}) noexcept {
    if (value_ != T{}) {
      const DWORD error = ::GetLastError();
      Close(value_);
      ::SetLastError(error);
    }
    value_ = value;
  }

 private:
  T value_{};
};

// A block from LocalAlloc (what ConvertStringSidToSidW and ConvertSidToStringSidW hand out).
using UniqueLocal = UniqueAny<HLOCAL, &::LocalFree>;
// A kernel object handle (token, process, thread).
using UniqueWin32Handle = UniqueAny<HANDLE, &::CloseHandle>;

// The string form of a binary SID ("S-1-5-32-544"); nullopt (Win32 last error set) for an
// invalid one.
std::optional<std::string> SidText(PSID sid);
// The binary form of a string SID, in a LocalAlloc block; empty (Win32 last error 1337) when
// the text is not a SID.
UniqueLocal SidFromText(const std::string& text);

}  // namespace orvo::platform::win32
