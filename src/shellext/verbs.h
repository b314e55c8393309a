// The per-verb routines: each installs (bUninstall false) or removes (true) one group of the
// toolkit's verbs for one file-type class. The cleanup only removes; install mode writes
// exactly what removal has to take out again, and the tests use it to put the verbs in place.
#pragma once
#include <string>

namespace orvo::shellext {

void InstAutoPelmEdition(std::string sTargetFileType, const bool& bUninstall);
void InstQsearch(std::string sTargetFileType, const bool& bUninstall);
void InstCopyPath(std::string sTargetFileType, const bool& bUninstall);
void InstFindTarget(std::string sTargetFileType, const bool& bUninstall);
void InstCopyMoveTo(std::string sTargetFileType, const bool& bUninstall);
void InstOpenInNotepad(std::string sTargetFileType, const bool& bUninstall);
void InstCMDHere(std::string sTargetFileType, const bool& bUninstall);
void InstDefrag(std::string sTargetFileType, const bool& bUninstall);
void InstSecureDelete(std::string sTargetFileType, const bool& bUninstall);
void InstUploadToVT(std::string sTargetFileType, const bool& bUninstall);
void InstUnlockFile(std::string sTargetFileType, const bool& bUninstall);
void InstTakeOwner(std::string sTargetFileType, const bool& bUninstall);
void InstRunWithParms(std::string sTargetFileType, const bool& bUninstall);
void InstWorkWithFile(std::string sTargetFileType, const bool& bUninstall);
void InstRegSearch(std::string sTargetFileType, const bool& bUninstall);
void InstFindDups(std::string sTargetFileType, const bool& bUninstall);
void InstIsDLLLoaded(std::string sTargetFileType, const bool& bUninstall);
void InstRegSvr(std::string sTargetFileType, const bool& bUninstall);

// Would put the takeown tool in place from the program's resources; this program carries
// none, so it returns false.
bool ProvideTakeown();

// The toolkit's own command of the command-prompt runas verb.
inline constexpr const char* kToolkitRunasCommand = "\"cmd.exe\" /k pushd %v";
// The command of a class's runas verb ("" when it has none or is not there).
std::string RunasCommand(const std::string& sClass);
// Whether a runas verb with that command is the toolkit's: its own command in any letter case,
// or none at all. Any other belongs to another program.
bool IsToolkitRunasCommand(const std::string& command);

}  // namespace orvo::shellext
