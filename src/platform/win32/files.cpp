// File attributes, deletion, the WOW64 redirection switch and INI values.
#include "platform/files.h"

#include <algorithm>
#include <vector>

#include "platform/win32/areas.h"
#include "platform/win32/support.h"

namespace orvo::platform::win32 {
namespace {

class Win32Files final : public IFiles {
 public:
  // Attributes of the path (long paths too); kInvalidFileAttributes with the error (2 missing,
  // 3 missing folder, 123 bad name) otherwise. A file another process holds open still answers.
  Dword GetFileAttributesW(const std::string& path) override {
    const DWORD attributes = ::GetFileAttributesW(Win32Path(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) TakeLastError();
    return attributes;
  }

  // Deletes one file (long paths too); false with 2/3 when missing, 5 when read-only or a
  // folder, 32 when another process holds it open.
  bool DeleteFileW(const std::string& path) override {
    if (::DeleteFileW(Win32Path(path).c_str())) return true;
    TakeLastError();
    return false;
  }

  // Turns the calling thread's WOW64 redirection off; fails with 1 in a program that is not
  // WOW64 (32-bit Windows, or a 64-bit program), leaving oldValue alone.
  bool Wow64DisableWow64FsRedirection(Handle& oldValue) override {
    void* old = nullptr;
    if (!::Wow64DisableWow64FsRedirection(&old)) {
      TakeLastError();
      return false;
    }
    oldValue = ToHandle(old);
    return true;
  }

  // Puts back the switch Wow64DisableWow64FsRedirection saved.
  bool Wow64RevertWow64FsRedirection(Handle oldValue) override {
    if (::Wow64RevertWow64FsRedirection(FromHandle<void*>(oldValue))) return true;
    TakeLastError();
    return false;
  }

  // Reads one value into at most nSize - 1 characters and answers the length of `out`; the
  // default when the file, section or key is missing. The call has no failure result, so the
  // error it leaves (2 for a missing file) is always handed on.
  Dword GetPrivateProfileStringW(const std::string& section, const std::string& key,
                                 const std::string& defaultValue, std::string& out, Dword nSize,
                                 const std::string& fileName) override {
    std::vector<wchar_t> buffer(std::max<Dword>(nSize, 1), L'\0');
    ::SetLastError(ERROR_SUCCESS);
    const DWORD n = ::GetPrivateProfileStringW(Widen(section).c_str(), Widen(key).c_str(),
                                               Widen(defaultValue).c_str(), buffer.data(), nSize,
                                               Widen(fileName).c_str());
    TakeLastError();
    const std::size_t copied = std::min<std::size_t>(n, nSize == 0 ? 0 : nSize - 1);
    out = Narrow(std::wstring_view(buffer.data(), copied));
    return static_cast<Dword>(out.size());
  }

  // The value as a number (digits up to the first other character, 0 when none); nDefault
  // when the file, section or key is missing.
  Dword GetPrivateProfileIntW(const std::string& section, const std::string& key, int nDefault,
                              const std::string& fileName) override {
    ::SetLastError(ERROR_SUCCESS);
    const UINT value = ::GetPrivateProfileIntW(Widen(section).c_str(), Widen(key).c_str(), nDefault,
                                               Widen(fileName).c_str());
    TakeLastError();
    return value;
  }

  // The section's "key=value" lines, each ending in NUL and a second NUL after the last, cut
  // to fit nSize characters; answers the length of `out` less the final NUL (0 when missing).
  Dword GetPrivateProfileSectionW(const std::string& section, std::string& out, Dword nSize,
                                  const std::string& fileName) override {
    std::vector<wchar_t> buffer(std::max<Dword>(nSize, 2), L'\0');
    ::SetLastError(ERROR_SUCCESS);
    const DWORD n = ::GetPrivateProfileSectionW(Widen(section).c_str(), buffer.data(), nSize,
                                                Widen(fileName).c_str());
    TakeLastError();
    const std::size_t copied = std::min<std::size_t>(n, nSize < 2 ? 0 : nSize - 1);
    out = Narrow(std::wstring_view(buffer.data(), copied));
    out.push_back('\0');
    return static_cast<Dword>(out.size() - 1);
  }

  // Writes one value, creating the file and section when needed; false (last error set) when
  // the file cannot be written.
  bool WritePrivateProfileStringW(const std::string& section, const std::string& key,
                                  const std::string& value, const std::string& fileName) override {
    if (::WritePrivateProfileStringW(Widen(section).c_str(), Widen(key).c_str(),
                                     Widen(value).c_str(), Widen(fileName).c_str())) {
      return true;
    }
    TakeLastError();
    return false;
  }
};

}  // namespace

IFiles& FileSystem() noexcept {
  static Win32Files instance;
  return instance;
}

}  // namespace orvo::platform::win32
