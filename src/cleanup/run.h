// The whole program run: the start question, the fixed order of removals, "Done!".
#pragma once

#include <cstdint>
#include <string>

#include "cleanup/final_check.h"

namespace orvo::cleanup {

// The caption of all three boxes.
inline constexpr const char* kAppTitle = "Orvo Cleanup";

// The removal steps that other modules supply. Main runs the real ones; tests hand in
// recorders to see each call's order and arguments.
struct Steps {
  std::int32_t (*fDeleteKey)(std::string sTopKey, std::string sKeyPath, std::string sSubKey,
                             bool& bNotFound);
  void (*KillProcessByName)(const std::string& sProcessName, bool bWait);
  void (*RemoveShellExtensions)(bool bForce);
  // Puts back the default verbs the toolkit saved in the vendor key.
  void (*FixDefaults)();
  // Creates a file-system object, calls its KillDir and releases it.
  bool (*KillDir)(const std::string& strPath, bool RecreatePath);
  // What is left at the end (and what goes at the next start); yes: the answer was Yes.
  Leftovers (*FinishAndCheck)(bool yes);
};
Steps DefaultSteps();

// Asks how far to go and works through every removal; a failing step is skipped.
void Main();
void Main(const Steps& steps);

}  // namespace orvo::cleanup
