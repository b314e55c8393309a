// Helpers of the win32 backend: UTF-8/UTF-16 conversion, long paths, handles, SIDs and the last
// error.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/last_error.h"
#include "platform/types.h"
#include "platform/unique_handle.h"
#include "platform/win32/windows_api.h"

namespace orvo::platform::win32 {

// UTF-8 to UTF-16 and back, by the program's one converter (support/unicode.h): ill-formed
// UTF-8 becomes U+FFFD, a lone surrogate keeps its own three-byte form both ways.
std::wstring Widen(std::string_view text);
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

// Closes a Win32 resource without changing the thread's Win32 last error, so a cleanup never
// hides the failure that came before it.
template <class T, auto Free>
struct Win32Traits {
  static constexpr T kInvalid = nullptr;
  static void Close(T value) noexcept {
    const DWORD error = ::GetLastError();
    Free(value);
    ::SetLastError(error);
  }
};

// A block from LocalAlloc (what ConvertStringSidToSidW and ConvertSidToStringSidW hand out).
using UniqueLocal = UniqueHandle<Win32Traits<HLOCAL, &::LocalFree>>;
// A kernel object handle (token, process, thread).
using UniqueWin32Handle = UniqueHandle<Win32Traits<HANDLE, &::CloseHandle>>;

// COM on the calling thread for the length of one call: a single-threaded apartment, given back
// afterwards, unless the thread already has one (then that one is used and left as it is).
class ComApartment {
 public:
  ComApartment() noexcept
      : result_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) ::CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  HRESULT result_;
};

// The string form of a binary SID ("S-1-5-32-544"); nullopt (Win32 last error set) for an
// invalid one.
std::optional<std::string> SidText(PSID sid);
// The binary form of a string SID, in a LocalAlloc block; empty (Win32 last error 1337) when
// the text is not a SID.
UniqueLocal SidFromText(const std::string& text);

}  // namespace orvo::platform::win32
