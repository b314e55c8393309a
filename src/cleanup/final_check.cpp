// The end of a run: recording what another program holds for the next start, and the check of
// what is left.
#include "cleanup/final_check.h"

#include <algorithm>
#include <optional>

#include "cleanup/traces.h"
#include "fs/entries.h"
#include "platform/platform.h"
#include "registry/values.h"
#include "shellext/catalogue.h"
#include "shellext/verbs.h"
#include "support/environment.h"
#include "support/log.h"
#include "support/strings.h"
#include "support/windows_version.h"

namespace orvo::cleanup {
namespace {

using fs::EntryKind;
using platform::Dword;

constexpr std::size_t kLinesPerSection = 15;

class Check {
 public:
  Leftovers left;

  void Left(bool atNextStart, const std::string& trace) {
    support::DPrintInfo("Main", std::string(atNextStart ? "Deleted at the next start of Windows: "
                                                        : "Still there: ") +
                                    trace);
    (atNextStart ? left.atNextStart : left.notRemoved).push_back(trace);
  }

  // A key below HKLM, opened as the removal opened it.
  void Key(const std::string& path) {
    if (registry::KeyExists("HKLM", path)) Left(false, "Registry key HKEY_LOCAL_MACHINE\\" + path);
  }

  void Service(const std::string& name) {
    const platform::UniqueServiceHandle manager(platform::Services().OpenSCManagerW(
        std::nullopt, std::nullopt, platform::kScManagerConnect));
    if (!manager) {
      Left(false, "Service " + name + " (the service list could not be read)");
      return;
    }
    const platform::UniqueServiceHandle service(
        platform::Services().OpenServiceW(manager.get(), name, platform::kServiceChangeConfig));
    if (!service && platform::GetLastError() == platform::kErrorServiceDoesNotExist) return;
    // A service marked for deletion goes once it has stopped (at the latest when Windows next
    // starts); a request for no change tells the mark and changes nothing.
    const bool marked = service && !platform::Services().ChangeServiceConfigW(service.get()) &&
                        platform::GetLastError() == platform::kErrorServiceMarkedForDelete;
    Left(marked, "Service " + name);
  }

  // One file of the traces, named as the run named it (the 32-bit view of the system folder).
  // Returns whether it is gone or goes at the next start.
  bool File(const std::string& path) {
    const EntryKind kind = fs::InspectEntry(path);
    if (kind == EntryKind::kMissing) return true;
    if (kind == EntryKind::kLink) {
      Left(false, "Link " + path);
      return false;
    }
    if (kind == EntryKind::kFile && HeldByAnotherProgram(path) && DeleteAtNextStart(path)) {
      Left(true, "File " + path);
      return true;
    }
    Left(false, "File " + path);
    return false;
  }

  // A folder of the traces with what is left in it, deepest first; the folder goes at the next
  // start only when everything left in it does. Links are never entered.
  bool Folder(const std::string& path) {
    const EntryKind kind = fs::InspectEntry(path);
    if (kind == EntryKind::kMissing) return true;
    if (kind != EntryKind::kFolder) return File(path);
    std::vector<platform::FindData> entries;
    Dword error = 0;
    bool allGo = fs::ListFolder(path, entries, error);
    for (const auto& entry : entries) {
      const std::string child = path + "\\" + entry.cFileName;
      if ((entry.dwFileAttributes & platform::kFileAttributeReparsePoint) != 0) {
        Left(false, "Link " + child);
        allGo = false;
      } else if ((entry.dwFileAttributes & platform::kFileAttributeDirectory) != 0) {
        allGo = Folder(child) && allGo;
      } else {
        allGo = File(child) && allGo;
      }
    }
    if (allGo && DeleteAtNextStart(path)) {
      Left(true, "Folder " + path);
      return true;
    }
    Left(false, "Folder " + path);
    return false;
  }

 private:
  // Whether a delete now is refused because another program has the file open.
  static bool HeldByAnotherProgram(const std::string& path) {
    const Dword share =
        platform::kFileShareRead | platform::kFileShareWrite | platform::kFileShareDelete;
    const platform::Handle h = platform::Files().CreateFileW(
        path, platform::kDelete, share, platform::kOpenExisting,
        platform::kFileFlagOpenReparsePoint | platform::kFileFlagBackupSemantics);
    if (h != 0) {
      platform::Processes().CloseHandle(h);
      return false;
    }
    return platform::GetLastError() == platform::kErrorSharingViolation;
  }

  // The system deletes the recorded path as a 64-bit program would name it, so a path in the
  // system folder as this 32-bit program sees it (SysWOW64 behind System32) is recorded as
  // the folder it really names.
  static std::string NativePath(const std::string& path) {
    if (!support::Is64BitWindows()) return path;
    const std::string system = platform::Env().GetSystemDirectoryW();
    const std::string windows = platform::Env().GetSystemWindowsDirectoryW();
    if (system.empty() || windows.empty()) return path;
    const std::string lower = support::Lower(path);
    const std::string prefix = support::Lower(system) + "\\";
    if (lower.rfind(prefix, 0) != 0) return path;
    return windows + "\\SysWOW64\\" + path.substr(prefix.size());
  }

  static bool DeleteAtNextStart(const std::string& path) {
    const std::string native = NativePath(path);
    if (platform::Files().MoveFileExW(native, std::nullopt, platform::kMovefileDelayUntilReboot)) {
      return true;
    }
    support::DPrintError("Module1\\Main - MoveFileEx failed: ", platform::GetLastError());
    support::DPrint("\t- File: " + native);
    return false;
  }
};

}  // namespace

Leftovers FinishAndCheck(bool yes) {
  Check check;
  const auto step = [](auto&& body) { support::LoggedStep("Module1\\Main - final check: ", body); };
  step([&] {
    if (yes) check.Key("Software\\Tarnwick");
    check.Key(shellext::kSettingsKey);
  });
  step([&] {
    const bool vista = support::IsVista();
    for (const shellext::Verb& verb : shellext::Catalogue()) {
      for (const std::string_view c : verb.classes) {
        const std::string sClass(c);
        // The runas verb goes from Vista on, and only the toolkit's.
        if (verb.kind == shellext::VerbKind::kRunas &&
            (!vista || !shellext::IsToolkitRunasCommand(shellext::RunasCommand(sClass)))) {
          continue;
        }
        check.Key(shellext::VerbParent(verb, sClass) + "\\" + std::string(verb.keyName));
      }
    }
  });
  step([&] {
    for (const char* legacy : shellext::kLegacyVerbs) {
      check.Key(std::string(shellext::kClassesKey) + shellext::kLegacyVerbClass + "\\shell\\" +
                legacy);
    }
    // The cascading menus are Windows 7's, and taken out only there.
    if (support::IsWin7()) {
      for (const char* cascade : shellext::kCascadeKeys) {
        check.Key(std::string(shellext::kCascadeParent) + "\\" + cascade);
      }
    }
  });
  for (const char* service : kToolkitServices) {
    step([&] { check.Service(service); });
  }
  step([&] {
    const std::string system = platform::Env().GetSystemDirectoryW();
    if (yes && !system.empty()) check.File(system + kEventLogLibrary);
  });
  step([&] {
    const std::string windows = platform::Env().GetSystemWindowsDirectoryW();
    if (!windows.empty()) check.File(windows + kSearchProgram);
  });
  step([&] {
    const std::string temp = support::Environ("temp");
    // An unset temp names no folder of the traces.
    if (!temp.empty()) check.Folder(temp + kTempFolder);
  });
  return check.left;
}

std::string LastBoxText(const Leftovers& left) {
  std::string text = "Done!";
  const auto section = [&](const char* title, const std::vector<std::string>& items) {
    if (items.empty()) return;
    text += "\r\n\r\n";
    text += title;
    const std::size_t shown = std::min(items.size(), kLinesPerSection);
    for (std::size_t i = 0; i < shown; ++i) text += "\r\n" + items[i];
    if (items.size() > shown) {
      text += "\r\n\xE2\x80\xA6 and " + std::to_string(items.size() - shown) + " more";
    }
  };
  section("Removed at the next start of Windows:", left.atNextStart);
  section("Could not be removed:", left.notRemoved);
  return text;
}

}  // namespace orvo::cleanup
