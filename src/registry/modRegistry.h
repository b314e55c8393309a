// Registry keys and values (and INI files through the same routines): reading,
// writing, listing and deleting, with the 64-bit view rule and the deletion ladder.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "platform/types.h"

namespace orvo::modRegistry {

// A tagged value: text, 32-bit integer or boolean. As text: the string itself, the
// decimal digits, or the word True or False.
using Value = std::variant<std::string, std::int32_t, bool>;
std::string ValueText(const Value& v);

// Result codes: 0 success, a Win32 code, or 99 when no registry call was made.
inline constexpr std::int32_t kNotCalled = 99;
// fTopKey's answer for a top-key string that names an existing file.
inline constexpr platform::Handle kIniFile = 1;

// The root for a short top-key name ("HKLM", any case), 1 for an existing file (INI
// mode), 0 when not recognised.
platform::Handle fTopKey(const std::string& sTopKey);
// True when "ProgramFiles(x86)" holds more than one character (64-bit Windows).
bool Is64bitEnv();

// Where a key path is opened: on 64-bit Windows the 64-bit view, except paths naming
// Wow6432Node, which are shortened and opened in the 32-bit view (offline "guest_"
// hives: unchanged, no view flag).
struct KeyView {
  std::string path;
  platform::Dword flag = 0;
};
KeyView ViewFor(const std::string& sKeyPath);

// Reads one value ("S", "E", "M", "D", "B"); vValue starts as vDefault.
std::int32_t fReadValue(std::string sTopKey, std::string sKeyPath, std::string sValueName,
                        std::string sType, const Value& vDefault, Value& vValue);
// Writes one value, creating the key; "M" appends to the list; "B" stores nothing.
std::int32_t fWriteValue(std::string sTopKey, std::string sKeyPath, std::string sValueName,
                         std::string sType, const Value& vValue);
// Appends the key's values as "name=value" entries, each ending in NUL, then one NUL.
std::int32_t fEnumValue2(std::string sTopKey, std::string sKeyPath, std::string& sResult);

// Deletes sTopKey\sKeyPath\sSubKey with its subtree through the ladder: permissions
// widened, subtree removed deepest first, a second attempt after taking ownership,
// reg.exe last. 0 when gone (also when missing: then bNotFound becomes true).
std::int32_t fDeleteKey(std::string sTopKey, std::string sKeyPath, std::string sSubKey,
                        bool& bNotFound);
// Removes every key below sKeyPath, deepest first; the key itself stays.
void fDeleteSubkeys(platform::Handle root, std::string sKeyPath, std::string sTopKey);
// Deletes one value, with one retry after subinacl.exe and the permission change.
std::int32_t fDeleteValue(std::string sTopKey, std::string sKeyPath, std::string sValueName,
                          bool& bNotFound);

}  // namespace orvo::modRegistry
