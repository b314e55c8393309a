// File attributes, deletion, folders and their listing, entries opened as themselves, drives,
// the WOW64 redirection switch and INI values.
#include "platform/files.h"

#include <algorithm>
#include <cwchar>
#include <vector>

#include "platform/win32/areas.h"
#include "platform/win32/support.h"

namespace orvo::platform::win32 {
namespace {

HANDLE Kernel(Handle h) noexcept { return FromHandle<HANDLE>(h); }

// SetFileInformationByHandle's extended disposition (Windows 10 1809 and later), which the
// Windows 7 headers the backend builds with do not declare.
constexpr auto kFileDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr DWORD kFileDispositionFlagDelete = 0x1;
constexpr DWORD kFileDispositionFlagIgnoreReadonlyAttribute = 0x10;
struct FileDispositionInfoEx {
  DWORD Flags;
};

bool Succeeded(BOOL ok) noexcept {
  if (!ok) TakeLastError();
  return ok != FALSE;
}

// One listing entry as the seam gives it: the name up to its NUL, and the reparse tag only
// where the entry is a reparse point (dwReserved0 means nothing otherwise).
FindData Entry(const WIN32_FIND_DATAW& found) {
  FindData data;
  data.cFileName = Narrow(std::wstring_view(found.cFileName, ::wcsnlen(found.cFileName, MAX_PATH)));
  data.dwFileAttributes = found.dwFileAttributes;
  data.dwReserved0 =
      (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? found.dwReserved0 : 0;
  return data;
}

// Where the folders of a path begin: past "X:\", "\\server\share\" and their "\\?\" forms,
// which name no folder that can be made.
std::size_t FirstFolder(const std::string& path) {
  std::size_t at = 0;
  if (path.rfind("\\\\?\\UNC\\", 0) == 0) {
    at = 8;
  } else if (path.rfind("\\\\?\\", 0) == 0) {
    at = 4;
  } else if (path.rfind("\\\\", 0) == 0) {
    at = 2;
  }
  if (at == 8 || at == 2) {  // past the server and the share
    at = path.find('\\', at);
    if (at != std::string::npos) at = path.find('\\', at + 1);
    return at == std::string::npos ? path.size() : at + 1;
  }
  if (path.size() >= at + 3 && path[at + 1] == ':' && path[at + 2] == '\\') return at + 3;
  return at;
}

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

  // Sets the attributes of the path (a link's target); false with the error (2, 3, 5).
  bool SetFileAttributesW(const std::string& path, Dword attributes) override {
    return Succeeded(::SetFileAttributesW(Win32Path(path).c_str(), attributes));
  }

  // Makes one folder; false with 183 when the name exists, 3 when the parent is missing.
  bool CreateDirectoryW(const std::string& path) override {
    return Succeeded(::CreateDirectoryW(Win32Path(path).c_str(), nullptr));
  }

  // Removes an empty folder; false with 145 when it is not empty, 2 or 3 when missing, 267
  // for a file.
  bool RemoveDirectoryW(const std::string& path) override {
    return Succeeded(::RemoveDirectoryW(Win32Path(path).c_str()));
  }

  bool MoveFileExW(const std::string& existing, const std::optional<std::string>& newName,
                   Dword flags) override {
    const std::wstring target = newName ? Win32Path(*newName) : std::wstring();
    return Succeeded(
        ::MoveFileExW(Win32Path(existing).c_str(), newName ? target.c_str() : nullptr, flags));
  }

  // Makes every missing folder up to the path's last backslash (what follows it names a file
  // and is not made), as imagehlp's call does; true when they all exist afterwards, false with
  // the error of the level that could not be made. imagehlp takes only ANSI text, which
  // loses names outside the code page and stops at MAX_PATH, so the same walk is done here
  // with the W call: each level that exists answers 183 and the walk goes on.
  bool MakeSureDirectoryPathExists(const std::string& path) override {
    for (std::size_t at = path.find('\\', FirstFolder(path)); at != std::string::npos;
         at = path.find('\\', at + 1)) {
      if (at == 0 || path[at - 1] == '\\') continue;  // two backslashes in a row
      if (!::CreateDirectoryW(Win32Path(path.substr(0, at)).c_str(), nullptr) &&
          ::GetLastError() != ERROR_ALREADY_EXISTS) {
        TakeLastError();
        return false;
      }
    }
    return true;
  }

  // The open handle, or 0 with the error. Windows answers INVALID_HANDLE_VALUE for a failure,
  // which must not reach the seam: there it would look like an open handle.
  Handle CreateFileW(const std::string& path, Dword desiredAccess, Dword shareMode,
                     Dword creationDisposition, Dword flagsAndAttributes) override {
    HANDLE file = ::CreateFileW(Win32Path(path).c_str(), desiredAccess, shareMode, nullptr,
                                creationDisposition, flagsAndAttributes, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      TakeLastError();
      return 0;
    }
    return ToHandle(file);
  }

  // The entry's attributes and name count and, for a reparse point, its tag (asked for
  // separately: the plain record has none); false with the error when either cannot be read.
  bool GetFileInformationByHandle(Handle file, FileInformation& info) override {
    BY_HANDLE_FILE_INFORMATION record{};
    if (!Succeeded(::GetFileInformationByHandle(Kernel(file), &record))) return false;
    DWORD tag = 0;
    if ((record.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      FILE_ATTRIBUTE_TAG_INFO tagInfo{};
      if (!Succeeded(::GetFileInformationByHandleEx(Kernel(file), FileAttributeTagInfo, &tagInfo,
                                                    sizeof tagInfo))) {
        return false;
      }
      tag = tagInfo.ReparseTag;
    }
    info = FileInformation{record.dwFileAttributes, record.nNumberOfLinks, tag};
    return true;
  }

  // Sets the entry's attributes and nothing else: zero times in the record leave them as they
  // are, and zero attributes would too, so none is FILE_ATTRIBUTE_NORMAL, as SetFileAttributesW
  // passes it. False with the error (5 without kFileWriteAttributes).
  bool SetFileAttributesByHandle(Handle file, Dword attributes) override {
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
    return Succeeded(
        ::SetFileInformationByHandle(Kernel(file), FileBasicInfo, &basic, sizeof basic));
  }

  // Deletes the entry when its last handle closes. With ignoreReadOnly the extended record
  // asks for a read-only file to go as it is; a Windows without it refuses the record (87).
  bool SetFileDispositionByHandle(Handle file, bool ignoreReadOnly) override {
    if (ignoreReadOnly) {
      FileDispositionInfoEx disposition{kFileDispositionFlagDelete |
                                        kFileDispositionFlagIgnoreReadonlyAttribute};
      return Succeeded(::SetFileInformationByHandle(Kernel(file), kFileDispositionInfoEx,
                                                    &disposition, sizeof disposition));
    }
    FILE_DISPOSITION_INFO disposition{TRUE};
    return Succeeded(::SetFileInformationByHandle(Kernel(file), FileDispositionInfo, &disposition,
                                                  sizeof disposition));
  }

  // The first entry of the listing (long paths too); 0 with the error (2 when nothing matches
  // in a folder that exists, 3 for a missing folder).
  Handle FindFirstFileW(const std::string& pattern, FindData& data) override {
    WIN32_FIND_DATAW found{};
    HANDLE find = ::FindFirstFileW(Win32Path(pattern).c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) {
      TakeLastError();
      return 0;
    }
    data = Entry(found);
    return ToHandle(find);
  }

  bool FindNextFileW(Handle find, FindData& data) override {
    WIN32_FIND_DATAW found{};
    if (!Succeeded(::FindNextFileW(Kernel(find), &found))) return false;
    data = Entry(found);
    return true;
  }

  bool FindClose(Handle find) override { return Succeeded(::FindClose(Kernel(find))); }

  Dword GetDriveTypeW(const std::string& rootPath) override {
    return static_cast<Dword>(::GetDriveTypeW(Widen(rootPath).c_str()));
  }

  // The volume's label, serial number and file system name; false with the error.
  bool GetVolumeInformationW(const std::string& rootPath, VolumeInformation& info) override {
    wchar_t name[MAX_PATH + 1] = {};
    wchar_t fileSystem[MAX_PATH + 1] = {};
    DWORD serial = 0;
    DWORD longestName = 0;
    DWORD flags = 0;
    if (!Succeeded(::GetVolumeInformationW(Widen(rootPath).c_str(), name, MAX_PATH + 1, &serial,
                                           &longestName, &flags, fileSystem, MAX_PATH + 1))) {
      return false;
    }
    info = VolumeInformation{Narrow(name), static_cast<Dword>(serial), Narrow(fileSystem)};
    return true;
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
