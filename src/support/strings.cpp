// Text helpers shared by every module.
#include "support/strings.h"

#include <initializer_list>
#include <utility>

#include "support/log.h"

namespace orvo::support {
namespace {

// The verbose trace of a string helper: its name line, then one line per label.
void VerboseTrace(const std::string& routine,
                  std::initializer_list<std::pair<const char*, std::string>> lines) noexcept {
  if (!bVerboseTrace) return;
  DPrint("CommonModule\\" + routine + ": ");
  for (const auto& [label, value] : lines) DPrint(std::string("\t- ") + label + value);
}

}  // namespace

const char* TrueFalse(bool b) noexcept { return b ? "True" : "False"; }

std::string StripPath(const std::string& sFullPathAndFileName) {
  std::string result;
  try {
    const auto slash = sFullPathAndFileName.find_last_of('\\');
    result =
        slash == std::string::npos ? sFullPathAndFileName : sFullPathAndFileName.substr(slash + 1);
  } catch (...) {
    DPrintCaughtError("CommonModule\\StripPath VB ERROR: ");
    DPrint("\t- sFullPathAndFileName=" + sFullPathAndFileName);
  }
  VerboseTrace("StripPath", {{"Passed: ", sFullPathAndFileName}, {"Returned: ", result}});
  return result;
}

std::string StripNameFromPath(const std::string& sFullPathAndFileName) {
  if (sFullPathAndFileName.empty()) {
    DPrint("StripNameFromPath Function was passed an empty string!");
    return {};
  }
  return StripNameFromPathNoDebug(sFullPathAndFileName);
}

std::string StripNameFromPathNoDebug(const std::string& sFullPathAndFileName) {
  const auto slash = sFullPathAndFileName.find_last_of('\\');
  return slash == std::string::npos ? std::string() : sFullPathAndFileName.substr(0, slash);
}

std::string Strip(const std::string& psLine, const std::string& psRemoveStr) {
  std::string result = psLine;
  try {
    // An empty removal string would match everywhere forever: the text comes back as it is.
    if (!psRemoveStr.empty()) {
      // Every search starts again at the beginning, so that occurrences a removal
      // brings together ("aabb" less "ab") go too.
      for (auto at = result.find(psRemoveStr); at != std::string::npos;
           at = result.find(psRemoveStr)) {
        result.erase(at, psRemoveStr.size());
      }
    }
  } catch (...) {
    DPrintCaughtError("CommonModule\\Strip VB ERROR: ");
    DPrint("\t- psLine=" + psLine);
    DPrint("\t- psRemoveStr=" + psRemoveStr);
  }
  VerboseTrace("Strip",
               {{"Passed: ", psLine}, {"Remove String: ", psRemoveStr}, {"Returned: ", result}});
  return result;
}

std::string StripEndOfString(const std::string& sOriginalString, const std::string& sDelimiter,
                             bool bUseFirstDelimiter, bool bStripLeadingSpaces,
                             bool bStripTrailingSpaces) {
  std::string result;
  try {
    const auto at =
        bUseFirstDelimiter ? sOriginalString.find(sDelimiter) : sOriginalString.rfind(sDelimiter);
    result = at == std::string::npos ? sOriginalString : sOriginalString.substr(0, at);
    if (bStripTrailingSpaces) result = StripTrailingCharacters(result, " ");
    if (bStripLeadingSpaces) result = StripPreceedingCharacters(result, " ");
  } catch (...) {
    DPrintCaughtError("CommonModule\\StripEndOfString VB ERROR: ");
    DPrint("\t- sOriginalString=" + sOriginalString);
    DPrint("\t- sDelimiter=" + sDelimiter);
    DPrint(std::string("\t- bUseFirstDelimiter=") + TrueFalse(bUseFirstDelimiter));
  }
  VerboseTrace("StripEndOfString", {{"Passed: ", sOriginalString},
                                    {"Delimeter: ", sDelimiter},
                                    {"bUseFirstDelimiter=", TrueFalse(bUseFirstDelimiter)},
                                    {"Returned: ", result}});
  return result;
}

// A second argument that is not exactly one character removes nothing: an empty one
// would never stop matching, a longer one never equals a single character.
std::string StripTrailingCharacters(const std::string& sOriginalString,
                                    const std::string& sTrailingCharacter) {
  std::string result = sOriginalString;
  try {
    if (sTrailingCharacter.size() == 1) {
      while (!result.empty() && result.back() == sTrailingCharacter.front()) result.pop_back();
    }
  } catch (...) {
    DPrintCaughtError("CommonModule\\StripTrailingCharacters VB ERROR: ");
    DPrint("\t- sOriginalString=" + sOriginalString);
    DPrint("\t- sTrailingCharacter=" + sTrailingCharacter);
  }
  VerboseTrace("StripTrailingCharacters", {{"Passed: ", sOriginalString},
                                           {"sTrailingCharacter: ", sTrailingCharacter},
                                           {"Returned: ", result}});
  return result;
}

std::string StripPreceedingCharacters(const std::string& sOriginalString,
                                      const std::string& sCharacter) {
  std::string result = sOriginalString;
  try {
    if (sCharacter.size() == 1) {
      const auto first = result.find_first_not_of(sCharacter.front());
      result.erase(0, first == std::string::npos ? result.size() : first);
    }
  } catch (...) {
    DPrintCaughtError("CommonModule\\StripPreceedingCharacters VB ERROR: ");
    DPrint("\t- sOriginalString=" + sOriginalString);
    DPrint("\t- sCharacter=" + sCharacter);
  }
  VerboseTrace(
      "StripPreceedingCharacters",
      {{"Passed: ", sOriginalString}, {"sCharacter: ", sCharacter}, {"Returned: ", result}});
  return result;
}

std::string Trim(const std::string& text) {
  return StripPreceedingCharacters(StripTrailingCharacters(text, " "), " ");
}

}  // namespace orvo::support
