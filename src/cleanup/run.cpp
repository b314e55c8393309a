// The whole program run.
#include "cleanup/run.h"

#include <memory>

#include "cleanup/services.h"
#include "cleanup/traces.h"
#include "fs/paths.h"
#include "fs/removal.h"
#include "platform/platform.h"
#include "process/terminate.h"
#include "registry/delete_key.h"
#include "shellext/default_actions.h"
#include "shellext/removal.h"
#include "support/environment.h"
#include "support/log.h"

namespace orvo::cleanup {
namespace {

using platform::Dword;

constexpr const char* kStartQuestion =
    "Remove all traces of any Tarnwick apps from the registry and Windows directory?\r\n"
    "Select NO to remove only Orvo related files/entries.";
constexpr const char* kNotRemovedNotice =
    "Ok fair enough - but this will NOT remove %programfiles% subdirectories or scheduled "
    "tasks; use the program's uninstallation file to accomplish these tasks!";

// An environment value read at the moment of use; unset reads as empty text.
int Box(const char* text, Dword style) {
  return platform::Ui().MessageBoxW(0, text, kAppTitle, style);
}

// Runs one step; whatever fails inside it is skipped silently and the run goes on.
template <class F>
void Guarded(F&& step) noexcept {
  try {
    step();
  } catch (...) {
  }
}

// Deletes a file; a refused delete (held open, read-only, access denied) is logged with its
// code rather than passed over in silence.
// A system folder the platform would not name: the step that needs it is skipped, and says so.
std::string SystemFolderOrReport(std::string folder, const char* which) {
  if (folder.empty()) {
    support::DPrintError(
        std::string("Module1\\Main - the ") + which + " folder is unknown, skipped: ",
        platform::GetLastError());
  }
  return folder;
}

void DeleteReported(const std::string& path) {
  if (platform::Files().DeleteFileW(path)) return;
  support::DPrintError("Module1\\Main - DeleteFile failed: ", platform::GetLastError());
  support::DPrint("\t- File: " + path);
}

bool KillDirWithNewObject(const std::string& strPath, bool RecreatePath) {
  const auto fso = std::make_unique<fs::clsFSO>();
  return fso->KillDir(strPath, RecreatePath);
}

}  // namespace

Steps DefaultSteps() {
  return Steps{
      &registry::fDeleteKey,  &process::KillProcessByName, &shellext::RemoveShellExtensions,
      &shellext::FixDefaults, &KillDirWithNewObject,       &FinishAndCheck};
}

void Main() { Main(DefaultSteps()); }

void Main(const Steps& steps) {
  // A question that could not be shown (the box call fails with 0, or -1 where no
  // display exists) is no answer: nothing is removed without the user's consent.
  int answer = 0;
  Guarded(
      [&] { answer = Box(kStartQuestion, platform::kMbYesNoCancel | platform::kMbDefButton2); });
  if (answer == platform::kIdCancel || answer <= 0) return;

  if (answer == platform::kIdYes) {
    Guarded([&] { Box(kNotRemovedNotice, platform::kMbOk); });
    // The vendor key holds the default verbs the toolkit saved: they are put back before it
    // goes, or files of those classes would be left opening with a verb that no longer exists.
    Guarded([&] { steps.FixDefaults(); });
    Guarded([&] {
      bool bNotFound = false;
      steps.fDeleteKey("HKLM", "Software", "Tarnwick", bNotFound);
    });
    Guarded([&] {
      // The system folder as this 32-bit program sees it (SysWOW64 on 64-bit Windows).
      const std::string system =
          SystemFolderOrReport(platform::Env().GetSystemDirectoryW(), "system");
      if (system.empty()) return;
      const std::string library = system + kEventLogLibrary;
      if (fs::DoesFileExist(library, false)) {
        Guarded([&] { steps.KillProcessByName("mmc.exe", true); });
        DeleteReported(library);
      }
    });
  }

  Guarded([&] { steps.RemoveShellExtensions(true); });
  for (const char* service : kToolkitServices) {
    Guarded([&] { cleanup::DeleteNTService(service); });
  }
  Guarded([&] {
    const std::string windows =
        SystemFolderOrReport(platform::Env().GetSystemWindowsDirectoryW(), "Windows");
    if (windows.empty()) return;
    const std::string search = windows + kSearchProgram;
    if (fs::DoesFileExist(search, false)) DeleteReported(search);
  });
  Guarded([&] { steps.KillDir(support::Environ("temp") + kTempFolder, false); });
  // The last box tells what is left, if anything: "Done!" alone only when nothing is.
  Leftovers left;
  Guarded([&] { left = steps.FinishAndCheck(answer == platform::kIdYes); });
  Guarded([&] { Box(LastBoxText(left).c_str(), platform::kMbOk); });
}

}  // namespace orvo::cleanup
