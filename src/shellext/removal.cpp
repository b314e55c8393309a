// Removal of the toolkit's Explorer context-menu verbs.
#include "shellext/removal.h"

namespace orvo::shellext {

// Not built yet: removes no verb.
void RemoveShellExtensions(bool /*bForce*/) {}

}  // namespace orvo::shellext
