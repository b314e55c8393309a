// The end of a run: what cannot go now because another program holds it is recorded for
// deletion at the next start of Windows, then every trace the answer asked to remove is looked
// up again, and the last box says what is left.
#pragma once
#include <string>
#include <vector>

namespace orvo::cleanup {

// What is left of the traces, each in plain words ("Service ReaperPlusService", "File
// C:\Windows\qsearch.exe", "Registry key HKEY_LOCAL_MACHINE\...").
struct Leftovers {
  std::vector<std::string> atNextStart;  // goes when Windows next starts
  std::vector<std::string> notRemoved;   // stays
};

// Looks up again, where the run removed them, the traces the answer asked to remove (yes:
// the vendor key and the event-log library too). A file or folder of the traces that another
// program holds is recorded for deletion at the next start (a folder after its content; never
// a link, a file with other names, or anything outside the traces); a service marked for
// deletion goes then too. Each trace still there is logged. Nothing else is changed.
Leftovers FinishAndCheck(bool yes);

// The last box's text: "Done!" alone when nothing is left; otherwise a blank line and a
// section for each list that has items, at most 15 lines each, then how many more.
std::string LastBoxText(const Leftovers& left);

}  // namespace orvo::cleanup
