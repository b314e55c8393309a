// The installed backend and the last-error cell.
#include "platform/platform.h"

#include <algorithm>
#include <utility>

namespace orvo::platform {
namespace {
Platform g_platform;
thread_local Dword t_lastError = 0;
}  // namespace

const Platform& Current() noexcept { return g_platform; }

Platform Install(const Platform& backend) noexcept { return std::exchange(g_platform, backend); }

Dword GetLastError() noexcept { return t_lastError; }
void SetLastError(Dword code) noexcept { t_lastError = code; }

Dword Sid::Length() const noexcept {
  // "S-1-<authority>-<sub>-<sub>...": every dash after the authority adds a sub-authority.
  const auto dashes = static_cast<Dword>(std::count(text.begin(), text.end(), '-'));
  return dashes >= 2 ? 8 + 4 * (dashes - 2) : 0;
}

Dword Acl::BytesInUse() const noexcept {
  Dword bytes = 8;
  for (const Ace& ace : aces) bytes += ace.Size();
  return bytes;
}

}  // namespace orvo::platform
