// Registry values (and INI files through the same routines): reading, writing, listing and
// deleting.
#include "registry/values.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <vector>

#include "fs/paths.h"
#include "platform/platform.h"
#include "process/launch.h"
#include "process/signed_tools.h"
#include "registry/key_permissions.h"
#include "registry/keys.h"
#include "support/environment.h"
#include "support/log.h"
#include "support/strings.h"
#include "support/unicode.h"
#include "support/windows_version.h"

namespace orvo::registry {
namespace {

using platform::Dword;
using platform::Handle;
using platform::Registry;
using platform::UniqueHkey;
using support::DPrint;
using support::Upper;

// Error numbers of failed conversions (they do not come from a platform call).
constexpr Dword kErrorArithmeticOverflow = 534;  // a "D" value outside 16 bits
constexpr Dword kErrorInvalidData = 13;          // a value that is not a number

std::string Nuls(std::size_t n) { return std::string(n, '\0'); }

// A REG_DWORD's four little-endian bytes as the signed 32-bit number the routines hand out.
std::int32_t DwordValue(const std::uint8_t (&bytes)[4]) {
  std::uint32_t n = 0;
  for (int i = 3; i >= 0; --i) n = (n << 8) | bytes[i];
  return static_cast<std::int32_t>(n);
}

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
      throw support::ErrorNumber{kErrorInvalidData};
    }
    if (ec == std::errc::result_out_of_range) throw support::ErrorNumber{kErrorArithmeticOverflow};
  }
  if (n < -32768 || n > 32767) throw support::ErrorNumber{kErrorArithmeticOverflow};
  return static_cast<std::int16_t>(n);
}

}  // namespace

std::string ValueText(const Value& v) {
  if (const auto* s = std::get_if<std::string>(&v)) return *s;
  if (const auto* i = std::get_if<std::int32_t>(&v)) return std::to_string(*i);
  return std::get<bool>(v) ? "True" : "False";
}

std::int32_t fReadValue(std::string sTopKey, std::string sKeyPath, std::string sValueName,
                        std::string sType, const Value& vDefault, Value& vValue) {
  std::int32_t result = kNotCalled;
  vValue = vDefault;
  const auto errorBlock = [&](Dword number) {
    support::DPrintError("modRegistry\\fReadValue - VB ERROR: ", number);
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
        std::string text = support::FromUtf16Bytes(data.data(), data.size());
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
        vValue = DwordValue(bytes);
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
    errorBlock(support::CaughtErrorNumber());
    return result;
  }
}

std::int32_t fWriteValue(std::string sTopKey, std::string sKeyPath, std::string sValueName,
                         std::string sType, const Value& vValue) {
  std::int32_t result = kNotCalled;
  const auto errorBlock = [&](Dword number) {
    support::DPrintError("modRegistry\\fWriteValue - VB ERROR: ", number);
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
               support::ToUtf16Bytes(ValueText(vValue) + Nuls(1)));
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
      setBytes(platform::kRegMultiSz, support::ToUtf16Bytes(data));
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
    errorBlock(support::CaughtErrorNumber());
    return result;
  }
}

std::int32_t fEnumValue2(std::string sTopKey, std::string sKeyPath, std::string& sResult) {
  std::int32_t result = kNotCalled;
  UniqueHkey key;
  const auto endWithFailure = [&](std::int32_t code, std::optional<Dword> error) {
    if (!sResult.empty()) sResult += Nuls(1);
    if (error) {
      support::DPrintError("modRegistry\\fEnumValue2 - VB ERROR: ", *error);
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
      const std::string cleanName = support::Strip(name, Nuls(1));
      if (type == platform::kRegSz) {
        std::vector<std::uint8_t> data(size);
        Dword got = size;
        const Dword query =
            Registry().RegQueryValueExW(key.get(), name, nullptr, data.data(), &got);
        if (query != platform::kErrorSuccess) {
          return endWithFailure(static_cast<std::int32_t>(query), std::nullopt);
        }
        sResult +=
            cleanName + "=" +
            support::Strip(support::FromUtf16Bytes(data.data(), std::min(got, size)), Nuls(1)) +
            Nuls(1);
      } else if ((type == platform::kRegBinary && size <= 2) || type == platform::kRegDword) {
        std::uint8_t bytes[4] = {};
        Dword got = sizeof bytes;
        const Dword query = Registry().RegQueryValueExW(key.get(), name, nullptr, bytes, &got);
        if (query != platform::kErrorSuccess) {
          return endWithFailure(static_cast<std::int32_t>(query), std::nullopt);
        }
        sResult += cleanName + "=" + std::to_string(DwordValue(bytes)) + Nuls(1);
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
    return endWithFailure(result, support::CaughtErrorNumber());
  }
}

std::int32_t fDeleteValue(std::string sTopKey, std::string sKeyPath, std::string sValueName,
                          bool& bNotFound) {
  std::int32_t result = kNotCalled;
  std::int32_t code = kNotCalled;
  std::string shownPath = sKeyPath;
  const auto errorBlock = [&](Dword number) {
    support::DPrintError("modRegistry\\fDeleteValue - VB ERROR: ", number);
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
      savedDacl = registry::SaveRegKeyDacl(sTopKey, sKeyPath);
      const TopKeyName* top = FindTopKey(sTopKey);
      const std::string prefix =
          top != nullptr && top->common ? support::Lower(LongRootPrefix(sTopKey)) : std::string();
      // subinacl.exe only from the program's folder, and only a copy Microsoft signed.
      const std::string tool = prefix.empty() ? std::string()
                                              : process::MicrosoftSignedBesideProgram(
                                                    "subinacl.exe", "modRegistry\\fDeleteValue");
      if (prefix.empty()) {
        DPrint("modRegistry\\fDeleteValue:  TopKeys supported: HKLM, HKCU, HKU, HKCR");
        DPrint("\t- Passed: " + sTopKey);
        DPrint("\tThere may be an error in code.");
      } else if (!tool.empty()) {
        // The tool by its quoted full path (the program's folder may hold blanks), every
        // argument as the C runtime reads it back.
        const std::string user =
            support::Environ("computername") + "\\" + support::Environ("username");
        const std::string start = process::QuoteArgument(tool, true) + " /subkeyreg " +
                                  process::QuoteArgument(prefix + sKeyPath, true);
        for (const std::string& argument :
             {"/setowner=" + user, "/sgrant=" + user + "=F", "/grant=" + user + "=F"}) {
          std::string line = start;
          line += ' ';
          line += process::QuoteArgument(argument);
          std::string sErrMsg;
          process::ShellAndWaitForTermination(line, platform::kSwHide, sErrMsg, 2000000000, false);
        }
      }
      registry::GetRegKeyPermissions(sTopKey, sKeyPath);
    }
    registry::RestoreRegKeyDacl(sTopKey, sKeyPath, savedDacl);
    if (code == kNotFound) bNotFound = true;
    DPrint("modRegistry\\fDeleteValue:");
    DPrint("\t- Passed Key: " + sTopKey + "\\" + shownPath);
    DPrint("\t- Passed Value: " + sValueName);
    DPrint(ResultLine(code));
    return result;
  } catch (...) {
    errorBlock(support::CaughtErrorNumber());
    return code;
  }
}

std::string ReadValueText(const std::string& sTopKey, const std::string& sKeyPath,
                          const std::string& sValueName, const std::string& sType) {
  Value value;
  fReadValue(sTopKey, sKeyPath, sValueName, sType, std::string(), value);
  return ValueText(value);
}

bool KeyExists(const std::string& sTopKey, const std::string& sKeyPath) {
  const Handle root = fTopKey(sTopKey);
  if (root == 0 || root == kIniFile) return false;
  const KeyView view = ViewFor(sKeyPath);
  UniqueHkey key;
  const Dword open = Registry().RegOpenKeyExW(root, view.path, 0,
                                              platform::kKeyQueryValue | view.flag, *key.put());
  return open == platform::kErrorSuccess || open == platform::kErrorAccessDenied;
}

}  // namespace orvo::registry
