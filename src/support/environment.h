// Environment values as the program reads them.
#pragma once

#include <string>

namespace orvo::support {

// The variable's value at the moment of the call; an unset variable reads as empty text.
// Only for what is the user's own (user and computer names, the temporary folder): a
// folder the system trusts never comes from here.
std::string Environ(const std::string& name);

}  // namespace orvo::support
