// Contract of the folder calls the removal relies on: making and removing folders, listing
// them, paths past MAX_PATH, and how a folder link shows.
#include <gtest/gtest.h>

#include <map>

#include "backend.h"

namespace orvo::contract {
namespace {

using platform::Dword;
using platform::Files;
using platform::FindData;
using platform::GetLastError;
using platform::Handle;
using platform::kFileAttributeDirectory;
using platform::kFileAttributeReparsePoint;
using platform::kInvalidFileAttributes;
using platform::SetLastError;

constexpr Dword kErrorDirNotEmpty = 145;
constexpr Dword kErrorDirectory = 267;  // a folder call given a file

struct FindHandleTraits {
  static constexpr Handle kInvalid = 0;
  static void Close(Handle h) noexcept { Files().FindClose(h); }
};
using UniqueFind = platform::UniqueHandle<FindHandleTraits>;

// Every entry of a listing by name, "." and ".." included; the last error after the last
// entry goes to `endError`. Empty (with the error) when nothing can be listed.
std::map<std::string, FindData> List(const std::string& folder, Dword* endError = nullptr) {
  std::map<std::string, FindData> entries;
  FindData data;
  const UniqueFind find(Files().FindFirstFileW(folder + "\\*", data));
  if (!find) return entries;
  do {
    entries[data.cFileName] = data;
  } while (Files().FindNextFileW(find.get(), data));
  if (endError != nullptr) *endError = GetLastError();
  return entries;
}

bool IsFolder(Dword attributes) {
  return attributes != kInvalidFileAttributes && (attributes & kFileAttributeDirectory) != 0;
}

class FoldersContract : public ::testing::Test {
 protected:
  std::string At(const std::string& name) const { return machine->Scratch() + "\\" + name; }

  std::unique_ptr<Machine> machine = Machine::Create();
};

TEST_F(FoldersContract, CreateAndRemoveAndWhyNot) {
  machine->AddFile(At("full\\inner.txt"));
  machine->AddFile(At("file.txt"));
  ASSERT_TRUE(Files().CreateDirectoryW(At("made"))) << GetLastError();
  EXPECT_TRUE(IsFolder(Files().GetFileAttributesW(At("made"))));

  const struct {
    const char* name;
    bool (platform::IFiles::*call)(const std::string&);
    std::string path;
    Dword error;
  } refusals[] = {
      {"create where a folder is", &platform::IFiles::CreateDirectoryW, At("made"),
       platform::kErrorAlreadyExists},
      {"create where a file is", &platform::IFiles::CreateDirectoryW, At("file.txt"),
       platform::kErrorAlreadyExists},
      {"create below a missing folder", &platform::IFiles::CreateDirectoryW, At("no\\made"),
       platform::kErrorPathNotFound},
      {"remove a folder that is not empty", &platform::IFiles::RemoveDirectoryW, At("full"),
       kErrorDirNotEmpty},
      {"remove a missing folder", &platform::IFiles::RemoveDirectoryW, At("missing"),
       platform::kErrorFileNotFound},
      {"remove below a missing folder", &platform::IFiles::RemoveDirectoryW, At("no\\missing"),
       platform::kErrorPathNotFound},
      {"remove a file", &platform::IFiles::RemoveDirectoryW, At("file.txt"), kErrorDirectory},
  };
  for (const auto& row : refusals) {
    SCOPED_TRACE(row.name);
    const Dword before = Files().GetFileAttributesW(row.path);
    SetLastError(0);
    EXPECT_FALSE((Files().*row.call)(row.path));
    EXPECT_EQ(GetLastError(), row.error);
    EXPECT_EQ(Files().GetFileAttributesW(row.path), before);
  }

  ASSERT_TRUE(Files().RemoveDirectoryW(At("made"))) << GetLastError();
  EXPECT_EQ(Files().GetFileAttributesW(At("made")), kInvalidFileAttributes);
  EXPECT_EQ(GetLastError(), platform::kErrorFileNotFound);
}

// Every folder up to the last backslash is made; a name after it is a file's, and is not.
TEST_F(FoldersContract, MakeSureDirectoryPathExistsMakesEveryLevel) {
  machine->AddDir(At("a"));
  ASSERT_TRUE(Files().MakeSureDirectoryPathExists(At("a\\b\\c\\d\\"))) << GetLastError();
  for (const char* level : {"a\\b", "a\\b\\c", "a\\b\\c\\d"}) {
    SCOPED_TRACE(level);
    EXPECT_TRUE(IsFolder(Files().GetFileAttributesW(At(level))));
  }
  EXPECT_TRUE(Files().MakeSureDirectoryPathExists(At("a\\b\\c\\d\\"))) << GetLastError();

  ASSERT_TRUE(Files().MakeSureDirectoryPathExists(At("x\\y\\file.txt"))) << GetLastError();
  EXPECT_TRUE(IsFolder(Files().GetFileAttributesW(At("x\\y"))));
  EXPECT_EQ(Files().GetFileAttributesW(At("x\\y\\file.txt")), kInvalidFileAttributes);
}

TEST_F(FoldersContract, MakeSureDirectoryPathExistsStopsAtAFileInTheWay) {
  machine->AddFile(At("file.txt"));
  SetLastError(0);
  EXPECT_FALSE(Files().MakeSureDirectoryPathExists(At("file.txt\\below\\")));
  EXPECT_EQ(GetLastError(), platform::kErrorPathNotFound);
  EXPECT_FALSE(IsFolder(Files().GetFileAttributesW(At("file.txt"))));
}

TEST_F(FoldersContract, ListingShowsDotEntriesNamesAndAttributesThenEndsWithNoMoreFiles) {
  machine->AddFile(At("folder\\plain.txt"));
  machine->AddFile(At("folder\\hidden.txt"),
                   platform::kFileAttributeReadonly | platform::kFileAttributeHidden);
  machine->AddDir(At("folder\\sub"));
  Dword endError = 0;
  const auto entries = List(At("folder"), &endError);
  EXPECT_EQ(endError, platform::kErrorNoMoreFiles);

  const struct {
    const char* name;
    Dword present;
    Dword absent;
  } rows[] = {
      {".", kFileAttributeDirectory, 0},
      {"..", kFileAttributeDirectory, 0},
      {"plain.txt", 0, kFileAttributeDirectory | platform::kFileAttributeReadonly},
      {"hidden.txt", platform::kFileAttributeReadonly | platform::kFileAttributeHidden,
       kFileAttributeDirectory},
      {"sub", kFileAttributeDirectory, kFileAttributeReparsePoint},
  };
  EXPECT_EQ(entries.size(), std::size(rows));
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const auto entry = entries.find(row.name);
    ASSERT_NE(entry, entries.end());
    EXPECT_EQ(entry->second.dwFileAttributes & row.present, row.present);
    EXPECT_EQ(entry->second.dwFileAttributes & row.absent, 0u);
    EXPECT_EQ(entry->second.dwReserved0, 0u);  // no reparse point, no tag
  }
}

TEST_F(FoldersContract, EmptyFolderListsOnlyItsDotEntries) {
  machine->AddDir(At("empty"));
  const auto entries = List(At("empty"));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries.count("."), 1u);
  EXPECT_EQ(entries.count(".."), 1u);
}

TEST_F(FoldersContract, NothingToListFails) {
  machine->AddDir(At("folder"));
  const struct {
    const char* name;
    std::string pattern;
    Dword error;
  } rows[] = {
      {"missing folder", At("missing\\*"), platform::kErrorPathNotFound},
      {"nothing matches", At("folder\\*.none"), platform::kErrorFileNotFound},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    FindData data;
    SetLastError(0);
    EXPECT_EQ(Files().FindFirstFileW(row.pattern, data), Handle{0});
    EXPECT_EQ(GetLastError(), row.error);
  }
}

// Past MAX_PATH the plain forms fail in Windows itself; the calls must still make, list and
// remove what is there.
TEST_F(FoldersContract, PathsLongerThanMaxPathAreMadeListedAndRemoved) {
  std::string deep = machine->Scratch();
  for (int level = 0; level < 5; ++level) deep += "\\" + std::string(60, char('a' + level));
  ASSERT_GT(deep.size(), 260u);
  ASSERT_TRUE(Files().MakeSureDirectoryPathExists(deep + "\\")) << GetLastError();
  ASSERT_TRUE(Files().CreateDirectoryW(deep + "\\made")) << GetLastError();
  machine->AddFile(deep + "\\made\\deep.txt");

  const auto entries = List(deep + "\\made");
  EXPECT_EQ(entries.count("deep.txt"), 1u);
  EXPECT_EQ(entries.size(), 3u);

  SetLastError(0);
  EXPECT_FALSE(Files().RemoveDirectoryW(deep + "\\made"));
  EXPECT_EQ(GetLastError(), kErrorDirNotEmpty);
  EXPECT_TRUE(Files().DeleteFileW(deep + "\\made\\deep.txt")) << GetLastError();
  EXPECT_TRUE(Files().RemoveDirectoryW(deep + "\\made")) << GetLastError();
  EXPECT_EQ(Files().GetFileAttributesW(deep + "\\made"), kInvalidFileAttributes);
  EXPECT_TRUE(IsFolder(Files().GetFileAttributesW(deep)));
}

// The removal must see a folder link for what it is before it descends: through its path the
// listing is the target's.
TEST(FolderLinkContract, LinkShowsAsAReparseFolderWhoseListingIsItsTargets) {
  const std::unique_ptr<Machine> machine = Machine::Create();
  const std::string link = machine->FolderLink();
  if (link.empty()) GTEST_SKIP() << "no folder link on this machine (see run_under_wine.sh)";
  constexpr Dword kLinkBits = kFileAttributeDirectory | kFileAttributeReparsePoint;

  const Dword attributes = Files().GetFileAttributesW(link);
  ASSERT_NE(attributes, kInvalidFileAttributes) << GetLastError();
  EXPECT_EQ(attributes & kLinkBits, kLinkBits) << std::hex << attributes;

  const std::size_t slash = link.find_last_of('\\');
  const auto parent = List(link.substr(0, slash));
  const auto entry = parent.find(link.substr(slash + 1));
  ASSERT_NE(entry, parent.end());
  EXPECT_EQ(entry->second.dwFileAttributes & kLinkBits, kLinkBits);
  // The tag: the fake's link is a junction. Wine's is a Unix symbolic link, which it lists
  // with tag 0 (Windows lists a junction with kIoReparseTagMountPoint).
  EXPECT_EQ(entry->second.dwReserved0, machine->IsFake() ? platform::kIoReparseTagMountPoint : 0u);

  const auto through = List(link);
  EXPECT_EQ(through.count("inside.txt"), 1u);

  // Opened as itself, the fake's link (like a Windows junction) still shows as a reparse
  // point with its tag. Wine's handle is the target folder's: no reparse attribute, no tag.
  const platform::UniqueKernelHandle opened(Files().CreateFileW(
      link, platform::kFileReadAttributes,
      platform::kFileShareRead | platform::kFileShareWrite | platform::kFileShareDelete,
      platform::kOpenExisting,
      platform::kFileFlagBackupSemantics | platform::kFileFlagOpenReparsePoint));
  ASSERT_TRUE(opened) << GetLastError();
  platform::FileInformation info;
  ASSERT_TRUE(Files().GetFileInformationByHandle(opened.get(), info)) << GetLastError();
  EXPECT_NE(info.attributes & kFileAttributeDirectory, 0u);
  if (machine->IsFake()) {
    EXPECT_NE(info.attributes & kFileAttributeReparsePoint, 0u);
    EXPECT_EQ(info.reparseTag, platform::kIoReparseTagMountPoint);
  } else {  // Wine's answer
    EXPECT_EQ(info.attributes & kFileAttributeReparsePoint, 0u);
    EXPECT_EQ(info.reparseTag, 0u);
  }
}

}  // namespace
}  // namespace orvo::contract
