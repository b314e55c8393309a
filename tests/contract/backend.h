// The per-backend side of the contract cases: puts a machine into the state a case needs and
// takes it away afterwards. The cases themselves reach the platform only through the seam.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace orvo::contract {

using platform::Dword;

class Machine {
 public:
  // A fresh machine with its backend installed as the platform (FakeMachine on the host, the
  // win32 backend under Wine); destroying it removes what it seeded and puts the old one back.
  static std::unique_ptr<Machine> Create();
  virtual ~Machine() = default;

  // An empty folder of this case, for its files (a native path without redirection).
  virtual std::string Scratch() const = 0;
  // The file name GetModuleFileNameW ends with.
  virtual std::string ProgramName() const = 0;
  // True for FakeMachine: a case where the fake is known to answer otherwise than Windows is
  // skipped there (and only there) until the fake learns it.
  virtual bool IsFake() const = 0;

  // Seeding takes native paths: <windows>\system32 is the real (64-bit) folder whatever the
  // program's redirection, <windows>\syswow64 the 32-bit one. Missing parent folders are made.
  virtual void AddDir(const std::string& path) = 0;
  virtual void AddFile(const std::string& path, Dword attributes = platform::kFileAttributeArchive,
                       const std::string& content = {}) = 0;
  // Holds the file open with share mode 0 (as another program would) until the machine goes.
  virtual void LockFile(const std::string& path) = 0;
  // A second name (hard link) for an existing file.
  virtual void AddHardLink(const std::string& path, const std::string& existing) = 0;
  // A folder link (native path) whose target folder holds one file, "inside.txt"; empty when
  // this machine has none, and the cases that need one are then skipped. Under Wine it is a
  // Unix symbolic link that the test runner made before the run (the one kind of folder link
  // Wine shows as a reparse point, and one no program inside Wine can make).
  virtual std::string FolderLink() = 0;
  virtual void SetEnv(const std::string& name, const std::string& value) = 0;

  // A service running a do-nothing program, left stopped or started.
  virtual void AddService(const std::string& name, bool running) = 0;
  // Whether the Service Control Manager still has the service; a service that is going (stop
  // requested, marked for deletion, handles closed) is given until a generous deadline to go.
  virtual bool HasService(const std::string& name) = 0;
  virtual bool ServiceGoneSoon(const std::string& name) = 0;

  // Registry seeding takes native key paths with the short roots HKLM and HKCU: in
  // HKLM\Software\X the 64-bit view's key, in HKLM\Software\Wow6432Node\X its 32-bit twin.
  // Missing parents are made; every key made here goes, with its subtree, when the machine goes.
  virtual void AddKey(const std::string& path) = 0;
  // Stores exactly these bytes (a string without its NUL stays without it).
  virtual void SetValue(const std::string& keyPath, const std::string& name, Dword type,
                        const std::vector<std::uint8_t>& data) = 0;
  virtual bool KeyExists(const std::string& path) = 0;
  // Replaces the key's DACL with these entries and its inheritance control bits (protected,
  // auto-inherited) with `control`; the key keeps its owner unless `owner` names another.
  // (Wine, unlike Windows, lets the owner delete a key its DACL refuses DELETE: a case about
  // the DACL alone gives the key an owner the caller is not.)
  virtual void SetKeyDacl(const std::string& path, const platform::Acl& dacl,
                          std::uint16_t control = 0,
                          const std::optional<platform::Sid>& owner = std::nullopt) = 0;

  // A program (native path) that ends with the exit code its first argument gives. Given
  // HoldArgument() as its second argument it keeps running until ReleaseHeldPrograms.
  virtual std::string ExitCodeProgram() const = 0;
  virtual std::string HoldArgument() = 0;
  virtual void ReleaseHeldPrograms() = 0;

  // A process that runs, from an executable file of that name, until it is ended or the
  // machine goes; answers its id.
  virtual Dword AddRunningProcess(const std::string& exeName) = 0;
  virtual bool ProcessRunning(Dword processId) = 0;
  // Whether the process has ended by a generous deadline (an end is not instant).
  virtual bool ProcessEndsSoon(Dword processId) = 0;
  // Whether the named privilege of this process's token is switched on now.
  virtual bool PrivilegeEnabled(const std::string& name) = 0;
  // Makes WMI refuse Win32_Process.Terminate. Wine's always does: it has no such method.
  virtual void RefuseWmiTerminate() = 0;
  // Makes the platform refuse a delete disposition that ignores the read-only attribute, as
  // Windows before 10 1809 does. Wine's always does: it refuses the extended record (87).
  virtual void RefuseIgnoreReadOnlyOnDelete() = 0;
};

}  // namespace orvo::contract
