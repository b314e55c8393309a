// The fake machine's file system beyond attributes and DeleteFile: folders and their
// listing, entries opened as themselves, links, owners and access lists, drives.
#include <algorithm>

#include "platform/fake/FakeMachine.h"
#include "support/unicode.h"

namespace orvo::fake {
namespace {

using namespace platform;

constexpr Dword kErrorDirNotEmpty = 145;
constexpr Dword kErrorDirectory = 267;
constexpr Dword kErrorNotReady = 21;
constexpr Dword kErrorInvalidOwner = 1307;
constexpr Dword kErrorInvalidSid = 1337;

// File rights as access checks see them.
constexpr Dword kFileAllAccess = 0x001F01FF;
constexpr Dword kFileGenericRead = 0x00120089;
constexpr Dword kFileGenericWrite = 0x00120116;
constexpr Dword kGenericWrite = 0x40000000;
constexpr Dword kGenericAll = 0x10000000;
constexpr Dword kMaximumAllowed = 0x02000000;
constexpr Dword kFileDeleteChild = 0x0040;
// Rights that share modes govern: data access and deletion.
constexpr Dword kDataOrDeleteRights = 0x0001 | 0x0002 | 0x0004 | 0x0020 | kDelete;
// What the backup and restore privileges grant an open with backup semantics.
constexpr Dword kBackupRights = kFileGenericRead;
constexpr Dword kRestoreRights = kFileGenericWrite | kDelete | kWriteOwner | kWriteDac;

Dword MapFileGeneric(Dword mask) {
  if ((mask & kGenericAll) != 0) mask |= kFileAllAccess;
  if ((mask & kGenericRead) != 0) mask |= kFileGenericRead;
  if ((mask & kGenericWrite) != 0) mask |= kFileGenericWrite;
  return mask & ~(kGenericAll | kGenericRead | kGenericWrite | kMaximumAllowed);
}

bool IsFolder(const FakeFile& f) { return (f.attributes & kFileAttributeDirectory) != 0; }

}  // namespace

// --- Seeding.

void FakeMachine::AddFolderLink(const std::string& path, const std::string& target, Dword tag) {
  AddDir(path, kFileAttributeDirectory | kFileAttributeReparsePoint);
  FakeFile& link = *files_.at(Key(path));
  link.reparseTag = tag;
  link.linkTarget = Key(target);
}

void FakeMachine::AddFileLink(const std::string& path, const std::string& target) {
  AddFile(path, kFileAttributeArchive | kFileAttributeReparsePoint);
  FakeFile& link = *files_.at(Key(path));
  link.reparseTag = kIoReparseTagSymlink;
  link.linkTarget = Key(target);
}

void FakeMachine::AddHardLink(const std::string& path, const std::string& existing) {
  const std::string key = Key(path);
  files_[key] = files_.at(Key(existing));
  names_[key] = Leaf(path);
}

Dword FakeMachine::LinkCount(const std::string& path) const {
  const auto it = files_.find(Key(path));
  if (it == files_.end()) return 0;
  return static_cast<Dword>(std::count_if(
      files_.begin(), files_.end(), [&](const auto& entry) { return entry.second == it->second; }));
}

std::vector<std::string> FakeMachine::ChildKeys(const std::string& key) const {
  std::vector<std::string> children;
  const std::string prefix = key.size() == 3 ? key : key + "\\";
  for (auto it = files_.lower_bound(prefix); it != files_.end(); ++it) {
    if (it->first.compare(0, prefix.size(), prefix) != 0) break;
    if (it->first.find('\\', prefix.size()) == std::string::npos) children.push_back(it->first);
  }
  return children;
}

// --- Access checks: owner may always read and change the access list; a present list is
// walked in order (a denied right refuses at once); no list allows everything.
bool FakeMachine::FileAllows(const FakeFile& file, Dword access, bool backupSemantics) const {
  Dword wanted = MapFileGeneric(access);
  if (backupSemantics && PrivilegeOn("SeBackupPrivilege")) wanted &= ~kBackupRights;
  if (backupSemantics && PrivilegeOn("SeRestorePrivilege")) wanted &= ~kRestoreRights;
  if (PrivilegeOn("SeTakeOwnershipPrivilege")) wanted &= ~kWriteOwner;
  return DaclGrants(file.owner, file.dacl, wanted, MapFileGeneric);
}

// --- Path calls.

bool FakeMachine::SetFileAttributesW(const std::string& path, Dword attributes) {
  calls.push_back("SetFileAttributesW(" + path + ", " + Hex(attributes) + ")");
  if (Faulted("SetFileAttributesW", path)) return false;
  const auto key = Resolve(path);
  if (!key) return false;
  // The call reaches through a link to its target.
  const std::string target = ThroughLinks(*key, true);
  const auto it = files_.find(target);
  if (it == files_.end()) {
    SetLastError(files_.count(Parent(target)) != 0 ? kErrorFileNotFound : kErrorPathNotFound);
    return false;
  }
  FakeFile& f = *it->second;
  if (f.locked) {
    SetLastError(kErrorSharingViolation);
    return false;
  }
  if (!FileAllows(f, kFileWriteAttributes, false)) {
    SetLastError(kErrorAccessDenied);
    return false;
  }
  constexpr Dword kSettable =
      kFileAttributeReadonly | kFileAttributeHidden | kFileAttributeSystem | kFileAttributeArchive;
  f.attributes = (f.attributes & ~kSettable) | (attributes & kSettable);
  return true;
}

bool FakeMachine::CreateDirectoryW(const std::string& path) {
  calls.push_back("CreateDirectoryW(" + path + ")");
  if (Faulted("CreateDirectoryW", path)) return false;
  const auto key = Resolve(path);
  if (!key) return false;
  if (files_.count(*key) != 0 || (key->size() == 3 && (*key)[1] == ':')) {
    SetLastError(kErrorAlreadyExists);
    return false;
  }
  const std::string parent = Parent(*key);
  const auto p = files_.find(parent);
  const bool parentIsRoot = parent.size() == 3 && parent[1] == ':';
  if (!parentIsRoot && (p == files_.end() || !IsFolder(*p->second))) {
    SetLastError(kErrorPathNotFound);
    return false;
  }
  AddDir(*key);
  names_[*key] = Leaf(path);
  return true;
}

// Windows keeps the list in the registry, a pair of strings per entry; a program reads it
// there, so the machine keeps it there too.
constexpr const char* kSessionManager = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr const char* kPendingRenames = "PendingFileRenameOperations";

bool FakeMachine::MoveFileExW(const std::string& existing,
                              const std::optional<std::string>& newName, Dword flags) {
  calls.push_back("MoveFileExW(" + existing + ", " + (newName ? *newName : "null") + ", " +
                  std::to_string(flags) + ")");
  if (Faulted("MoveFileExW", existing)) return false;
  if (newName || flags != kMovefileDelayUntilReboot) {
    SetLastError(kErrorInvalidParameter);  // only what the system asks of it is modelled
    return false;
  }
  if (!elevated) {
    SetLastError(kErrorAccessDenied);
    return false;
  }
  std::vector<std::uint8_t> data;
  if (const auto old = GetValue(kSessionManager, kPendingRenames)) {
    data = old->data;
    if (data.size() >= 2) data.resize(data.size() - 2);  // the list's closing NUL
  } else {
    AddKey(kSessionManager);
  }
  const auto entry = support::ToUtf16Bytes(std::string("\\??\\") + existing + '\0' + '\0' + '\0');
  data.insert(data.end(), entry.begin(), entry.end());
  SetValue(kSessionManager, kPendingRenames, kRegMultiSz, data);
  return true;
}

std::vector<std::string> FakeMachine::DeletionsAtNextStart() const {
  std::vector<std::string> paths;
  const auto value = GetValue(kSessionManager, kPendingRenames);
  if (!value) return paths;
  const std::string text = support::FromUtf16Bytes(value->data.data(), value->data.size());
  std::vector<std::string> strings;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\0', start)) != std::string::npos; start = end + 1) {
    strings.push_back(text.substr(start, end - start));
  }
  for (std::size_t i = 0; i + 1 < strings.size(); i += 2) {
    if (strings[i].empty()) break;
    paths.push_back(strings[i].rfind("\\??\\", 0) == 0 ? strings[i].substr(4) : strings[i]);
  }
  return paths;
}

bool FakeMachine::RemoveDirectoryW(const std::string& path) {
  calls.push_back("RemoveDirectoryW(" + path + ")");
  if (Faulted("RemoveDirectoryW", path)) return false;
  const auto key = Resolve(path);
  if (!key) return false;
  const auto it = files_.find(*key);
  if (it == files_.end()) {
    SetLastError(files_.count(Parent(*key)) != 0 ? kErrorFileNotFound : kErrorPathNotFound);
    return false;
  }
  const FakeFile& f = *it->second;
  if (!IsFolder(f)) {
    SetLastError(kErrorDirectory);
    return false;
  }
  // A folder link goes as itself, whatever its target holds.
  if (f.linkTarget.empty() && !ChildKeys(*key).empty()) {
    SetLastError(kErrorDirNotEmpty);
    return false;
  }
  if (f.locked) {
    SetLastError(kErrorSharingViolation);
    return false;
  }
  if ((f.attributes & kFileAttributeReadonly) != 0 || !FileAllows(f, kDelete, false)) {
    SetLastError(kErrorAccessDenied);
    return false;
  }
  files_.erase(it);
  names_.erase(*key);
  return true;
}

bool FakeMachine::MakeSureDirectoryPathExists(const std::string& path) {
  calls.push_back("MakeSureDirectoryPathExists(" + path + ")");
  if (Faulted("MakeSureDirectoryPathExists", path)) return false;
  // Every folder named before the last backslash.
  const auto last = path.find_last_of('\\');
  if (last == std::string::npos) return true;
  for (std::size_t at = path.find('\\', 3); at != std::string::npos && at <= last;
       at = path.find('\\', at + 1)) {
    const std::string folder = path.substr(0, at);
    const auto key = Resolve(folder);
    if (!key) return false;
    const auto it = files_.find(*key);
    if (it != files_.end()) {
      if (!IsFolder(*it->second)) {
        SetLastError(kErrorPathNotFound);
        return false;
      }
      continue;
    }
    AddDir(*key);
    names_[*key] = Leaf(folder);
  }
  return true;
}

// --- Handle calls.

Handle FakeMachine::CreateFileW(const std::string& path, Dword desiredAccess, Dword shareMode,
                                Dword creationDisposition, Dword flagsAndAttributes) {
  calls.push_back("CreateFileW(" + path + ", " + Hex(desiredAccess) + ")");
  if (Faulted("CreateFileW", path)) return 0;
  if (creationDisposition != kOpenExisting) {
    SetLastError(kErrorInvalidParameter);
    return 0;
  }
  const auto resolved = Resolve(path);
  if (!resolved) return 0;
  const bool openLink = (flagsAndAttributes & kFileFlagOpenReparsePoint) != 0;
  const std::string key = openLink ? *resolved : ThroughLinks(*resolved, true);
  const auto it = files_.find(key);
  if (it == files_.end()) {
    SetLastError(files_.count(Parent(key)) != 0 ? kErrorFileNotFound : kErrorPathNotFound);
    return 0;
  }
  const FakeFile& f = *it->second;
  const bool backup = (flagsAndAttributes & kFileFlagBackupSemantics) != 0;
  if (IsFolder(f) && !backup) {
    SetLastError(kErrorAccessDenied);
    return 0;
  }
  // A program holding the file without sharing refuses data and delete access; an open
  // for attributes or security only is not affected, as on Windows.
  if (f.locked && (MapFileGeneric(desiredAccess) & kDataOrDeleteRights) != 0) {
    SetLastError(kErrorSharingViolation);
    return 0;
  }
  // Share modes of the handles already open on this entry.
  const bool wantsDelete = (desiredAccess & kDelete) != 0;
  for (const auto& [h, open] : fileHandles_) {
    if (files_.count(open.key) == 0 || files_.at(open.key) != it->second) continue;
    if ((wantsDelete && (open.share & kFileShareDelete) == 0) ||
        ((open.access & kDelete) != 0 && (shareMode & kFileShareDelete) == 0)) {
      SetLastError(kErrorSharingViolation);
      return 0;
    }
  }
  // Reading attributes is also granted by the right to list the parent folder, and deleting
  // by the right to delete its children, as on Windows.
  Dword needed = MapFileGeneric(desiredAccess);
  const auto parent = files_.find(Parent(key));
  if ((needed & kFileReadAttributes) != 0 &&
      (parent == files_.end() || FileAllows(*parent->second, kFileListDirectory, backup))) {
    needed &= ~kFileReadAttributes;
  }
  if ((needed & kDelete) != 0 &&
      (parent == files_.end() || FileAllows(*parent->second, kFileDeleteChild, backup))) {
    needed &= ~kDelete;
  }
  if (!FileAllows(f, needed, backup)) {
    SetLastError(kErrorAccessDenied);
    return 0;
  }
  const Handle h = NewHandle();
  fileHandles_[h] = FileHandle{key, MapFileGeneric(desiredAccess), shareMode, false};
  return h;
}

bool FakeMachine::GetFileInformationByHandle(Handle file, FileInformation& info) {
  const auto it = fileHandles_.find(file);
  if (it == fileHandles_.end() || files_.count(it->second.key) == 0) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  const FakeFile& f = *files_.at(it->second.key);
  info.attributes = f.attributes;
  info.numberOfLinks = LinkCount(it->second.key);
  info.reparseTag = f.reparseTag;
  return true;
}

bool FakeMachine::SetFileAttributesByHandle(Handle file, Dword attributes) {
  calls.push_back("SetFileAttributesByHandle(" + Hex(attributes) + ")");
  const auto it = fileHandles_.find(file);
  if (it == fileHandles_.end() || files_.count(it->second.key) == 0) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  if (Faulted("SetFileAttributesByHandle", it->second.key)) return false;
  if ((it->second.access & kFileWriteAttributes) == 0) {
    SetLastError(kErrorAccessDenied);
    return false;
  }
  FakeFile& f = *files_.at(it->second.key);
  constexpr Dword kSettable =
      kFileAttributeReadonly | kFileAttributeHidden | kFileAttributeSystem | kFileAttributeArchive;
  f.attributes = (f.attributes & ~kSettable) | (attributes & kSettable);
  return true;
}

bool FakeMachine::SetFileDispositionByHandle(Handle file, bool ignoreReadOnly) {
  const auto it = fileHandles_.find(file);
  if (it == fileHandles_.end() || files_.count(it->second.key) == 0) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  const std::string& key = it->second.key;
  calls.push_back(std::string("SetFileDispositionByHandle(") + key +
                  (ignoreReadOnly ? ", ignore read-only)" : ")"));
  if (Faulted("SetFileDispositionByHandle", key)) return false;
  if ((it->second.access & kDelete) == 0) {
    SetLastError(kErrorAccessDenied);
    return false;
  }
  if (ignoreReadOnly && !canIgnoreReadOnlyOnDelete) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  const FakeFile& f = *files_.at(key);
  if ((f.attributes & kFileAttributeReadonly) != 0 && !ignoreReadOnly) {
    SetLastError(kErrorAccessDenied);
    return false;
  }
  if (IsFolder(f) && f.linkTarget.empty() && !ChildKeys(key).empty()) {
    SetLastError(kErrorDirNotEmpty);
    return false;
  }
  it->second.deleteOnClose = true;
  return true;
}

Handle FakeMachine::FindFirstFileW(const std::string& pattern, FindData& data) {
  calls.push_back("FindFirstFileW(" + pattern + ")");
  if (Faulted("FindFirstFileW", pattern)) return 0;
  const auto slash = pattern.find_last_of('\\');
  if (slash == std::string::npos) {
    SetLastError(kErrorInvalidParameter);
    return 0;
  }
  // The system lists whole folders ("folder\\*"); any other pattern is matched as "*.ext"
  // or a plain name, enough for the contract's cases.
  const std::string wildcard = Lower(pattern.substr(slash + 1));
  const auto resolved = Resolve(pattern.substr(0, slash));
  if (!resolved) return 0;
  // The folder part is reached through links, its own last name included.
  const std::string folder = ThroughLinks(*resolved, true);
  const auto it = files_.find(folder);
  const bool root = folder.size() == 3 && folder[1] == ':';
  if (!root && (it == files_.end() || !IsFolder(*it->second))) {
    SetLastError(kErrorPathNotFound);
    return 0;
  }
  if (!root && (it->second->locked || !FileAllows(*it->second, kFileListDirectory, false))) {
    SetLastError(it->second->locked ? kErrorSharingViolation : kErrorAccessDenied);
    return 0;
  }
  const auto matches = [&wildcard](const std::string& name) {
    if (wildcard == "*") return true;
    if (wildcard.rfind('*', 0) == 0) {
      const std::string tail = wildcard.substr(1);
      const std::string lower = Lower(name);
      return lower.size() >= tail.size() &&
             lower.compare(lower.size() - tail.size(), tail.size(), tail) == 0;
    }
    return Lower(name) == wildcard;
  };
  FindListing listing;
  if (wildcard == "*") {
    listing.entries.push_back(FindData{".", kFileAttributeDirectory, 0});
    listing.entries.push_back(FindData{"..", kFileAttributeDirectory, 0});
  }
  for (const std::string& child : ChildKeys(folder)) {
    const FakeFile& f = *files_.at(child);
    const auto name = names_.find(child);
    const std::string shown = name != names_.end() ? name->second : Leaf(child);
    if (matches(shown)) listing.entries.push_back(FindData{shown, f.attributes, f.reparseTag});
  }
  if (listing.entries.empty()) {
    SetLastError(kErrorFileNotFound);
    return 0;
  }
  data = listing.entries[0];
  listing.next = 1;
  const Handle h = NewHandle();
  findHandles_[h] = std::move(listing);
  return h;
}

bool FakeMachine::FindNextFileW(Handle find, FindData& data) {
  const auto it = findHandles_.find(find);
  if (it == findHandles_.end()) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  if (it->second.next >= it->second.entries.size()) {
    SetLastError(kErrorNoMoreFiles);
    return false;
  }
  data = it->second.entries[it->second.next++];
  return true;
}

bool FakeMachine::FindClose(Handle find) {
  if (findHandles_.erase(find) == 0) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  return true;
}

Dword FakeMachine::GetDriveTypeW(const std::string& rootPath) {
  return Lower(rootPath) == "c:\\" ? kDriveFixed : kDriveNoRootDir;
}

bool FakeMachine::GetVolumeInformationW(const std::string& rootPath, VolumeInformation& info) {
  if (Faulted("GetVolumeInformationW", rootPath)) return false;
  if (Lower(rootPath) != "c:\\") {
    SetLastError(kErrorNotReady);
    return false;
  }
  info = VolumeInformation{"", 0x1A2B3C4D, "NTFS"};
  return true;
}

// --- Owners.

Dword FakeMachine::SetFileOwner(Handle file, const Sid& owner) {
  const auto it = fileHandles_.find(file);
  if (it == fileHandles_.end() || files_.count(it->second.key) == 0) return kErrorInvalidHandle;
  calls.push_back("SetFileOwner(" + it->second.key + ", " + owner.text + ")");
  if (Faulted("SetFileOwner", it->second.key)) return GetLastError();
  if ((it->second.access & kWriteOwner) == 0) return kErrorAccessDenied;
  if (owner.text.rfind("S-1-", 0) != 0) return kErrorInvalidSid;
  std::vector<Sid> token = TokenGroups();
  token.push_back(userSid);
  if (std::find(token.begin(), token.end(), owner) == token.end() &&
      !PrivilegeOn("SeRestorePrivilege")) {
    return kErrorInvalidOwner;
  }
  files_.at(it->second.key)->owner = owner;
  return kErrorSuccess;
}

}  // namespace orvo::fake
