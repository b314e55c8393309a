// Naming keys: the top-key names, the INI-file mode, the 64-bit Windows test and the view rule
// that every registry routine opens its key by.
#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace orvo::registry {

// Result codes: 0 success, a Win32 code (2: not found), or 99 when no registry call was made.
inline constexpr std::int32_t kSuccess = 0;
inline constexpr std::int32_t kNotFound = 2;
inline constexpr std::int32_t kNotCalled = 99;
// fTopKey's answer for a top-key string that names an existing file.
inline constexpr platform::Handle kIniFile = 1;

// One predefined root: its short name ("HKLM"), its handle and its long name
// ("HKEY_LOCAL_MACHINE"). `common` marks the four roots the permission, value-deletion and
// ownership routines accept (HKLM, HKCU, HKU, HKCR); the others only fTopKey knows.
struct TopKeyName {
  const char* shortName;
  platform::Handle root;
  const char* longName;
  bool common;
};
// The entry for a short name in any letter case; nullptr for any other text.
const TopKeyName* FindTopKey(const std::string& sTopKey);
// The long name and a backslash ("HKEY_CURRENT_USER\"); empty for an unknown name.
std::string LongRootPrefix(const std::string& sTopKey);

// The root for a short top-key name ("HKLM", any case), 1 for an existing file (INI
// mode), 0 when not recognised.
platform::Handle fTopKey(const std::string& sTopKey);
// True on 64-bit Windows (the system's answer: the environment does not decide).
bool Is64bitEnv();

// Where a key path is opened: on 64-bit Windows the 64-bit view, except paths naming
// Wow6432Node, which are shortened and opened in the 32-bit view (offline "guest_"
// hives: unchanged, no view flag).
struct KeyView {
  std::string path;
  platform::Dword flag = 0;
};
KeyView ViewFor(const std::string& sKeyPath);

// The closing log line of a registry routine: "0 SUCCESS", "2 NOT FOUND" or the code.
std::string ResultLine(std::int32_t code);

}  // namespace orvo::registry
