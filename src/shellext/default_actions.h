// Saving a class's default verb before the toolkit replaces it, and putting every saved one
// back.
#pragma once
#include <string>
#include <vector>

namespace orvo::shellext {

// One saved default verb: the class and the verb saved for it ("" when it had none).
struct Backup {
  std::string sClass;
  std::string data;
};
// The entries of a backup list as the value listing gives it ("name=data" entries, each ending
// in NUL): an entry's class is the text before its first "=", its data the text up to the next
// "=". Empty entries, and entries without "=" (which carry no pair), are left out.
std::vector<Backup> ParseDefaultBackups(const std::string& list);

// Saves the class's current default verb ("" when it has none) under DefaultBackups.
void BackupDefaultAction(std::string sFileType);
// Puts every saved default verb back (or deletes the default where none was saved), except
// where the user chose another verb since, or the class has no shell key; then deletes the
// backups.
void FixDefaults();

}  // namespace orvo::shellext
