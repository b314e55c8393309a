// Contract of the file calls: attributes, deletion refusals, long paths, drives and WOW64
// redirection.
#include <gtest/gtest.h>

#include <vector>

#include "backend.h"
#include "support/strings.h"
#include "support/unicode.h"

namespace orvo::contract {
namespace {

using platform::Dword;
using platform::Files;
using platform::GetLastError;
using platform::kInvalidFileAttributes;
using platform::SetLastError;

// A scratch folder with a plain file, a read-only file, a file another program holds open
// without sharing, and a subfolder.
class FilesContract : public ::testing::Test {
 protected:
  FilesContract() {
    machine->AddFile(At("file.txt"));
    machine->AddFile(At("readonly.txt"),
                     platform::kFileAttributeReadonly | platform::kFileAttributeArchive);
    machine->AddFile(At("locked.txt"));
    machine->LockFile(At("locked.txt"));
    machine->AddDir(At("folder"));
  }

  std::string At(const std::string& name) const { return machine->Scratch() + "\\" + name; }

  std::unique_ptr<Machine> machine = Machine::Create();
};

TEST_F(FilesContract, AttributesOfWhatIsThereAndWhyNot) {
  const struct {
    const char* name;
    std::string path;
    Dword present;  // bits that must be set (when the path is found)
    Dword absent;   // bits that must be clear
    Dword error;    // 0: found; else the error with kInvalidFileAttributes
  } rows[] = {
      {"file", At("file.txt"), 0, platform::kFileAttributeDirectory, 0},
      {"folder", At("folder"), platform::kFileAttributeDirectory, 0, 0},
      {"drive root", "C:\\", platform::kFileAttributeDirectory, 0, 0},
      {"read-only file", At("readonly.txt"), platform::kFileAttributeReadonly,
       platform::kFileAttributeDirectory, 0},
      {"file held open without sharing", At("locked.txt"), 0, platform::kFileAttributeDirectory, 0},
      {"missing file in a folder that exists", At("missing.txt"), 0, 0,
       platform::kErrorFileNotFound},
      {"file below a missing folder", At("nofolder\\file.txt"), 0, 0, platform::kErrorPathNotFound},
      {"question mark in the name", At("what?.txt"), 0, 0, platform::kErrorInvalidName},
      {"angle bracket in the name", At("a<b.txt"), 0, 0, platform::kErrorInvalidName},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    SetLastError(0);
    const Dword attributes = Files().GetFileAttributesW(row.path);
    if (row.error != 0) {
      EXPECT_EQ(attributes, kInvalidFileAttributes);
      EXPECT_EQ(GetLastError(), row.error);
      continue;
    }
    ASSERT_NE(attributes, kInvalidFileAttributes) << GetLastError();
    EXPECT_EQ(attributes & row.present, row.present) << std::hex << attributes;
    EXPECT_EQ(attributes & row.absent, 0u) << std::hex << attributes;
  }
}

TEST_F(FilesContract, DeleteRefusalsLeaveTheFileInPlace) {
  const struct {
    const char* name;
    std::string path;
    Dword error;
  } rows[] = {
      {"missing file", At("missing.txt"), platform::kErrorFileNotFound},
      {"file below a missing folder", At("nofolder\\file.txt"), platform::kErrorPathNotFound},
      {"invalid name", At("what?.txt"), platform::kErrorInvalidName},
      {"folder", At("folder"), platform::kErrorAccessDenied},
      {"read-only file", At("readonly.txt"), platform::kErrorAccessDenied},
      {"file held open without sharing", At("locked.txt"), platform::kErrorSharingViolation},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const Dword before = Files().GetFileAttributesW(row.path);
    SetLastError(0);
    EXPECT_FALSE(Files().DeleteFileW(row.path));
    EXPECT_EQ(GetLastError(), row.error);
    EXPECT_EQ(Files().GetFileAttributesW(row.path), before);
  }
}

TEST_F(FilesContract, DeletedFileIsGoneAndASecondDeleteSaysNotFound) {
  ASSERT_TRUE(Files().DeleteFileW(At("file.txt"))) << GetLastError();
  EXPECT_EQ(Files().GetFileAttributesW(At("file.txt")), kInvalidFileAttributes);
  EXPECT_EQ(GetLastError(), platform::kErrorFileNotFound);
  EXPECT_FALSE(Files().DeleteFileW(At("file.txt")));
  EXPECT_EQ(GetLastError(), platform::kErrorFileNotFound);
}

// The removal clears what would refuse it: set attributes read back as set, and a read-only
// file cannot be deleted until its attributes are cleared.
TEST_F(FilesContract, SetAttributesReadBackAndReadOnlyRefusesDeleteUntilCleared) {
  constexpr Dword kReadonly = platform::kFileAttributeReadonly;
  constexpr Dword kHidden = platform::kFileAttributeHidden;
  constexpr Dword kSystem = platform::kFileAttributeSystem;
  constexpr Dword kAll = kReadonly | kHidden | kSystem;
  const std::string path = At("file.txt");
  for (const Dword bits : {kReadonly, kHidden, kSystem, kAll}) {
    SCOPED_TRACE(bits);
    ASSERT_TRUE(Files().SetFileAttributesW(path, bits)) << GetLastError();
    EXPECT_EQ(Files().GetFileAttributesW(path) & kAll, bits);
  }
  SetLastError(0);
  EXPECT_FALSE(Files().DeleteFileW(path));
  EXPECT_EQ(GetLastError(), platform::kErrorAccessDenied);
  EXPECT_NE(Files().GetFileAttributesW(path), kInvalidFileAttributes);

  ASSERT_TRUE(Files().SetFileAttributesW(path, platform::kFileAttributeNormal)) << GetLastError();
  EXPECT_EQ(Files().GetFileAttributesW(path) & kAll, 0u);
  EXPECT_TRUE(Files().DeleteFileW(path)) << GetLastError();
  EXPECT_EQ(Files().GetFileAttributesW(path), kInvalidFileAttributes);
}

TEST_F(FilesContract, SetAttributesOfAMissingPathFails) {
  const struct {
    const char* name;
    std::string path;
    Dword error;
  } rows[] = {
      {"missing file", At("missing.txt"), platform::kErrorFileNotFound},
      {"file below a missing folder", At("nofolder\\file.txt"), platform::kErrorPathNotFound},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    SetLastError(0);
    EXPECT_FALSE(Files().SetFileAttributesW(row.path, platform::kFileAttributeHidden));
    EXPECT_EQ(GetLastError(), row.error);
  }
}

// A path that goes on past a file names nothing, and a colon names a stream of a file.
TEST_F(FilesContract, FileWithATrailingBackslashIsPathNotFound) {
  SetLastError(0);
  EXPECT_EQ(Files().GetFileAttributesW(At("file.txt\\")), kInvalidFileAttributes);
  EXPECT_EQ(GetLastError(), platform::kErrorPathNotFound);
}

TEST_F(FilesContract, NameBelowAFileIsPathNotFound) {
  SetLastError(0);
  EXPECT_EQ(Files().GetFileAttributesW(At("file.txt\\inner.txt")), kInvalidFileAttributes);
  EXPECT_EQ(GetLastError(), platform::kErrorPathNotFound);
}

TEST_F(FilesContract, ColonNamesAStreamOfAMissingFile) {
  SetLastError(0);
  EXPECT_EQ(Files().GetFileAttributesW(At("missing.txt:stream")), kInvalidFileAttributes);
  EXPECT_EQ(GetLastError(), platform::kErrorFileNotFound);
}

// Past MAX_PATH the plain form fails in Windows itself; the calls must still reach the file.
TEST_F(FilesContract, PathsLongerThanMaxPathWork) {
  std::string path = machine->Scratch();
  for (int level = 0; level < 5; ++level) path += "\\" + std::string(60, char('a' + level));
  path += "\\deep.txt";
  ASSERT_GT(path.size(), 260u);
  machine->AddFile(path);

  const Dword attributes = Files().GetFileAttributesW(path);
  ASSERT_NE(attributes, kInvalidFileAttributes) << GetLastError();
  EXPECT_EQ(attributes & platform::kFileAttributeDirectory, 0u);
  EXPECT_NE(Files().GetFileAttributesW("\\\\?\\" + path), kInvalidFileAttributes);

  EXPECT_TRUE(Files().DeleteFileW(path)) << GetLastError();
  EXPECT_EQ(Files().GetFileAttributesW(path), kInvalidFileAttributes);
  EXPECT_EQ(GetLastError(), platform::kErrorFileNotFound);
}

// The removal asks a drive's type and volume before it works on it.
TEST(DrivesContract, SystemDriveIsAFixedVolumeAndAnUnmappedLetterHasNoRoot) {
  const std::unique_ptr<Machine> machine = Machine::Create();
  EXPECT_EQ(Files().GetDriveTypeW("C:\\"), platform::kDriveFixed);
  platform::VolumeInformation volume;
  ASSERT_TRUE(Files().GetVolumeInformationW("C:\\", volume)) << GetLastError();
  EXPECT_FALSE(volume.fileSystemName.empty());

  // Q: is no drive in the test prefix (nor on a usual Windows machine).
  EXPECT_EQ(Files().GetDriveTypeW("Q:\\"), platform::kDriveNoRootDir);
  SetLastError(0);
  EXPECT_FALSE(Files().GetVolumeInformationW("Q:\\", volume));
  EXPECT_NE(GetLastError(), 0u);
}

// A 32-bit program on 64-bit Windows sees syswow64 as system32 and reaches the real system32
// through sysnative, or as system32 while its thread has redirection off.
class RedirectionContract : public ::testing::Test {
 protected:
  RedirectionContract() {
    machine->AddFile(windows + "\\system32\\orvo-contract-native.txt");
    machine->AddFile(windows + "\\syswow64\\orvo-contract-wow64.txt");
  }

  // Which of the two files the program's own system32 shows.
  void ExpectSystem32Shows(bool nativeFile) {
    const Dword native =
        Files().GetFileAttributesW(windows + "\\system32\\orvo-contract-native.txt");
    const Dword wow64 = Files().GetFileAttributesW(windows + "\\system32\\orvo-contract-wow64.txt");
    EXPECT_EQ(native != kInvalidFileAttributes, nativeFile);
    EXPECT_EQ(wow64 != kInvalidFileAttributes, !nativeFile);
  }

  std::unique_ptr<Machine> machine = Machine::Create();
  std::string windows =
      platform::Env().GetEnvironmentVariableW("SystemRoot").value_or("C:\\windows");
};

TEST_F(RedirectionContract, System32IsSysWow64AndSysnativeIsTheRealOne) {
  ExpectSystem32Shows(/*nativeFile=*/false);
  SetLastError(0);
  EXPECT_EQ(Files().GetFileAttributesW(windows + "\\system32\\orvo-contract-native.txt"),
            kInvalidFileAttributes);
  EXPECT_EQ(GetLastError(), platform::kErrorFileNotFound);
  EXPECT_NE(Files().GetFileAttributesW(windows + "\\sysnative\\orvo-contract-native.txt"),
            kInvalidFileAttributes);
}

TEST_F(RedirectionContract, DisablingShowsTheRealSystem32AndRevertRestores) {
  platform::Handle old = 0;
  ASSERT_TRUE(Files().Wow64DisableWow64FsRedirection(old)) << GetLastError();
  ExpectSystem32Shows(/*nativeFile=*/true);
  ASSERT_TRUE(Files().Wow64RevertWow64FsRedirection(old)) << GetLastError();
  ExpectSystem32Shows(/*nativeFile=*/false);
}

// A file, even one another program holds, can be recorded for deletion at the next start: the
// system keeps it in PendingFileRenameOperations, as "\\??\\" and the path, then an empty new
// name. The file stays until then.
TEST_F(FilesContract, DeletionAtTheNextStartIsRecordedForTheSystem) {
  const std::string file = At("locked.txt");
  const std::string key = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
  const std::string name = "PendingFileRenameOperations";
  ASSERT_TRUE(Files().MoveFileExW(file, std::nullopt, platform::kMovefileDelayUntilReboot))
      << GetLastError();
  EXPECT_NE(Files().GetFileAttributesW(file), kInvalidFileAttributes);

  platform::UniqueHkey opened;
  ASSERT_EQ(platform::Registry().RegOpenKeyExW(platform::kHkeyLocalMachine, key, 0,
                                               platform::kKeyQueryValue | platform::kKeySetValue,
                                               *opened.put()),
            0U);
  Dword type = 0;
  Dword size = 0;
  ASSERT_EQ(platform::Registry().RegQueryValueExW(opened.get(), name, &type, nullptr, &size), 0U);
  std::vector<std::uint8_t> data(size);
  ASSERT_EQ(platform::Registry().RegQueryValueExW(opened.get(), name, &type, data.data(), &size),
            0U);
  EXPECT_EQ(type, platform::kRegMultiSz);
  const std::string text = support::FromUtf16Bytes(data.data(), data.size());
  const std::string entry = "\\??\\" + file + std::string(1, '\0') + std::string(1, '\0');
  EXPECT_NE(support::Lower(text).find(support::Lower(entry)), std::string::npos) << text;
  // This machine is not restarted: the list goes again.
  EXPECT_EQ(platform::Registry().RegDeleteValueW(opened.get(), name), 0U);
}

}  // namespace
}  // namespace orvo::contract
