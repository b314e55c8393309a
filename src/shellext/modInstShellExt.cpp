// Removal of the toolkit's Explorer context-menu verbs.
#include "shellext/modInstShellExt.h"

namespace orvo::modInstShellExt {

// Not built yet: removes no verb.
void RemoveShellExtensions(bool /*bForce*/) {}

}  // namespace orvo::modInstShellExt
