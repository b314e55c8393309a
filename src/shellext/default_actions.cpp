// Saving and restoring the default verbs of file-type classes.
#include "shellext/default_actions.h"

#include <vector>

#include "registry/delete_key.h"
#include "registry/values.h"
#include "shellext/catalogue.h"
#include "support/log.h"

namespace orvo::shellext {
namespace {

using support::DPrint;
using support::DPrintInfo;

std::string ShellKeyOf(const std::string& sClass) { return kClassesKey + sClass + "\\shell"; }

// The class's default verb; "" when it has none or it cannot be read.
std::string DefaultVerbOf(const std::string& sClass) {
  return registry::ReadValueText("HKLM", ShellKeyOf(sClass), "", "S");
}

// Restores one saved default verb, where the class still holds the toolkit's choice.
void Restore(const Backup& backup) {
  const std::string shellKey = ShellKeyOf(backup.sClass);
  const std::string current = DefaultVerbOf(backup.sClass);
  if (!current.empty() && current != backup.data && !IsToolkitVerbName(current)) {
    DPrintInfo("FixDefaults", "Keeping the default value for:  " + backup.sClass + " - " + current +
                                  " (chosen after the toolkit saved " +
                                  (backup.data.empty() ? "none" : backup.data) + ")");
    return;
  }
  if (backup.data.empty()) {
    bool bNotFound = false;
    registry::fDeleteValue("HKLM", shellKey, "", bNotFound);
    DPrintInfo("FixDefaults", "Deleting default value for:  " + backup.sClass);
    return;
  }
  // Writing would create the class: a class without its shell key is left as it is.
  if (!registry::KeyExists("HKLM", shellKey)) {
    DPrintInfo("FixDefaults", "Not writing back the default value for:  " + backup.sClass +
                                  " - HKLM\\" + shellKey + " does not exist");
    return;
  }
  if (current != backup.data) registry::fWriteValue("HKLM", shellKey, "", "S", backup.data);
  DPrintInfo("FixDefaults",
             "Writing back original default value for:  " + backup.sClass + " - " + backup.data);
}

}  // namespace

std::vector<Backup> ParseDefaultBackups(const std::string& list) {
  std::vector<Backup> backups;
  std::size_t start = 0;
  while (start <= list.size()) {
    const std::size_t end = std::min(list.find('\0', start), list.size());
    const std::string entry = list.substr(start, end - start);
    start = end + 1;
    const std::size_t equals = entry.find('=');
    if (entry.empty() || equals == std::string::npos) continue;
    const std::size_t second = entry.find('=', equals + 1);
    backups.push_back(
        {entry.substr(0, equals),
         entry.substr(equals + 1,
                      second == std::string::npos ? std::string::npos : second - equals - 1)});
  }
  return backups;
}

void BackupDefaultAction(std::string sFileType) {
  const auto step = [](auto&& body) {
    support::LoggedStep("BackupDefaultAction VB Error: ", body);
  };
  std::string current;
  step([&] { DPrint("BackupDefaultAction: Type=" + sFileType); });
  step([&] { current = DefaultVerbOf(sFileType); });
  step([&] { registry::fWriteValue("HKLM", kDefaultBackupsKey, sFileType, "S", current); });
}

void FixDefaults() {
  const auto step = [](auto&& body) { support::LoggedStep("FixDefaults VB Error: ", body); };
  step([] { DPrint("FixDefaults"); });
  std::vector<Backup> backups;
  step([&] {
    std::string list;
    registry::fEnumValue2("HKLM", kDefaultBackupsKey, list);
    backups = ParseDefaultBackups(list);
  });
  for (const Backup& backup : backups) {
    if (backup.sClass.empty()) continue;
    step([&] { Restore(backup); });
  }
  step([] {
    bool bNotFound = false;
    registry::fDeleteKey("HKLM", kSettingsKey, kDefaultBackupsName, bNotFound);
  });
}

}  // namespace orvo::shellext
