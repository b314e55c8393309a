// Folder entries taken as themselves: a link is never followed, a file with more than one
// name is never changed through this one. The removal routines build on these.
#pragma once

#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/types.h"

namespace orvo::fs {

// The folder's entries ("." and ".." left out), as the platform lists them; false with the
// error when it cannot be listed.
bool ListFolder(const std::string& folder, std::vector<platform::FindData>& entries,
                platform::Dword& error);

// What a path names, decided on an entry opened without following a reparse point (and, as
// Wine reports folder links only in listings, also on its attributes). kUnchecked: it exists
// but cannot be opened to tell, so nothing that could be shared may be changed on it.
enum class EntryKind { kMissing, kFile, kFolder, kLink, kSharedFile, kUnchecked };
EntryKind InspectEntry(const std::string& path);

// Deletes the folder with everything in it, read-only entries included. A link inside it (or
// the folder itself, when it is one) goes as a link and its target is left as it is; a file
// with other names loses only this one (its attributes untouched; a read-only one only where
// the platform can delete it without clearing the attribute). 0 when all went, otherwise the
// first failure's Win32 code (what could go has gone).
platform::Dword DeleteTree(const std::string& path);

// Deletes one entry that is not a folder (or is a folder link) the same way.
platform::Dword DeleteEntry(const std::string& path);

// Before a change that the platform applies to a whole tree (a recursive grant): removes
// every link of the tree and every name of a file that has others, so that the change
// reaches nothing outside it. False (and logged under `where`) when one could not go.
bool RemoveTreeLinks(const std::string& path, const std::string& where);

}  // namespace orvo::fs
