// Saving a class's default verb before the toolkit replaces it, and putting every saved one
// back.
#pragma once
#include <string>

namespace orvo::shellext {

// Saves the class's current default verb ("" when it has none) under DefaultBackups.
void BackupDefaultAction(std::string sFileType);
// Puts every saved default verb back (or deletes the default where none was saved), except
// where the user chose another verb since, or the class has no shell key; then deletes the
// backups.
void FixDefaults();

}  // namespace orvo::shellext
