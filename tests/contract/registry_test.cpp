// Contract of the registry calls the system relies on: the two views of a 32-bit program, keys,
// raw values, enumeration, deletion refusals, key security, and the account names that key
// permissions are written for.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "backend.h"

namespace orvo::contract {
namespace {

using namespace std::string_view_literals;
using platform::Acl;
using platform::Dword;
using platform::GetLastError;
using platform::Handle;
using platform::Registry;
using platform::SecurityDescriptor;
using platform::Sid;
using platform::UniqueHkey;

constexpr Handle kHklm = platform::kHkeyLocalMachine;
constexpr Dword k32 = platform::kKeyWow64_32Key;
constexpr Dword k64 = platform::kKeyWow64_64Key;
constexpr Dword kRead = platform::kKeyRead;
constexpr Dword kCreatedNewKey = 1;      // REG_CREATED_NEW_KEY
constexpr Dword kOpenedExistingKey = 2;  // REG_OPENED_EXISTING_KEY

using Bytes = std::vector<std::uint8_t>;

// The UTF-16LE bytes of the text as written, its NULs included.
Bytes Utf16(std::u16string_view text) {
  Bytes bytes;
  for (const char16_t c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return bytes;
}

// A case's key: the path the program names below HKLM, and the native paths of the 64-bit key
// and of its 32-bit twin.
std::string Path(const std::string& rest) { return "Software\\OrvoContract\\" + rest; }
std::string Native64(const std::string& rest) { return "HKLM\\Software\\OrvoContract\\" + rest; }
std::string Native32(const std::string& rest) {
  return "HKLM\\Software\\Wow6432Node\\OrvoContract\\" + rest;
}

class RegistryContract : public ::testing::Test {
 protected:
  // Opens a key below HKLM; the key is held in `key` on success and empty otherwise.
  static Dword Open(const std::string& path, Dword sam, UniqueHkey& key) {
    Handle opened = 0;
    const Dword code = Registry().RegOpenKeyExW(kHklm, path, 0, sam, opened);
    key = UniqueHkey(opened);
    EXPECT_EQ(key.get() != 0, code == platform::kErrorSuccess) << path;
    return code;
  }

  static UniqueHkey MustOpen(const std::string& path, Dword sam) {
    UniqueHkey key;
    EXPECT_EQ(Open(path, sam, key), platform::kErrorSuccess) << path;
    return key;
  }

  static UniqueHkey MustCreate(const std::string& path, Dword sam, Dword* disposition = nullptr) {
    Handle created = 0;
    EXPECT_EQ(Registry().RegCreateKeyExW(kHklm, path, 0, sam, created, disposition),
              platform::kErrorSuccess)
        << path;
    return UniqueHkey(created);
  }

  static SecurityDescriptor Dacl(const UniqueHkey& key) {
    SecurityDescriptor descriptor;
    EXPECT_EQ(
        Registry().RegGetKeySecurity(key.get(), platform::kDaclSecurityInformation, descriptor),
        platform::kErrorSuccess);
    return descriptor;
  }

  std::unique_ptr<Machine> machine = Machine::Create();
};

TEST_F(RegistryContract, EachViewOfThe32BitProgramSeesOnlyItsOwnKeys) {
  machine->AddKey(Native64("Only64"));
  machine->AddKey(Native32("Only32"));
  const std::string namingWow6432Node = "Software\\Wow6432Node\\OrvoContract\\Only32";
  const struct {
    const char* name;
    std::string path;
    Dword view;
    Dword code;
  } rows[] = {
      {"64-bit key, no view flag (the program's 32-bit view)", Path("Only64"), 0, 2},
      {"64-bit key, 64-bit view", Path("Only64"), k64, 0},
      {"64-bit key, 32-bit view", Path("Only64"), k32, 2},
      {"32-bit key, no view flag", Path("Only32"), 0, 0},
      {"32-bit key, 32-bit view", Path("Only32"), k32, 0},
      {"32-bit key, 64-bit view", Path("Only32"), k64, 2},
      {"path naming Wow6432Node, 32-bit view", namingWow6432Node, k32, 0},
      {"path naming Wow6432Node, 64-bit view", namingWow6432Node, k64, 0},
      {"missing key, 32-bit view", Path("Missing"), k32, 2},
      {"missing key, 64-bit view", Path("Missing"), k64, 2},
      {"missing parent", Path("Missing\\Child"), k64, 2},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    UniqueHkey key;
    EXPECT_EQ(Open(row.path, kRead | row.view, key), row.code);
  }
}

TEST_F(RegistryContract, AKeyWrittenInOneViewIsNotSeenInTheOther) {
  machine->AddKey(Native64("Written"));
  machine->AddKey(Native32("Written"));
  for (const Dword view : {k32, k64}) {
    SCOPED_TRACE(view == k32 ? "written in the 32-bit view" : "written in the 64-bit view");
    const std::string sub = view == k32 ? "Written\\By32" : "Written\\By64";
    Dword disposition = 0;
    const UniqueHkey key = MustCreate(Path(sub), platform::kKeyWrite | view, &disposition);
    EXPECT_EQ(disposition, kCreatedNewKey);
    const Bytes mark = {1, 2, 3, 4};
    EXPECT_EQ(Registry().RegSetValueExW(key.get(), "Mark", platform::kRegBinary, mark.data(), 4),
              platform::kErrorSuccess);

    UniqueHkey twin;
    EXPECT_EQ(Open(Path(sub), kRead | (view == k32 ? k64 : k32), twin),
              platform::kErrorFileNotFound);
    EXPECT_EQ(machine->KeyExists(Native32(sub)), view == k32);
    EXPECT_EQ(machine->KeyExists(Native64(sub)), view == k64);
  }
}

TEST_F(RegistryContract, OrdinaryClassesKeysAreSharedByBothViews) {
  const std::string path = "Software\\Classes\\OrvoContract.Shared";
  machine->AddKey("HKLM\\" + path);
  const UniqueHkey in32 = MustOpen(path, platform::kKeySetValue | k32);
  const Bytes text = Utf16(u"shared\0"sv);
  ASSERT_EQ(Registry().RegSetValueExW(in32.get(), "Mark", platform::kRegSz, text.data(),
                                      static_cast<Dword>(text.size())),
            platform::kErrorSuccess);
  for (const Dword view : {Dword{0}, k32, k64}) {
    SCOPED_TRACE(view);
    const UniqueHkey key = MustOpen(path, kRead | view);
    Bytes read(64);
    Dword size = static_cast<Dword>(read.size());
    ASSERT_EQ(Registry().RegQueryValueExW(key.get(), "Mark", nullptr, read.data(), &size),
              platform::kErrorSuccess);
    read.resize(size);
    EXPECT_EQ(read, text);
  }
}

TEST_F(RegistryContract, CreateMakesAMissingKeyWithItsParentsAndOpensAnExistingOne) {
  machine->AddKey(Native64("Create"));
  for (const Dword expected : {kCreatedNewKey, kOpenedExistingKey}) {
    SCOPED_TRACE(expected == kCreatedNewKey ? "first create" : "second create");
    Dword disposition = 0;
    const UniqueHkey key =
        MustCreate(Path("Create\\New\\Deeper"), platform::kKeyWrite | k64, &disposition);
    EXPECT_TRUE(key);
    EXPECT_EQ(disposition, expected);
  }
  EXPECT_TRUE(machine->KeyExists(Native64("Create\\New\\Deeper")));
  EXPECT_FALSE(machine->KeyExists(Native32("Create\\New")));
}

struct ValueRow {
  const char* name;
  Dword type;
  Bytes data;
};

std::vector<ValueRow> ValueRows() {
  return {
      {"REG_SZ with its NUL", platform::kRegSz, Utf16(u"Orvo\0"sv)},
      {"REG_SZ without a NUL", platform::kRegSz, Utf16(u"Orvo"sv)},
      {"empty REG_SZ", platform::kRegSz, {}},
      {"REG_EXPAND_SZ", platform::kRegExpandSz, Utf16(u"%SystemRoot%\\Orvo\0"sv)},
      {"REG_MULTI_SZ", platform::kRegMultiSz, Utf16(u"one\0two\0\0"sv)},
      {"REG_DWORD", platform::kRegDword, {0x78, 0x56, 0x34, 0x12}},
      {"REG_BINARY", platform::kRegBinary, {0x00, 0xFF, 0x10, 0x00, 0x7F}},
      {"empty REG_BINARY", platform::kRegBinary, {}},
  };
}

// Reads the value back exactly: type and size first (no buffer), then a buffer too small, then
// one with room to spare.
void ExpectValue(const UniqueHkey& key, const ValueRow& row) {
  const auto expectedSize = static_cast<Dword>(row.data.size());
  Dword type = 0;
  Dword size = 0;
  ASSERT_EQ(Registry().RegQueryValueExW(key.get(), row.name, &type, nullptr, &size),
            platform::kErrorSuccess);
  EXPECT_EQ(type, row.type);
  EXPECT_EQ(size, expectedSize);

  // A buffer of 0 bytes is how the system asks the size while passing a buffer.
  for (const Dword small : {Dword{0}, expectedSize - 1}) {
    if (expectedSize == 0 || small >= expectedSize) continue;
    SCOPED_TRACE("buffer of " + std::to_string(small) + " bytes");
    Bytes buffer(small + 1);
    size = small;
    EXPECT_EQ(Registry().RegQueryValueExW(key.get(), row.name, nullptr, buffer.data(), &size),
              platform::kErrorMoreData);
    EXPECT_EQ(size, expectedSize);
  }

  Bytes buffer(row.data.size() + 16, 0xAA);
  size = static_cast<Dword>(buffer.size());
  type = 0;
  ASSERT_EQ(Registry().RegQueryValueExW(key.get(), row.name, &type, buffer.data(), &size),
            platform::kErrorSuccess);
  EXPECT_EQ(type, row.type);
  ASSERT_EQ(size, expectedSize);
  buffer.resize(size);
  EXPECT_EQ(buffer, row.data);
}

TEST_F(RegistryContract, SeededValuesAnswerTheirTypeSizeAndExactBytes) {
  const std::vector<ValueRow> rows = ValueRows();
  machine->AddKey(Native64("Values"));
  for (const ValueRow& row : rows)
    machine->SetValue(Native64("Values"), row.name, row.type, row.data);
  const UniqueHkey key = MustOpen(Path("Values"), kRead | k64);
  for (const ValueRow& row : rows) {
    SCOPED_TRACE(row.name);
    ExpectValue(key, row);
  }
}

TEST_F(RegistryContract, ValuesSetThroughTheSeamReadBackByteForByte) {
  machine->AddKey(Native64("Values"));
  const UniqueHkey key = MustOpen(Path("Values"), platform::kKeySetValue | kRead | k64);
  for (const ValueRow& row : ValueRows()) {
    SCOPED_TRACE(row.name);
    // Windows also stores the character right after a string's counted bytes when that one is a
    // NUL and the counted ones end without; a guard character behind them keeps the count exact.
    Bytes guarded = row.data;
    guarded.insert(guarded.end(), {'X', 0});
    ASSERT_EQ(Registry().RegSetValueExW(key.get(), row.name, row.type, guarded.data(),
                                        static_cast<Dword>(row.data.size())),
              platform::kErrorSuccess);
    ExpectValue(key, row);
  }
}

TEST_F(RegistryContract, MissingValuesAreNotFoundAndASecondDeleteSaysSo) {
  machine->AddKey(Native64("Values"));
  machine->SetValue(Native64("Values"), "Present", platform::kRegDword, {1, 0, 0, 0});
  const UniqueHkey key = MustOpen(Path("Values"), platform::kKeySetValue | kRead | k64);
  Dword size = 0;
  EXPECT_EQ(Registry().RegQueryValueExW(key.get(), "Missing", nullptr, nullptr, &size),
            platform::kErrorFileNotFound);
  EXPECT_EQ(Registry().RegQueryValueExW(key.get(), "", nullptr, nullptr, &size),
            platform::kErrorFileNotFound)
      << "a new key has no default value";
  EXPECT_EQ(Registry().RegDeleteValueW(key.get(), "Missing"), platform::kErrorFileNotFound);

  EXPECT_EQ(Registry().RegDeleteValueW(key.get(), "Present"), platform::kErrorSuccess);
  EXPECT_EQ(Registry().RegQueryValueExW(key.get(), "Present", nullptr, nullptr, &size),
            platform::kErrorFileNotFound);
  EXPECT_EQ(Registry().RegDeleteValueW(key.get(), "Present"), platform::kErrorFileNotFound);
}

TEST_F(RegistryContract, EnumerationListsEveryValueAndDirectSubkeyThenSaysNoMoreItems) {
  const std::string native = Native64("Enum");
  machine->AddKey(native + "\\First");
  machine->AddKey(native + "\\Second\\Grandchild");
  machine->SetValue(native, "Text", platform::kRegSz, Utf16(u"abc\0"sv));
  machine->SetValue(native, "Number", platform::kRegDword, {1, 0, 0, 0});
  machine->SetValue(native, "Blob", platform::kRegBinary, Bytes(3000, 7));
  const UniqueHkey key = MustOpen(Path("Enum"), kRead | k64);

  using Entry = std::tuple<std::string, Dword, Dword>;
  std::vector<Entry> values;
  Dword code = 0;
  for (Dword index = 0; index < 100; ++index) {
    std::string name;
    Dword type = 0;
    // The size the system passes in; with no data buffer it is only an answer.
    Dword size = 2048;
    code = Registry().RegEnumValueW(key.get(), index, name, &type, &size);
    if (code != platform::kErrorSuccess) break;
    values.emplace_back(name, type, size);
  }
  EXPECT_EQ(code, platform::kErrorNoMoreItems);
  // Windows promises no order; the system collects every name before acting on any.
  std::sort(values.begin(), values.end());
  EXPECT_EQ(values, (std::vector<Entry>{{"Blob", platform::kRegBinary, 3000},
                                        {"Number", platform::kRegDword, 4},
                                        {"Text", platform::kRegSz, 8}}));

  std::vector<std::string> subkeys;
  for (Dword index = 0; index < 100; ++index) {
    std::string name;
    code = Registry().RegEnumKeyExW(key.get(), index, name);
    if (code != platform::kErrorSuccess) break;
    subkeys.push_back(name);
  }
  EXPECT_EQ(code, platform::kErrorNoMoreItems);
  std::sort(subkeys.begin(), subkeys.end());
  EXPECT_EQ(subkeys, (std::vector<std::string>{"First", "Second"}));

  const UniqueHkey empty = MustOpen(Path("Enum\\First"), kRead | k64);
  std::string name;
  Dword type = 0;
  Dword size = 0;
  EXPECT_EQ(Registry().RegEnumKeyExW(empty.get(), 0, name), platform::kErrorNoMoreItems);
  EXPECT_EQ(Registry().RegEnumValueW(empty.get(), 0, name, &type, &size),
            platform::kErrorNoMoreItems);
}

// Windows does not require a key name to be valid UTF-16: a name with a lone surrogate is
// handed out by the enumeration in a form that opens and deletes that same key again (and
// no other: a replacement character would name a different key).
TEST_F(RegistryContract, AKeyNameWithALoneSurrogateNamesTheSameKeyAgain) {
  const std::string odd = "Odd\xED\xA0\x80";  // "Odd" and the lone high surrogate D800
  machine->AddKey(Native64("Names\\" + odd));
  machine->AddKey(Native64("Names\\Odd\xEF\xBF\xBD"));  // "Odd" and U+FFFD: another key
  const UniqueHkey parent = MustOpen(Path("Names"), kRead | platform::kKeyCreateSubKey | k64);
  std::vector<std::string> names;
  for (Dword index = 0;; ++index) {
    std::string name;
    if (Registry().RegEnumKeyExW(parent.get(), index, name) != platform::kErrorSuccess) break;
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  ASSERT_EQ(names, (std::vector<std::string>{odd, "Odd\xEF\xBF\xBD"}));
  EXPECT_EQ(Registry().RegDeleteKeyExW(parent.get(), odd, k64), platform::kErrorSuccess);
  EXPECT_FALSE(machine->KeyExists(Native64("Names\\" + odd)));
  EXPECT_TRUE(machine->KeyExists(Native64("Names\\Odd\xEF\xBF\xBD")));
}

TEST_F(RegistryContract, DeleteRefusesAKeyWithSubkeysAndActsInOneViewOnly) {
  machine->AddKey(Native64("Delete\\Parent\\Child"));
  machine->AddKey(Native32("Delete\\Parent"));
  // Parents are opened as the deletion ladder opens them: with the right to make subkeys only.
  const UniqueHkey in64 = MustOpen(Path("Delete"), platform::kKeyCreateSubKey | k64);
  const UniqueHkey in32 = MustOpen(Path("Delete"), platform::kKeyCreateSubKey | k32);

  EXPECT_EQ(Registry().RegDeleteKeyExW(in64.get(), "Parent", k64), platform::kErrorAccessDenied)
      << "a key with a subkey is refused";
  EXPECT_TRUE(machine->KeyExists(Native64("Delete\\Parent\\Child")));
  EXPECT_EQ(Registry().RegDeleteKeyExW(in64.get(), "Missing", k64), platform::kErrorFileNotFound);

  {
    const UniqueHkey parent = MustOpen(Path("Delete\\Parent"), platform::kKeyCreateSubKey | k64);
    EXPECT_EQ(Registry().RegDeleteKeyExW(parent.get(), "Child", k64), platform::kErrorSuccess);
    EXPECT_EQ(Registry().RegDeleteKeyExW(parent.get(), "Child", k64), platform::kErrorFileNotFound);
  }
  EXPECT_EQ(Registry().RegDeleteKeyExW(in64.get(), "Parent", k64), platform::kErrorSuccess);
  EXPECT_FALSE(machine->KeyExists(Native64("Delete\\Parent")));
  EXPECT_TRUE(machine->KeyExists(Native32("Delete\\Parent"))) << "the 32-bit twin stays";

  EXPECT_EQ(Registry().RegDeleteKeyExW(in32.get(), "Parent", k32), platform::kErrorSuccess);
  EXPECT_FALSE(machine->KeyExists(Native32("Delete\\Parent")));
}

TEST_F(RegistryContract, DaclRoundTripKeepsEntriesFlagsAndInheritanceBits) {
  const struct {
    const char* name;
    std::uint16_t control;
  } rows[] = {
      {"Protected", platform::kSeDaclProtected},
      {"AutoInherited", platform::kSeDaclAutoInherited},
      {"Plain", 0},
  };
  constexpr std::uint16_t kInheritanceBits =
      platform::kSeDaclProtected | platform::kSeDaclAutoInherited;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string rest = std::string("Security\\") + row.name;
    machine->AddKey(Native64(rest));
    const UniqueHkey key = MustOpen(Path(rest), platform::kReadControl | platform::kWriteDac | k64);
    const SecurityDescriptor before = Dacl(key);
    ASSERT_TRUE(before.dacl.has_value()) << "a new key has a DACL";

    SecurityDescriptor wanted;
    wanted.control = static_cast<std::uint16_t>(platform::kSeDaclPresent | row.control);
    wanted.dacl = Acl{{
        {platform::kAccessDeniedAceType, 0, platform::kDelete, platform::kSidPowerUsers},
        {platform::kAccessAllowedAceType,
         platform::kContainerInheritAce | platform::kObjectInheritAce, kRead, platform::kSidUsers},
        {platform::kAccessAllowedAceType,
         platform::kContainerInheritAce | platform::kInheritOnlyAce, platform::kKeyAllAccess,
         platform::kSidLocalSystem},
    }};
    wanted.dacl->aces.insert(wanted.dacl->aces.end(), before.dacl->aces.begin(),
                             before.dacl->aces.end());
    wanted.dacl->aces.push_back({platform::kAccessAllowedAceType,
                                 platform::kInheritedAce | platform::kContainerInheritAce,
                                 platform::kKeyAllAccess, platform::kSidAdministrators});
    ASSERT_EQ(Registry().RegSetKeySecurity(key.get(), platform::kDaclSecurityInformation, wanted),
              platform::kErrorSuccess);

    const SecurityDescriptor after = Dacl(MustOpen(Path(rest), platform::kReadControl | k64));
    ASSERT_TRUE(after.dacl.has_value());
    EXPECT_EQ(after.dacl->aces, wanted.dacl->aces);
    EXPECT_EQ(after.control & kInheritanceBits, row.control);
    EXPECT_NE(after.control & platform::kSeDaclPresent, 0);
  }
}

TEST_F(RegistryContract, AnEmptyDaclShutsOutEveryoneButTheOwnerWhoCanWidenIt) {
  machine->AddKey(Native64("Locked"));
  machine->SetKeyDacl(Native64("Locked"), Acl{});
  UniqueHkey key;
  EXPECT_EQ(Open(Path("Locked"), kRead | k64, key), platform::kErrorAccessDenied);

  ASSERT_EQ(Open(Path("Locked"), platform::kReadControl | platform::kWriteDac | k64, key),
            platform::kErrorSuccess)
      << "the owner may always read and write the DACL";
  SecurityDescriptor descriptor = Dacl(key);
  ASSERT_TRUE(descriptor.dacl.has_value()) << "an empty DACL is not a missing one";
  EXPECT_TRUE(descriptor.dacl->aces.empty());
  descriptor.dacl->aces.push_back({platform::kAccessAllowedAceType, platform::kContainerInheritAce,
                                   kRead, platform::kSidEveryone});
  EXPECT_EQ(Registry().RegSetKeySecurity(key.get(), platform::kDaclSecurityInformation, descriptor),
            platform::kErrorSuccess);

  UniqueHkey reading;
  EXPECT_EQ(Open(Path("Locked"), kRead | k64, reading), platform::kErrorSuccess);
}

TEST_F(RegistryContract, DeleteDeniedToEveryoneRefusesTheDeletion) {
  machine->AddKey(Native64("Guarded\\Child"));
  machine->SetKeyDacl(
      Native64("Guarded\\Child"),
      Acl{{{platform::kAccessDeniedAceType, 0, platform::kDelete, platform::kSidEveryone},
           {platform::kAccessAllowedAceType, 0, platform::kKeyAllAccess, platform::kSidEveryone}}},
      0, platform::kSidLocalSystem);
  const UniqueHkey parent = MustOpen(Path("Guarded"), platform::kKeyCreateSubKey | k64);
  EXPECT_EQ(Registry().RegDeleteKeyExW(parent.get(), "Child", k64), platform::kErrorAccessDenied);
  EXPECT_TRUE(machine->KeyExists(Native64("Guarded\\Child")));
}

TEST(AccountsContract, BuiltInGroupsResolveToTheirWellKnownSidsAndUnknownNamesFail) {
  const std::unique_ptr<Machine> machine = Machine::Create();
  const struct {
    const char* name;
    std::optional<Sid> sid;
  } rows[] = {
      {"Administrators", platform::kSidAdministrators},
      {"Users", platform::kSidUsers},
      {"users", platform::kSidUsers},
      {"OrvoContractNoSuchAccount", std::nullopt},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    platform::SetLastError(0);
    EXPECT_EQ(platform::Security().LookupAccountNameW(row.name), row.sid);
    if (!row.sid) {
      EXPECT_EQ(GetLastError(), 1332u);  // ERROR_NONE_MAPPED
    }
  }
}

TEST(AccountsContract, TheTokenUserIsALocalAccountTheLookupKnowsByItsName) {
  const std::unique_ptr<Machine> machine = Machine::Create();
  const std::optional<Sid> user = platform::Security().GetTokenUserSid();
  ASSERT_TRUE(user.has_value()) << GetLastError();
  EXPECT_EQ(user->text.rfind("S-1-5-21-", 0), 0u) << user->text;
  // The system names the current user by USERNAME and writes its entries with the token's SID.
  const std::optional<std::string> name = platform::Env().GetEnvironmentVariableW("USERNAME");
  ASSERT_TRUE(name.has_value());
  EXPECT_EQ(platform::Security().LookupAccountNameW(*name), user);
}

}  // namespace
}  // namespace orvo::contract
