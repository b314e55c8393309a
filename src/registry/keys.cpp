// Naming keys: top-key names, INI-file mode and the view rule.
#include "registry/keys.h"

#include <array>

#include "platform/platform.h"
#include "support/log.h"
#include "support/strings.h"
#include "support/windows_version.h"

namespace orvo::registry {
namespace {

using platform::Dword;
using platform::Handle;

constexpr std::array<TopKeyName, 6> kTopKeys{{
    {"HKCU", platform::kHkeyCurrentUser, "HKEY_CURRENT_USER", true},
    {"HKLM", platform::kHkeyLocalMachine, "HKEY_LOCAL_MACHINE", true},
    {"HKU", platform::kHkeyUsers, "HKEY_USERS", true},
    {"HKDD", platform::kHkeyDynData, "HKEY_DYN_DATA", false},
    {"HKCC", platform::kHkeyCurrentConfig, "HKEY_CURRENT_CONFIG", false},
    {"HKCR", platform::kHkeyClassesRoot, "HKEY_CLASSES_ROOT", true},
}};

}  // namespace

const TopKeyName* FindTopKey(const std::string& sTopKey) {
  const std::string name = support::Upper(sTopKey);
  for (const TopKeyName& entry : kTopKeys) {
    if (name == entry.shortName) return &entry;
  }
  return nullptr;
}

std::string LongRootPrefix(const std::string& sTopKey) {
  const TopKeyName* entry = FindTopKey(sTopKey);
  if (entry == nullptr) return {};
  return std::string(entry->longName) + "\\";
}

Handle fTopKey(const std::string& sTopKey) {
  Handle result = 0;
  try {
    if (const TopKeyName* entry = FindTopKey(sTopKey)) return entry->root;
    // Any other string names an INI file when it is an existing ordinary file. No
    // pattern matching: a name with wildcards names nothing.
    if (!sTopKey.empty()) {
      const Dword attributes = platform::Files().GetFileAttributesW(sTopKey);
      constexpr Dword kNotNormal = platform::kFileAttributeDirectory |
                                   platform::kFileAttributeHidden | platform::kFileAttributeSystem;
      if (attributes != platform::kInvalidFileAttributes && (attributes & kNotNormal) == 0) {
        result = kIniFile;
      }
    }
  } catch (...) {
    support::DPrintCaughtError("modRegistry\\fTopKey - VB ERROR: ");
    support::DPrint("\t- Passed: " + sTopKey);
    support::DPrint("\t- Returned: " + std::to_string(result));
  }
  return result;
}

bool Is64bitEnv() { return support::Is64BitWindows(); }

// A path naming Wow6432Node is opened in the 32-bit view explicitly, so that every
// step of its deletion reaches the same key.
KeyView ViewFor(const std::string& sKeyPath) {
  if (!Is64bitEnv()) return {sKeyPath, 0};
  const std::string lower = support::Lower(sKeyPath);
  if (lower.find("wow6432node") == std::string::npos) return {sKeyPath, platform::kKeyWow64_64Key};
  if (lower.find("guest_") != std::string::npos) return {sKeyPath, 0};
  return {support::Strip(lower, "wow6432node\\"), platform::kKeyWow64_32Key};
}

std::string ResultLine(std::int32_t code) {
  if (code == kSuccess) return "\t- lResult: 0 SUCCESS";
  if (code == kNotFound) return "\t- lResult: 2 NOT FOUND";
  return "\t- lResult (0=Success 2=Not Found): " + std::to_string(code);
}

}  // namespace orvo::registry
