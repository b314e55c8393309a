// Removal of the toolkit's Explorer context-menu verbs.
#pragma once

namespace orvo::shellext {

// Takes every verb of the toolkit out again and restores the default actions it
// changed; bForce removes them also when another installer put them in place.
void RemoveShellExtensions(bool bForce);

}  // namespace orvo::shellext
