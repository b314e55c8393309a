// The installed platform: one backend per process (win32 in the program, a FakeMachine in tests).
#pragma once

#include "platform/debug.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/security.h"
#include "platform/services.h"
#include "platform/ui.h"
#include "platform/unique_handle.h"
#include "platform/version.h"
#include "platform/wmi.h"

namespace orvo::platform {

// Every area the system calls. A backend fills all of them.
struct Platform {
  IDebugOutput* debug = nullptr;
  IEnvironment* env = nullptr;
  IVersion* version = nullptr;
  IFiles* files = nullptr;
  IServices* services = nullptr;
  IUserInterface* ui = nullptr;
  IRegistry* registry = nullptr;
  ISecurity* security = nullptr;
  IProcesses* processes = nullptr;
  IWmi* wmi = nullptr;
};

// The installed backend. Using it before Install is a programming error.
const Platform& Current() noexcept;
// Installs a backend and returns the one it replaces.
Platform Install(const Platform& backend) noexcept;

// Shorthands the system's code reads like the Win32 calls it stands for.
inline IDebugOutput& Debug() noexcept { return *Current().debug; }
inline IEnvironment& Env() noexcept { return *Current().env; }
inline IVersion& Version() noexcept { return *Current().version; }
inline IFiles& Files() noexcept { return *Current().files; }
inline IServices& Services() noexcept { return *Current().services; }
inline IUserInterface& Ui() noexcept { return *Current().ui; }
inline IRegistry& Registry() noexcept { return *Current().registry; }
inline ISecurity& Security() noexcept { return *Current().security; }
inline IProcesses& Processes() noexcept { return *Current().processes; }
inline IWmi& Wmi() noexcept { return *Current().wmi; }

struct ServiceHandleTraits {
  static constexpr Handle kInvalid = 0;
  static void Close(Handle h) noexcept { Services().CloseServiceHandle(h); }
};
using UniqueServiceHandle = UniqueHandle<ServiceHandleTraits>;

struct KeyHandleTraits {
  static constexpr Handle kInvalid = 0;
  static void Close(Handle h) noexcept { Registry().RegCloseKey(h); }
};
using UniqueHkey = UniqueHandle<KeyHandleTraits>;

struct KernelHandleTraits {
  static constexpr Handle kInvalid = 0;
  static void Close(Handle h) noexcept { Processes().CloseHandle(h); }
};
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;

}  // namespace orvo::platform
