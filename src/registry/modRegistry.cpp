// Registry keys and values, and INI files through the same routines.
#include "registry/modRegistry.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <vector>

#include "fs/CommonModule.h"
#include "platform/platform.h"
#include "process/CommonModule.h"
#include "registry/SetPerm.h"
#include "registry/modTakeOwn.h"
#include "support/CommonModule.h"
#include "support/Utf16.h"

namespace orvo::modRegistry {
namespace {

using CommonModule::DPrint;
using platform::Dword;
using platform::Handle;
using platform::Registry;
using platform::UniqueHkey;

// Error numbers of failed conversions (they do not come from a platform call).
constexpr Dword kErrorArithmeticOverflow = 534;  // a "D" value outside 16 bits
constexpr Dword kErrorInvalidData = 13;          // a value that is not a number

constexpr std::int32_t kSuccess = 0;
constexpr std::int32_t kNotFound = 2;
constexpr std::int32_t kInvalidParameter = 87;

// True when a key name names no key: empty, blanks only, or backslashes (and blanks) only.
// Deleting such a "name" below a parent would delete the parent's own subtree.
bool NamesNoKey(const std::string& name) {
  return name.find_first_not_of(" \t\\") == std::string::npos;
}

// A failed conversion, caught and reported by the routine it happens in.
struct ConversionError {
  Dword number;
};

std::string Upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return s;
}
std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::string Env(const char* name) {
  return platform::Env().GetEnvironmentVariableW(name).value_or(std::string());
}

std::string Nuls(std::size_t n) { return std::string(n, '\0'); }

// The value as a 16-bit signed integer, the way a whole-number conversion takes text.
std::int16_t ToInt16(const Value& v) {
  std::int64_t n = 0;
  if (const auto* b = std::get_if<bool>(&v)) {
    n = *b ? -1 : 0;
  } else if (const auto* i = std::get_if<std::int32_t>(&v)) {
    n = *i;
  } else {
    std::string text = std::get<std::string>(v);
    text.erase(0, text.find_first_not_of(' '));
    text.erase(text.find_last_not_of(' ') + 1);
    const char* first = text.data();
    if (!text.empty() && text.front() == '+') ++first;
    const auto [end, ec] = std::from_chars(first, text.data() + text.size(), n);
    if (text.empty() || ec == std::errc::invalid_argument || end != text.data() + text.size()) {
      throw ConversionError{kErrorInvalidData};
    }
    if (ec == std::errc::result_out_of_range) throw ConversionError{kErrorArithmeticOverflow};
  }
  if (n < -32768 || n > 32767) throw ConversionError{kErrorArithmeticOverflow};
  return static_cast<std::int16_t>(n);
}

// The number of the error being handled: a conversion error's own, or the catalogue's.
Dword CaughtNumber() {
  try {
    throw;
  } catch (const ConversionError& e) {
    return e.number;
  } catch (const std::bad_alloc&) {
    return platform::kErrorNotEnoughMemory;
  } catch (...) {
    return platform::kErrorInvalidParameter;
  }
}

std::string ResultLine(std::int32_t code) {
  if (code == kSuccess) return "\t- lResult: 0 SUCCESS";
  if (code == kNotFound) return "\t- lResult: 2 NOT FOUND";
  return "\t- lResult (0=Success 2=Not Found): " + std::to_string(code);
}

std::string LongValuePrefix(const std::string& top) {
  const std::string t = Lower(top);
  if (t == "hkcu") return "hkey_current_user\\";
  if (t == "hklm") return "hkey_local_machine\\";
  if (t == "hku") return "hkey_users\\";
  if (t == "hkcr") return "hkey_classes_root\\";
  return {};
}

// reg.exe acts on the view the key was addressed in, never on its twin in the other one.
std::string RegExeViewSwitch(Dword viewFlag) {
  if (viewFlag == platform::kKeyWow64_64Key) return " /reg:64";
  if (viewFlag == platform::kKeyWow64_32Key) return " /reg:32";
  return {};
}

}  // namespace

std::string ValueText(const Value& v) {
  if (const auto* s = std::get_if<std::string>(&v)) return *s;
  if (const auto* i = std::get_if<std::int32_t>(&v)) return std::to_string(*i);
  return std::get<bool>(v) ? "True" : "False";
}

Handle fTopKey(const std::string& sTopKey) {
  Handle result = 0;
  try {
    const std::string top = Upper(sTopKey);
    if (top == "HKCU") return platform::kHkeyCurrentUser;
    if (top == "HKLM") return platform::kHkeyLocalMachine;
    if (top == "HKU") return platform::kHkeyUsers;
    if (top == "HKDD") return platform::kHkeyDynData;
    if (top == "HKCC") return platform::kHkeyCurrentConfig;
    if (top == "HKCR") return platform::kHkeyClassesRoot;
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
    CommonModule::DPrintError("modRegistry\\fTopKey - VB ERROR: ", CaughtNumber());
    DPrint("\t- Passed: " + sTopKey);
    DPrint("\t- Returned: " + std::to_string(result));
  }
  return result;
}

bool Is64bitEnv() { return Env("ProgramFiles(x86)").size() > 1; }

// A path naming Wow6432Node is opened in the 32-bit view explicitly, so that every
// step of its deletion reaches the same key.
KeyView ViewFor(const std::string& sKeyPath) {
  if (!Is64bitEnv()) return {sKeyPath, 0};
  const std::string lower = Lower(sKeyPath);
  if (lower.find("wow6432node") == std::string::npos) return {sKeyPath, platform::kKeyWow64_64Key};
  if (lower.find("guest_") != std::string::npos) return {sKeyPath, 0};
  return {CommonModule::Strip(lower, "wow6432node\\"), platform::kKeyWow64_32Key};
}

std::int32_t fReadValue(std::string sTopKey, std::string sKeyPath, std::string sValueName,
                        std::string sType, const Value& vDefault, Value& vValue) {
  std::int32_t result = kNotCalled;
  vValue = vDefault;
  const auto errorBlock = [&](Dword number) {
    CommonModule::DPrintError("modRegistry\\fReadValue - VB ERROR: ", number);
    DPrint("\t- Passed Key: " + sTopKey + "\\" + sKeyPath);
    DPrint("\t- Passed Value: " + sValueName);
    DPrint("\t- Returned Value: " + ValueText(vValue));
    DPrint("\t- lResult (0 is successful): " + std::to_string(result));
  };
  try {
    const Handle root = fTopKey(sTopKey);
    if (root == 0) return kNotCalled;
    const std::string type = Upper(sType);
    if (root == kIniFile) {
      if (type == "S") {
        std::string buffer;
        const Dword n = platform::Files().GetPrivateProfileStringW(
            sKeyPath, sValueName, ValueText(vDefault), buffer, 255, sTopKey);
        vValue = buffer.substr(0, n);
      } else {
        vValue = static_cast<std::int32_t>(
            platform::Files().GetPrivateProfileIntW(sKeyPath, sValueName, 0, sTopKey));
      }
      return kSuccess;
    }

    const KeyView view = ViewFor(sKeyPath);
    sKeyPath = view.path;
    Handle opened = 0;
    const Dword open =
        Registry().RegOpenKeyExW(root, sKeyPath, 0, platform::kKeyQueryValue | view.flag, opened);
    if (open != platform::kErrorSuccess) return static_cast<std::int32_t>(open);
    UniqueHkey key(opened);

    Dword query = platform::kErrorSuccess;
    if (type == "S" || type == "M") {
      std::uint8_t probe = 0;
      Dword size = 0;
      query = Registry().RegQueryValueExW(key.get(), sValueName, nullptr, &probe, &size);
      std::vector<std::uint8_t> data;
      if (query == platform::kErrorMoreData) {
        data.resize(size);
        query = Registry().RegQueryValueExW(key.get(), sValueName, nullptr, data.data(), &size);
        data.resize(std::min<std::size_t>(size, data.size()));
      }
      if (query == platform::kErrorSuccess) {
        std::string text = FromUtf16Bytes(data.data(), data.size());
        // One terminating NUL is the writer's, when there is one; text stored
        // without it keeps its last character.
        if (!text.empty() && text.back() == '\0') text.pop_back();
        vValue = text;
      }
    } else if (type == "D") {
      std::uint8_t bytes[4] = {};
      Dword size = sizeof bytes;
      query = Registry().RegQueryValueExW(key.get(), sValueName, nullptr, bytes, &size);
      if (query == platform::kErrorSuccess) {
        std::uint32_t n = 0;
        for (int i = 3; i >= 0; --i) n = (n << 8) | bytes[i];
        vValue = static_cast<std::int32_t>(n);
      }
    } else if (type == "B") {
      std::uint8_t bytes[2] = {};
      Dword size = sizeof bytes;
      query = Registry().RegQueryValueExW(key.get(), sValueName, nullptr, bytes, &size);
      if (query == platform::kErrorSuccess) vValue = (bytes[0] | bytes[1]) != 0;
    }
    if (query != platform::kErrorSuccess) return static_cast<std::int32_t>(query);

    result = static_cast<std::int32_t>(Registry().RegCloseKey(key.release()));
    DPrint("modRegistry\\fReadValue: ");
    DPrint("\t- Passed Key: " + sTopKey + "\\" + sKeyPath);
    DPrint("\t- Passed Value: " + sValueName);
    DPrint("\t- Returned Value: " + ValueText(vValue));
    DPrint("\t- lResult (0 is successful): " + std::to_string(result));
    return result;
  } catch (...) {
    errorBlock(CaughtNumber());
    return result;
  }
}

std::int32_t fWriteValue(std::string sTopKey, std::string sKeyPath, std::string sValueName,
                         std::string sType, const Value& vValue) {
  std::int32_t result = kNotCalled;
  const auto errorBlock = [&](Dword number) {
    CommonModule::DPrintError("modRegistry\\fWriteValue - VB ERROR: ", number);
    DPrint("\t- Passed Key: " + sTopKey + "\\" + sKeyPath);
    DPrint("\t- Passed Value: " + sValueName);
    DPrint("\t- lResult (0 is successful): " + std::to_string(result));
  };
  UniqueHkey key;
  try {
    const Handle root = fTopKey(sTopKey);
    if (root == 0) {
      errorBlock(0);
      return kNotCalled;
    }
    const std::string type = Upper(sType);
    if (root == kIniFile) {
      if (type != "S") {
        errorBlock(0);
        return kNotCalled;
      }
      platform::Files().WritePrivateProfileStringW(sKeyPath, sValueName, ValueText(vValue),
                                                   sTopKey);
      return kSuccess;
    }

    const Dword access = platform::kKeySetValue | platform::kKeyCreateSubKey |
                         (Is64bitEnv() ? platform::kKeyWow64_64Key : 0);
    const Dword create = Registry().RegCreateKeyExW(root, sKeyPath, 0, access, *key.put(), nullptr);
    result = static_cast<std::int32_t>(create);
    if (create != platform::kErrorSuccess) {
      errorBlock(create);
      return result;
    }

    Dword set = platform::kErrorSuccess;
    const auto setBytes = [&](Dword regType, const std::vector<std::uint8_t>& data) {
      set = Registry().RegSetValueExW(key.get(), sValueName, regType, data.data(),
                                      static_cast<Dword>(data.size()));
    };
    if (type == "S" || type == "E") {
      // Strings are stored with their terminating NUL, as the registry API expects.
      setBytes(type == "S" ? platform::kRegSz : platform::kRegExpandSz,
               ToUtf16Bytes(ValueText(vValue) + Nuls(1)));
    } else if (type == "D") {
      const auto n = static_cast<std::uint32_t>(static_cast<std::int32_t>(ToInt16(vValue)));
      setBytes(platform::kRegDword,
               {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
                static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24)});
    } else if (type == "M") {
      Value current;
      std::string data;
      if (fReadValue(sTopKey, sKeyPath, sValueName, "M", std::string(), current) != kSuccess) {
        data = ValueText(vValue) + Nuls(2);
      } else {
        std::string kept;
        const std::string list = ValueText(current);
        std::size_t start = 0;
        while (start <= list.size()) {
          const std::size_t end = std::min(list.find('\0', start), list.size());
          if (end > start) kept += (kept.empty() ? "" : Nuls(1)) + list.substr(start, end - start);
          start = end + 1;
        }
        data = (kept.empty() ? std::string() : kept + Nuls(1)) + ValueText(vValue) + Nuls(2);
      }
      setBytes(platform::kRegMultiSz, ToUtf16Bytes(data));
    }
    if (set != platform::kErrorSuccess) {
      DPrint("modRegistry\\fWriteValue: ");
      DPrint("\t- Passed Key: " + sTopKey + "\\" + sKeyPath);
      DPrint("\t- Passed Value: " + sValueName);
      DPrint("\t- lResult (0 is successful): " + std::to_string(set));
      return static_cast<std::int32_t>(set);
    }
    return static_cast<std::int32_t>(Registry().RegCloseKey(key.release()));
  } catch (...) {
    errorBlock(CaughtNumber());
    return result;
  }
}

std::int32_t fEnumValue2(std::string sTopKey, std::string sKeyPath, std::string& sResult) {
  std::int32_t result = kNotCalled;
  UniqueHkey key;
  const auto endWithFailure = [&](std::int32_t code, std::optional<Dword> error) {
    if (!sResult.empty()) sResult += Nuls(1);
    if (error) {
      CommonModule::DPrintError("modRegistry\\fEnumValue2 - VB ERROR: ", *error);
      DPrint("\t- Passed Key: " + sTopKey + "\\" + sKeyPath);
      DPrint("\t- Returned Values: " + sResult);
      DPrint("\t- lResult (0 is successful): " + std::to_string(code));
    }
    return code;
  };
  try {
    const Handle root = fTopKey(sTopKey);
    if (root == 0) return endWithFailure(kNotCalled, std::nullopt);
    if (root == kIniFile) {
      // The whole 8192-character buffer, as the section call leaves it.
      std::string section;
      const Dword n = platform::Files().GetPrivateProfileSectionW(sKeyPath, section, 8192, sTopKey);
      std::string buffer(8192, ' ');
      const std::size_t copied = std::min<std::size_t>(section.size(), buffer.size());
      buffer.replace(0, copied, section, 0, copied);
      (void)n;
      sResult = buffer;
      return kSuccess;
    }

    const KeyView view = ViewFor(sKeyPath);
    sKeyPath = view.path;
    const Dword open = Registry().RegOpenKeyExW(root, sKeyPath, 0,
                                                platform::kKeyQueryValue | view.flag, *key.put());
    if (open != platform::kErrorSuccess) {
      return endWithFailure(static_cast<std::int32_t>(open), std::nullopt);
    }
    for (Dword index = 0;; ++index) {
      std::string name;
      Dword type = 0;
      Dword size = 2048;
      if (Registry().RegEnumValueW(key.get(), index, name, &type, &size) !=
          platform::kErrorSuccess) {
        break;
      }
      const std::string cleanName = CommonModule::Strip(name, Nuls(1));
      if (type == platform::kRegSz) {
        std::vector<std::uint8_t> data(size);
        Dword got = size;
        const Dword query =
            Registry().RegQueryValueExW(key.get(), name, nullptr, data.data(), &got);
        if (query != platform::kErrorSuccess) {
          return endWithFailure(static_cast<std::int32_t>(query), std::nullopt);
        }
        sResult += cleanName + "=" +
                   CommonModule::Strip(FromUtf16Bytes(data.data(), std::min(got, size)), Nuls(1)) +
                   Nuls(1);
      } else if ((type == platform::kRegBinary && size <= 2) || type == platform::kRegDword) {
        std::uint8_t bytes[4] = {};
        Dword got = sizeof bytes;
        const Dword query = Registry().RegQueryValueExW(key.get(), name, nullptr, bytes, &got);
        if (query != platform::kErrorSuccess) {
          return endWithFailure(static_cast<std::int32_t>(query), std::nullopt);
        }
        std::uint32_t n = 0;
        for (int i = 3; i >= 0; --i) n = (n << 8) | bytes[i];
        sResult += cleanName + "=" + std::to_string(static_cast<std::int32_t>(n)) + Nuls(1);
      }
    }
    sResult += Nuls(1);
    if (sResult.size() == 1) sResult += Nuls(1);
    result = static_cast<std::int32_t>(Registry().RegCloseKey(key.release()));
    std::string shown = sResult;
    std::replace(shown.begin(), shown.end(), '\0', '|');
    DPrint("modRegistry\\fEnumValue2: ");
    DPrint("\t- Passed Key: " + sTopKey + "\\" + sKeyPath);
    DPrint("\t- Returned String:  (where | = vbNullChar)", "  " + shown);
    DPrint("\t- lResult (0 is successful): " + std::to_string(result));
    return result;
  } catch (...) {
    return endWithFailure(result, CaughtNumber());
  }
}

std::int32_t fDeleteKey(std::string sTopKey, std::string sKeyPath, std::string sSubKey,
                        bool& bNotFound) {
  std::int32_t result = kNotCalled;
  std::string fullPath = sTopKey + "\\" + sKeyPath + "\\" + sSubKey;
  try {
    const Handle root = fTopKey(sTopKey);
    if (root == 0) {
      CommonModule::DPrintError("modRegistry\\fDeleteKey - VB ERROR: ", 0);
      DPrint("\t- Key: " + fullPath);
      DPrint("\t- lResult (0=Success 2=Not Found): " + std::to_string(kNotCalled));
      return kNotCalled;
    }
    if (NamesNoKey(sSubKey)) {
      // A computed name that came out empty must never remove its parent: nothing is
      // touched, and the caller gets ERROR_INVALID_PARAMETER.
      DPrint("modRegistry\\fDeleteKey - Error:  " + std::to_string(kInvalidParameter));
      DPrint("\tKey:  " + fullPath);
      DPrint("\t- No key name given: nothing is deleted");
      return kInvalidParameter;
    }
    // The view is chosen once and used for every step of this deletion: the permission
    // change, the subtree removal, both attempts and reg.exe.
    const std::string keyPath = sKeyPath + "\\" + sSubKey;
    const KeyView view = ViewFor(sKeyPath);
    fullPath = sTopKey + "\\" + view.path + "\\" + sSubKey;

    // The access list as it was, to put back if every rung fails and the key stays.
    const std::optional<platform::SecurityDescriptor> savedDacl =
        SetPerm::SaveRegKeyDacl(sTopKey, keyPath);
    std::int32_t code = kNotCalled;
    for (bool secondRun = false;; secondRun = true) {
      try {
        if (secondRun) {
          std::string owner, grantee;
          modTakeOwn::TakeOwnRegKey(sTopKey, keyPath, owner, grantee);
        }
        SetPerm::GetRegKeyPermissions(sTopKey, keyPath);
        Handle opened = 0;
        code = static_cast<std::int32_t>(Registry().RegOpenKeyExW(
            root, view.path, 0, platform::kKeyCreateSubKey | view.flag, opened));
        if (code == kSuccess) {
          const UniqueHkey parent(opened);
          fDeleteSubkeys(root, keyPath, sTopKey);
          code = static_cast<std::int32_t>(
              Registry().RegDeleteKeyExW(parent.get(), sSubKey, view.flag));
        }
      } catch (...) {
        CommonModule::DPrintError("modRegistry\\fDeleteKey - VB ERROR: ", CaughtNumber());
        DPrint("\t- Key: " + fullPath);
        DPrint("\t- lResult (0=Success 2=Not Found): " + std::to_string(code));
      }
      if (code == kSuccess || code == kNotFound) {
        result = kSuccess;
        break;
      }
      result = code;
      DPrint("modRegistry\\fDeleteKey - Error:  " + std::to_string(code));
      DPrint("\tKey:  " + fullPath);
      if (!secondRun) {
        DPrint("\t- Attempting second run using subinacl...");
        continue;
      }
      const std::string command =
          CommonModule::QuoteArgument(fullPath, true) + " /f" + RegExeViewSwitch(view.flag);
      DPrint("modRegistry\\fDeleteKey:  Still not working, attempting deletion with reg.exe");
      DPrint("\tcmd:  reg.exe delete " + command);
      const std::string regExe = CommonModule::NativeSystemTool("reg.exe");
      if (CommonModule::DoesFileExist(regExe, false)) {
        std::string workDir;
        std::int32_t exitCode = 0;
        CommonModule::ShellX(regExe, "DELETE " + command, true, 0, "open", workDir, exitCode);
      } else {
        DPrint("\t- reg.exe not found, skipped: " + regExe);
      }
      break;
    }
    if (result != kSuccess) SetPerm::RestoreRegKeyDacl(sTopKey, keyPath, savedDacl);
    if (code == kNotFound) bNotFound = true;
    DPrint("modRegistry\\fDeleteKey: ");
    DPrint("\t- Key: " + fullPath);
    DPrint(ResultLine(code));
    return result;
  } catch (...) {
    CommonModule::DPrintError("modRegistry\\fDeleteKey - VB ERROR: ", CaughtNumber());
    DPrint("\t- Key: " + fullPath);
    DPrint("\t- lResult (0=Success 2=Not Found): " + std::to_string(result));
    return result;
  }
}

void fDeleteSubkeys(Handle root, std::string sKeyPath, std::string sTopKey) {
  try {
    DPrint("modRegistry\\fDeleteSubkeys passed: " + sTopKey + "\\" + sKeyPath);
    if (NamesNoKey(sKeyPath)) {
      // An empty path is the root itself: its subkeys are never removed wholesale.
      DPrint("modRegistry\\fDeleteSubkeys: No key path given: nothing is deleted");
      return;
    }
    const KeyView view = ViewFor(sKeyPath);
    Handle opened = 0;
    if (Registry().RegOpenKeyExW(root, view.path, 0, platform::kKeyAllAccess | view.flag, opened) !=
        platform::kErrorSuccess) {
      DPrint("modRegistry\\fDeleteSubkeys: Error opening key: " + view.path);
      return;
    }
    const UniqueHkey key(opened);
    // All names first: deleting while enumerating would shift the indices.
    std::vector<std::string> names;
    std::string name;
    for (Dword index = 0;
         Registry().RegEnumKeyExW(key.get(), index, name) == platform::kErrorSuccess; ++index) {
      names.push_back(name.substr(0, name.find('\0')));
    }
    for (const std::string& child : names) {
      // Children keep the caller's spelling of the path, so that each one is widened
      // and removed in the same view as the key itself.
      const std::string childPath = sKeyPath + "\\" + child;
      const std::optional<platform::SecurityDescriptor> savedDacl =
          SetPerm::SaveRegKeyDacl(sTopKey, childPath);
      SetPerm::GetRegKeyPermissions(sTopKey, childPath);
      fDeleteSubkeys(root, childPath, sTopKey);
      // A child that stays gets its own access list back.
      if (Registry().RegDeleteKeyExW(key.get(), child, view.flag) != platform::kErrorSuccess) {
        SetPerm::RestoreRegKeyDacl(sTopKey, childPath, savedDacl);
      }
    }
  } catch (...) {
    CommonModule::DPrintError("modRegistry\\fDeleteSubkeys - VB ERROR: ", CaughtNumber());
    DPrint("\t- Key: " + sTopKey + "\\" + sKeyPath);
  }
}

std::int32_t fDeleteValue(std::string sTopKey, std::string sKeyPath, std::string sValueName,
                          bool& bNotFound) {
  std::int32_t result = kNotCalled;
  std::int32_t code = kNotCalled;
  std::string shownPath = sKeyPath;
  const auto errorBlock = [&](Dword number) {
    CommonModule::DPrintError("modRegistry\\fDeleteValue - VB ERROR: ", number);
    DPrint("\t- Key: " + sTopKey + "\\" + shownPath);
    DPrint("\t- Value: " + sValueName);
    DPrint("\t- lResult (0=Success 2=Not Found): " + std::to_string(code));
  };
  try {
    std::optional<platform::SecurityDescriptor> savedDacl;
    for (bool retried = false;; retried = true) {
      code = kNotCalled;
      const Handle root = fTopKey(sTopKey);
      if (root == 0) {
        errorBlock(0);
        return code;
      }
      if (root == kIniFile) {
        // The key stays in the file with an empty value; the log shows the call's answer.
        code =
            platform::Files().WritePrivateProfileStringW(sKeyPath, sValueName, "", sTopKey) ? 1 : 0;
        result = kSuccess;
        break;
      }
      const KeyView view = ViewFor(sKeyPath);
      shownPath = view.path;
      Handle opened = 0;
      code = static_cast<std::int32_t>(
          Registry().RegOpenKeyExW(root, view.path, 0, platform::kKeySetValue | view.flag, opened));
      if (code == kSuccess) {
        const UniqueHkey key(opened);
        code = static_cast<std::int32_t>(Registry().RegDeleteValueW(key.get(), sValueName));
      }
      if (code == kSuccess || code == kNotFound) {
        result = kSuccess;
        break;
      }
      if (retried) {
        result = code;
        break;
      }
      // The key stays whatever happens to its value: its access list goes back afterwards.
      savedDacl = SetPerm::SaveRegKeyDacl(sTopKey, sKeyPath);
      const std::string prefix = LongValuePrefix(sTopKey);
      const std::string tool = CommonModule::AppPath() + "subinacl.exe";
      if (prefix.empty()) {
        DPrint("modRegistry\\fDeleteValue:  TopKeys supported: HKLM, HKCU, HKU, HKCR");
        DPrint("\t- Passed: " + sTopKey);
        DPrint("\tThere may be an error in code.");
      } else if (CommonModule::DoesFileExist(tool, false)) {
        // The tool by its quoted full path (the program's folder may hold blanks), every
        // argument as the C runtime reads it back.
        const std::string user = Env("computername") + "\\" + Env("username");
        const std::string start = CommonModule::QuoteArgument(tool, true) + " /subkeyreg " +
                                  CommonModule::QuoteArgument(prefix + sKeyPath, true);
        for (const std::string& tail :
             {" " + CommonModule::QuoteArgument("/setowner=" + user),
              " " + CommonModule::QuoteArgument("/sgrant=" + user + "=F"),
              " " + CommonModule::QuoteArgument("/grant=" + user + "=F")}) {
          std::string sErrMsg;
          CommonModule::ShellAndWaitForTermination(start + tail, platform::kSwHide, sErrMsg,
                                                   2000000000, false);
        }
      }
      SetPerm::GetRegKeyPermissions(sTopKey, sKeyPath);
    }
    SetPerm::RestoreRegKeyDacl(sTopKey, sKeyPath, savedDacl);
    if (code == kNotFound) bNotFound = true;
    DPrint("modRegistry\\fDeleteValue:");
    DPrint("\t- Passed Key: " + sTopKey + "\\" + shownPath);
    DPrint("\t- Passed Value: " + sValueName);
    DPrint(ResultLine(code));
    return result;
  } catch (...) {
    errorBlock(CaughtNumber());
    return code;
  }
}

}  // namespace orvo::modRegistry
