// File-system calls: attributes, delete, folders and their listing, entries opened as
// themselves (links not followed), drives, the WOW64 redirection switch, INI files.
#pragma once

#include <optional>
#include <string>

#include "platform/types.h"

namespace orvo::platform {

// CreateFileW: rights, share modes, creation and flags the removal uses.
inline constexpr Dword kFileListDirectory = 0x0001;
inline constexpr Dword kFileReadAttributes = 0x0080;
inline constexpr Dword kFileWriteAttributes = 0x0100;
inline constexpr Dword kFileShareRead = 0x1;
inline constexpr Dword kFileShareWrite = 0x2;
inline constexpr Dword kFileShareDelete = 0x4;
inline constexpr Dword kOpenExisting = 3;
inline constexpr Dword kMovefileDelayUntilReboot = 0x4;
inline constexpr Dword kFileFlagBackupSemantics = 0x02000000;   // needed to open a folder
inline constexpr Dword kFileFlagOpenReparsePoint = 0x00200000;  // the link itself, not its target
// Reparse tags: junctions and mount points, symbolic links.
inline constexpr Dword kIoReparseTagMountPoint = 0xA0000003;
inline constexpr Dword kIoReparseTagSymlink = 0xA000000C;
// GetDriveTypeW answers.
inline constexpr Dword kDriveUnknown = 0;
inline constexpr Dword kDriveNoRootDir = 1;
inline constexpr Dword kDriveRemovable = 2;
inline constexpr Dword kDriveFixed = 3;
inline constexpr Dword kDriveRemote = 4;
inline constexpr Dword kDriveCdrom = 5;
inline constexpr Dword kDriveRamdisk = 6;

// What an open handle tells of its entry: attributes, number of names (hard links) and,
// for a reparse point, its tag.
struct FileInformation {
  Dword attributes = 0;
  Dword numberOfLinks = 0;
  Dword reparseTag = 0;
};

// One entry of a folder listing: its name (no folder), attributes and, for a reparse
// point, its tag (WIN32_FIND_DATA's dwReserved0).
struct FindData {
  std::string cFileName;
  Dword dwFileAttributes = 0;
  Dword dwReserved0 = 0;
};

// What a ready volume answers about itself.
struct VolumeInformation {
  std::string volumeName;
  Dword serialNumber = 0;
  std::string fileSystemName;
};

class IFiles {
 public:
  virtual ~IFiles() = default;
  // Attributes of a path, or kInvalidFileAttributes (last error set) when it cannot be found.
  virtual Dword GetFileAttributesW(const std::string& path) = 0;
  // Deletes one file; false with the last error when refused or missing.
  virtual bool DeleteFileW(const std::string& path) = 0;
  // Sets a path's attributes (following a link to its target, as the call does).
  virtual bool SetFileAttributesW(const std::string& path, Dword attributes) = 0;
  // Creates one folder; false with 183 when it exists, 3 when its parent is missing.
  virtual bool CreateDirectoryW(const std::string& path) = 0;
  // Removes an empty folder, or a folder link itself (never its target's content).
  virtual bool RemoveDirectoryW(const std::string& path) = 0;
  // Moves or renames an entry; with no new name and kMovefileDelayUntilReboot, records it for
  // deletion when Windows next starts (the system's PendingFileRenameOperations, a folder only
  // once empty). The path is recorded as given: file-system redirection does not apply to it.
  // Needs administrator rights for that; false (last error set) when refused.
  virtual bool MoveFileExW(const std::string& existing, const std::optional<std::string>& newName,
                           Dword flags) = 0;
  // Creates every missing folder of a path that ends in a backslash (imagehlp).
  virtual bool MakeSureDirectoryPathExists(const std::string& path) = 0;

  // Opens an entry; a folder needs kFileFlagBackupSemantics, and kFileFlagOpenReparsePoint
  // opens a link as itself. 0 (last error set: 2, 3, 5, 32) on failure; the platform's
  // INVALID_HANDLE_VALUE never crosses the seam. Closed with IProcesses::CloseHandle.
  virtual Handle CreateFileW(const std::string& path, Dword desiredAccess, Dword shareMode,
                             Dword creationDisposition, Dword flagsAndAttributes) = 0;
  // The open entry's attributes, name count and reparse tag.
  virtual bool GetFileInformationByHandle(Handle file, FileInformation& info) = 0;
  // Sets the open entry's attributes (needs kFileWriteAttributes); never follows a link.
  virtual bool SetFileAttributesByHandle(Handle file, Dword attributes) = 0;
  // Marks the open entry (opened with kDelete) to be deleted when its last handle closes:
  // a link goes as a link, a hard-linked file loses only this name. With ignoreReadOnly a
  // read-only file goes too, its attributes (shared by every name) unchanged; false with 87
  // or 50 where the platform cannot do that, 5 for a read-only file without it, 145 for a
  // folder that is not empty.
  virtual bool SetFileDispositionByHandle(Handle file, bool ignoreReadOnly) = 0;

  // Lists a folder: pattern "folder\*". 0 (last error set) when nothing can be listed;
  // FindNextFileW answers false with 18 after the last entry. "." and ".." are listed too.
  virtual Handle FindFirstFileW(const std::string& pattern, FindData& data) = 0;
  virtual bool FindNextFileW(Handle find, FindData& data) = 0;
  virtual bool FindClose(Handle find) = 0;

  // The type of the drive whose root is given ("C:\"); kDriveNoRootDir for none.
  virtual Dword GetDriveTypeW(const std::string& rootPath) = 0;
  // A ready volume's name, serial number and file system; false (last error set, 21 for a
  // drive that is not ready) otherwise.
  virtual bool GetVolumeInformationW(const std::string& rootPath, VolumeInformation& info) = 0;

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
