// The registry: keys, raw typed values, views and key security.
#pragma once

#include <cstdint>
#include <string>

#include "platform/security.h"
#include "platform/types.h"

namespace orvo::platform {

// Predefined root keys, with the handle values Windows gives them: the 32-bit value
// sign-extended to the width of a handle, as ((HKEY)(ULONG_PTR)((LONG)0x80000002)) does
// (0xFFFFFFFF80000002 in a 64-bit build).
constexpr Handle PredefinedKey(std::uint32_t value) noexcept {
  return static_cast<Handle>(static_cast<std::intptr_t>(static_cast<std::int32_t>(value)));
}
inline constexpr Handle kHkeyClassesRoot = PredefinedKey(0x80000000);
inline constexpr Handle kHkeyCurrentUser = PredefinedKey(0x80000001);
inline constexpr Handle kHkeyLocalMachine = PredefinedKey(0x80000002);
inline constexpr Handle kHkeyUsers = PredefinedKey(0x80000003);
inline constexpr Handle kHkeyCurrentConfig = PredefinedKey(0x80000005);
inline constexpr Handle kHkeyDynData = PredefinedKey(0x80000006);

// Value types.
inline constexpr Dword kRegNone = 0;
inline constexpr Dword kRegSz = 1;
inline constexpr Dword kRegExpandSz = 2;
inline constexpr Dword kRegBinary = 3;
inline constexpr Dword kRegDword = 4;
inline constexpr Dword kRegMultiSz = 7;

// Access rights and view flags.
inline constexpr Dword kKeyQueryValue = 0x0001;
inline constexpr Dword kKeySetValue = 0x0002;
inline constexpr Dword kKeyCreateSubKey = 0x0004;
inline constexpr Dword kKeyEnumerateSubKeys = 0x0008;
inline constexpr Dword kKeyWow64_64Key = 0x0100;
inline constexpr Dword kKeyWow64_32Key = 0x0200;
inline constexpr Dword kKeyRead = 0x20019;
inline constexpr Dword kKeyWrite = 0x20006;
inline constexpr Dword kKeyExecute = 0x20019;
inline constexpr Dword kKeyAllAccess = 0xF003F;
inline constexpr Dword kReadControl = 0x00020000;
inline constexpr Dword kWriteDac = 0x00040000;

// Every call answers a Win32 code (0 success), as the registry API does. Names and
// string data are UTF-8 here; string values travel as the raw bytes Windows stores
// (UTF-16LE, with whatever terminator the writer gave them).
class IRegistry {
 public:
  virtual ~IRegistry() = default;
  virtual Dword RegOpenKeyExW(Handle root, const std::string& subKey, Dword options,
                              Dword samDesired, Handle& result) = 0;
  virtual Dword RegCreateKeyExW(Handle root, const std::string& subKey, Dword options,
                                Dword samDesired, Handle& result, Dword* disposition) = 0;
  // Win32 semantics: data null asks only for type and size; a buffer smaller than the
  // data answers kErrorMoreData with *cbData set to the size needed.
  virtual Dword RegQueryValueExW(Handle key, const std::string& valueName, Dword* type,
                                 std::uint8_t* data, Dword* cbData) = 0;
  virtual Dword RegSetValueExW(Handle key, const std::string& valueName, Dword type,
                               const std::uint8_t* data, Dword cbData) = 0;
  // The index-th value: its name, type and data size (kErrorNoMoreItems past the end).
  virtual Dword RegEnumValueW(Handle key, Dword index, std::string& name, Dword* type,
                              Dword* cbData) = 0;
  // The index-th subkey's name (kErrorNoMoreItems past the end).
  virtual Dword RegEnumKeyExW(Handle key, Dword index, std::string& name) = 0;
  // Deletes a subkey without subkeys of its own, in the view samDesired names.
  virtual Dword RegDeleteKeyExW(Handle key, const std::string& subKey, Dword samDesired) = 0;
  virtual Dword RegDeleteValueW(Handle key, const std::string& valueName) = 0;
  virtual Dword RegCloseKey(Handle key) = 0;
  // The parts of the key's security descriptor that securityInformation names.
  virtual Dword RegGetKeySecurity(Handle key, Dword securityInformation,
                                  SecurityDescriptor& descriptor) = 0;
  virtual Dword RegSetKeySecurity(Handle key, Dword securityInformation,
                                  const SecurityDescriptor& descriptor) = 0;
};

}  // namespace orvo::platform
