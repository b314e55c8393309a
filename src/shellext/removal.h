// Removal of the toolkit's Explorer context-menu verbs: the toolkit's own installer tool
// where it may run, else the built-in removal of every verb with the default actions put back.
#pragma once
#include <span>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace orvo::shellext {

// Module state: whether the built-in removal runs whoever installed the verbs. Set by
// RemoveShellExtensions, cleared at the end of the built-in removal.
inline bool bForceAction = false;
void ResetRemovalState() noexcept;

// How long the toolkit's installer tool may take before the built-in removal goes on.
inline constexpr platform::Dword kInstallerToolTimeoutMs = 120000;

// Takes every verb of the toolkit out again and restores the default actions it changed;
// bForce removes them also when another installer put them in place.
void RemoveShellExtensions(bool bForce);
// The installer tool where it may run, else the built-in removal.
void RemoveAll(bool bLoadConfig);
// What the toolkit adds on Windows 7 and later: the search program, the bookkeeping (its saved
// default verbs put back first), the cascading menus.
void RemoveWin7Menus();
// The verb key names of older toolkit versions.
void RemoveLegacyVerbs();

// One per-verb routine of the built-in removal; it runs for each class its verbs are written
// for (RoutineClasses of the catalogue), in order.
struct Routine {
  std::string_view name;
  void (*run)(std::string sTargetFileType, const bool& bUninstall);
};
// The eighteen routines in the order the built-in removal runs them.
std::span<const Routine> RemovalRoutines();

}  // namespace orvo::shellext
