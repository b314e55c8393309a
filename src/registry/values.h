// Registry values (and INI files through the same routines): reading, writing, listing and
// deleting.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "platform/types.h"
#include "registry/keys.h"

namespace orvo::registry {

// A tagged value: text, 32-bit integer or boolean. As text: the string itself, the
// decimal digits, or the word True or False.
using Value = std::variant<std::string, std::int32_t, bool>;
std::string ValueText(const Value& v);

// Reads one value ("S", "E", "M", "D", "B"); vValue starts as vDefault.
std::int32_t fReadValue(std::string sTopKey, std::string sKeyPath, std::string sValueName,
                        std::string sType, const Value& vDefault, Value& vValue);
// Writes one value, creating the key; "M" appends to the list; "B" stores nothing.
std::int32_t fWriteValue(std::string sTopKey, std::string sKeyPath, std::string sValueName,
                         std::string sType, const Value& vValue);
// Appends the key's values as "name=value" entries, each ending in NUL, then one NUL.
std::int32_t fEnumValue2(std::string sTopKey, std::string sKeyPath, std::string& sResult);

// Deletes one value, with one retry after subinacl.exe and the permission change.
std::int32_t fDeleteValue(std::string sTopKey, std::string sKeyPath, std::string sValueName,
                          bool& bNotFound);

// The value as text (fReadValue with an empty default): "" when it is missing or cannot be read.
std::string ReadValueText(const std::string& sTopKey, const std::string& sKeyPath,
                          const std::string& sValueName, const std::string& sType);

// True when the key exists where the registry routines open it (same view rule); a key
// that exists but refuses to be read counts as existing; any other failure as missing.
// Reads only.
bool KeyExists(const std::string& sTopKey, const std::string& sKeyPath);

}  // namespace orvo::registry
