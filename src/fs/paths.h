// Path tests, the program's folder, the 64-bit file-system redirection switch and the
// 64-bit Windows test.
#pragma once

#include <string>

#include "platform/types.h"

namespace orvo::fs {

// Redirection state: one flag (not a counter), the old-value cell of the platform's
// switch, and the gate in front of every switch call. No routine opens the gate, so a
// 32-bit program keeps seeing the redirected system folder, as the toolkit did.
inline bool bFSRedirDisabled = false;
inline platform::Handle lOldFSRedirValue = 0;
using platform::Handle;
void SwitchRedirectionOff(Handle& old);
void SwitchRedirectionBack(Handle old);
inline bool bAllowFSRedirSwitch = false;
void ResetFsState() noexcept;

// True for an existing path that is not a folder (locked, unreadable and long paths
// included); false for a path that is not a drive or network path.
bool DoesFileExist(const std::string& sFile, bool bDebug);
// True for an existing folder; switches redirection around the test.
bool DoesDirExist(const std::string& sPathOnly, bool bDebug);
// As DoesDirExist without the redirection switch (for Is64bit).
bool DoesDirExistNo64bitCheck(const std::string& sPathOnly, bool bDebug);
// As DoesDirExist without trace lines.
bool DoesDirExistNoDebug(const std::string& sPathOnly);
// "file", "dir" (wins over "file") or "neither".
std::string FileOrDir(const std::string& sPath);
// 64-bit Windows: with an empty drive, the system's own answer (support::Is64BitWindows);
// otherwise whether the drive has a "\Program Files (x86)" folder.
bool Is64bit(const std::string& sDrive);
void DisableFSRedir();
void RevertFSRedir();
// The inline switch: redirection off around one step (when the gate allows it on 64-bit
// Windows), then back, without touching bFSRedirDisabled.
template <class F>
void WithoutRedirection(F&& step) {
  Handle old = 0;
  if (bAllowFSRedirSwitch && Is64bit("")) SwitchRedirectionOff(old);
  step();
  if (bAllowFSRedirSwitch && Is64bit("")) SwitchRedirectionBack(old);
}
// The program's folder, always ending in a backslash ("C:\Tools\", "D:\").
std::string AppPath();

}  // namespace orvo::fs
