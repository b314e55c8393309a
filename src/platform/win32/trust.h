// Authenticode verification of a file (the win32 side of ISecurity::WinVerifyTrust).
#pragma once

#include <cstdint>
#include <string>

namespace orvo::platform::win32 {

// WinVerifyTrust's answer for the file's embedded signature; on success the signer
// certificate's organisation goes to `signerOrganization`.
std::int32_t VerifyFileSignature(const std::string& file, std::string& signerOrganization);

}  // namespace orvo::platform::win32
