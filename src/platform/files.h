// File-system calls: attributes, delete, the WOW64 redirection switch, INI files.
#pragma once

#include <string>

#include "platform/types.h"

namespace orvo::platform {

class IFiles {
 public:
  virtual ~IFiles() = default;
  // Attributes of a path, or kInvalidFileAttributes (last error set) when it cannot be found.
  virtual Dword GetFileAttributesW(const std::string& path) = 0;
  // Deletes one file; false with the last error when refused or missing.
  virtual bool DeleteFileW(const std::string& path) = 0;
  // The calling thread's file-system redirection switch of a 32-bit program on 64-bit Windows.
  virtual bool Wow64DisableWow64FsRedirection(Handle& oldValue) = 0;
  virtual bool Wow64RevertWow64FsRedirection(Handle oldValue) = 0;
  // Reads one INI value into at most nSize - 1 characters; returns the count copied.
  virtual Dword GetPrivateProfileStringW(const std::string& section, const std::string& key,
                                         const std::string& defaultValue, std::string& out,
                                         Dword nSize, const std::string& fileName) = 0;
  // The INI value as a number, or nDefault when the file, section or key is missing.
  virtual Dword GetPrivateProfileIntW(const std::string& section, const std::string& key,
                                      int nDefault, const std::string& fileName) = 0;
  // The section's "key=value" lines, each ending in NUL, a second NUL after the last,
  // cut to fit nSize characters; returns the count copied without the final NUL.
  virtual Dword GetPrivateProfileSectionW(const std::string& section, std::string& out, Dword nSize,
                                          const std::string& fileName) = 0;
  // Writes (creating the file and section when needed) one INI value; false on failure.
  virtual bool WritePrivateProfileStringW(const std::string& section, const std::string& key,
                                          const std::string& value,
                                          const std::string& fileName) = 0;
};

}  // namespace orvo::platform
