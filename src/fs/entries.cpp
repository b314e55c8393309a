// Folder entries taken as themselves.
#include "fs/entries.h"

#include <vector>

#include "platform/platform.h"
#include "support/log.h"

namespace orvo::fs {
namespace {

using platform::Dword;
using platform::FileInformation;
using platform::Files;
using platform::FindData;
using platform::Handle;
using platform::UniqueKernelHandle;

constexpr Dword kAsItself =
    platform::kFileFlagOpenReparsePoint | platform::kFileFlagBackupSemantics;
constexpr Dword kShareAll =
    platform::kFileShareRead | platform::kFileShareWrite | platform::kFileShareDelete;
// A folder being emptied is held without delete sharing: it cannot be renamed or replaced
// by a link while the program works inside it.
constexpr Dword kShareNoDelete = platform::kFileShareRead | platform::kFileShareWrite;

bool IsLink(Dword attributes) { return (attributes & platform::kFileAttributeReparsePoint) != 0; }
bool IsFolder(Dword attributes) { return (attributes & platform::kFileAttributeDirectory) != 0; }

struct FindCloser {
  Handle find;
  ~FindCloser() {
    if (find != 0) Files().FindClose(find);
  }
};

// Opens the entry as itself for deletion; 0 with the error.
UniqueKernelHandle OpenAsItself(const std::string& path, Dword share, Dword& error,
                                FileInformation& info) {
  UniqueKernelHandle entry(Files().CreateFileW(path,
                                               platform::kDelete | platform::kFileReadAttributes,
                                               share, platform::kOpenExisting, kAsItself));
  if (!entry) {
    error = platform::GetLastError();
    return entry;
  }
  if (!Files().GetFileInformationByHandle(entry.get(), info)) {
    error = platform::GetLastError();
    return UniqueKernelHandle();
  }
  return entry;
}

// Marks the open entry for deletion (it goes when the handle closes).
Dword MarkForDeletion(Handle entry, const FileInformation& info, bool link,
                      const std::string& path) {
  const bool readOnly = (info.attributes & platform::kFileAttributeReadonly) != 0;
  if (readOnly && !link && info.numberOfLinks > 1) {
    // The attribute belongs to every name of the file: it is not cleared.
    if (Files().SetFileDispositionByHandle(entry, /*ignoreReadOnly=*/true)) return 0;
    const Dword error = platform::GetLastError();
    support::DPrintInfo("clsFSO\\DelTree32",
                        "Left a read-only file that has other names (the platform cannot delete "
                        "one name without clearing the attribute they share): " +
                            path);
    return error;
  }
  if (readOnly) {
    // Cleared on the entry itself, through a handle of its own (the right to change
    // attributes is asked for only where it is used).
    const UniqueKernelHandle attributes(Files().CreateFileW(
        path, platform::kFileWriteAttributes, kShareAll, platform::kOpenExisting, kAsItself));
    if (attributes) {
      Files().SetFileAttributesByHandle(attributes.get(),
                                        info.attributes & ~platform::kFileAttributeReadonly);
    }
  }
  if (Files().SetFileDispositionByHandle(entry, false)) return 0;
  return platform::GetLastError();
}

// A link that the platform will not open as itself (Wine shows a folder link only in listings
// and opens its target): deleting through the handle would reach the target, so it stays.
Dword LeaveUnopenableLink(const std::string& path) {
  support::DPrintInfo("clsFSO\\DelTree32",
                      "Left a link the platform cannot open as itself (its target is not "
                      "touched): " +
                          path);
  return platform::kErrorNotSupported;
}

}  // namespace

bool ListFolder(const std::string& folder, std::vector<FindData>& entries, Dword& error) {
  FindData data;
  const FindCloser find{Files().FindFirstFileW(folder + "\\*", data)};
  if (find.find == 0) {
    error = platform::GetLastError();
    return false;
  }
  do {
    if (data.cFileName != "." && data.cFileName != "..") entries.push_back(data);
  } while (Files().FindNextFileW(find.find, data));
  return true;
}

EntryKind InspectEntry(const std::string& path) {
  const Dword listed = Files().GetFileAttributesW(path);
  if (listed == platform::kInvalidFileAttributes) return EntryKind::kMissing;
  const UniqueKernelHandle entry(Files().CreateFileW(path, platform::kFileReadAttributes, kShareAll,
                                                     platform::kOpenExisting, kAsItself));
  FileInformation info;
  if (IsLink(listed)) return EntryKind::kLink;
  if (!entry || !Files().GetFileInformationByHandle(entry.get(), info)) {
    return EntryKind::kUnchecked;
  }
  if (IsLink(info.attributes)) return EntryKind::kLink;
  if (IsFolder(info.attributes)) return EntryKind::kFolder;
  return info.numberOfLinks > 1 ? EntryKind::kSharedFile : EntryKind::kFile;
}

Dword DeleteEntry(const std::string& path) {
  const Dword listed = Files().GetFileAttributesW(path);
  Dword error = 0;
  FileInformation info;
  UniqueKernelHandle entry = OpenAsItself(path, kShareAll, error, info);
  if (!entry) return error;
  const bool link = IsLink(listed) || IsLink(info.attributes);
  if (link && !IsLink(info.attributes)) return LeaveUnopenableLink(path);
  if (IsFolder(info.attributes) && !link) {
    entry.reset();  // the tree's own walk holds the folder itself
    return DeleteTree(path);
  }
  return MarkForDeletion(entry.get(), info, link, path);
}

Dword DeleteTree(const std::string& path) {
  const Dword listed = Files().GetFileAttributesW(path);
  if (listed == platform::kInvalidFileAttributes) return platform::GetLastError();
  FileInformation info;
  {
    // Held while the folder is emptied, without delete sharing: it cannot be renamed or
    // replaced by a link meanwhile. Attribute access only, so that listing it is not refused.
    const UniqueKernelHandle pin(Files().CreateFileW(
        path, platform::kFileReadAttributes, kShareNoDelete, platform::kOpenExisting, kAsItself));
    if (!pin) return platform::GetLastError();
    if (!Files().GetFileInformationByHandle(pin.get(), info)) return platform::GetLastError();
    if (IsLink(listed) || IsLink(info.attributes)) {
      if (!IsLink(info.attributes)) return LeaveUnopenableLink(path);
    } else {
      if (!IsFolder(info.attributes)) return platform::kErrorPathNotFound;
      std::vector<FindData> entries;
      Dword error = 0;
      if (!ListFolder(path, entries, error)) return error;
      Dword first = 0;
      for (const FindData& data : entries) {
        const std::string child = path + "\\" + data.cFileName;
        // A folder listed as a link is never entered; the child is checked again once open.
        const Dword result = IsFolder(data.dwFileAttributes) && !IsLink(data.dwFileAttributes)
                                 ? DeleteTree(child)
                                 : DeleteEntry(child);
        if (first == 0) first = result;
      }
      if (first != 0) return first;
    }
  }
  // The folder (or the link) itself, opened again to be deleted and checked again on the
  // new handle.
  Dword error = 0;
  const UniqueKernelHandle entry = OpenAsItself(path, kShareAll, error, info);
  if (!entry) return error;
  const bool link = IsLink(info.attributes);
  if (!link && (IsLink(Files().GetFileAttributesW(path)) || !IsFolder(info.attributes))) {
    return LeaveUnopenableLink(path);
  }
  return MarkForDeletion(entry.get(), info, link, path);
}

bool RemoveTreeLinks(const std::string& path, const std::string& where) {
  std::vector<FindData> entries;
  Dword error = 0;
  if (!ListFolder(path, entries, error)) return true;  // nothing listed, nothing reached
  bool safe = true;
  for (const FindData& data : entries) {
    const std::string child = path + "\\" + data.cFileName;
    const EntryKind kind = IsLink(data.dwFileAttributes) ? EntryKind::kLink : InspectEntry(child);
    if (kind == EntryKind::kFolder) {
      safe = RemoveTreeLinks(child, where) && safe;
    } else if (kind == EntryKind::kLink || kind == EntryKind::kSharedFile ||
               kind == EntryKind::kUnchecked) {
      const Dword result = DeleteEntry(child);
      if (result != 0 && InspectEntry(child) != EntryKind::kMissing) {
        support::DPrintInfo(where,
                            "Could not remove a link or a second name before changing "
                            "the tree, so the tree is not changed as a whole (" +
                                std::to_string(result) + "): " + child);
        safe = false;
      }
    }
  }
  return safe;
}

}  // namespace orvo::fs
