// Text, path and SID conversion at the seam of the win32 backend.
#include "platform/win32/support.h"

#include <climits>

#include "support/unicode.h"

namespace orvo::platform::win32 {
namespace {

// MAX_PATH less the room CreateDirectoryW keeps for an 8.3 name: beyond it a plain path fails.
constexpr std::size_t kPlainPathLimit = MAX_PATH - 12;

bool IsDriveAbsolute(std::wstring_view p) {
  return p.size() >= 3 && p[1] == L':' && (p[2] == L'\\' || p[2] == L'/') &&
         ((p[0] >= L'A' && p[0] <= L'Z') || (p[0] >= L'a' && p[0] <= L'z'));
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsUnc(std::wstring_view p) {
  return p.size() > 2 && IsSeparator(p[0]) && IsSeparator(p[1]) && p[2] != L'?' && p[2] != L'.';
}

// The full, normalised form of a path (separators, "." and ".." resolved); the input on failure.
std::wstring FullPath(const std::wstring& path) {
  std::wstring full(path.size() + 16, L'\0');
  for (;;) {
    const DWORD n =
        ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0) return path;
    if (n < full.size()) {
      full.resize(n);
      return full;
    }
    full.resize(n);
  }
}

}  // namespace

// wchar_t is a UTF-16 unit on Windows: the program's one converter does the work.
static_assert(sizeof(wchar_t) == sizeof(char16_t));

std::wstring Widen(std::string_view text) {
  const std::u16string units = support::Utf8ToUtf16(text);
  return std::wstring(units.begin(), units.end());
}

std::string Narrow(std::wstring_view text) {
  const std::u16string units(text.begin(), text.end());
  return support::Utf16ToUtf8(units);
}

std::string AnsiToUtf8(std::string_view text) {
  if (text.empty() || text.size() > INT_MAX) return {};
  const int size = static_cast<int>(text.size());
  const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), n);
  return Narrow(wide);
}

std::wstring Win32Path(std::string_view path) {
  std::wstring wide = Widen(path);
  if (wide.size() <= kPlainPathLimit) return wide;
  if (IsDriveAbsolute(wide)) return L"\\\\?\\" + FullPath(wide);
  if (IsUnc(wide)) {
    const std::wstring full = FullPath(wide);
    return L"\\\\?\\UNC\\" + full.substr(2);
  }
  return wide;
}

std::optional<std::string> SidText(PSID sid) {
  wchar_t* text = nullptr;
  if (!::ConvertSidToStringSidW(sid, &text)) return std::nullopt;
  const UniqueLocal owned(text);
  return Narrow(text);
}

UniqueLocal SidFromText(const std::string& text) {
  PSID sid = nullptr;
  if (!::ConvertStringSidToSidW(Widen(text).c_str(), &sid)) return UniqueLocal();
  return UniqueLocal(sid);
}

}  // namespace orvo::platform::win32
