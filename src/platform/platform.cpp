// The installed backend and the last-error cell.
#include "platform/platform.h"

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

}  // namespace orvo::platform
