// An in-memory Windows machine for tests: what the system's code can observe of a PC,
// with failure switches and a record of what the code asked for.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/strings.h"

namespace orvo::fake {

using platform::Dword;
using platform::Handle;

// The last name of a path (all of it without a backslash).
std::string Leaf(const std::string& path);

// Case-insensitive ordering for Windows names (environment, paths, services).
struct NoCaseLess {
  bool operator()(const std::string& a, const std::string& b) const noexcept;
};
using support::Lower;
// A number as the call records write it: "0x1f".
std::string Hex(Dword v);

// One message box as the code showed it, and how it was answered.
struct BoxRecord {
  Handle owner = 0;
  std::string text;
  std::string caption;
  Dword type = 0;
  int answer = 0;
};

enum class ServiceState { kStopped, kRunning, kStopPending };

struct FakeService {
  ServiceState state = ServiceState::kStopped;
  bool acceptsStop = true;
  // A slow service stays in stop-pending after the request instead of stopping at once.
  bool stopsSlowly = false;
  bool markedForDelete = false;
  int openHandles = 0;
};

struct FakeFile {
  Dword attributes = platform::kFileAttributeArchive;
  std::string content;
  // Held open without sharing by another process: opens and deletes fail with 32.
  bool locked = false;
  // The signing certificate's organisation of a valid embedded signature; empty: unsigned.
  std::string signer;
  // Owner and access list (no list: everyone may do everything; an empty one: only the
  // owner may read and change the security). Seeded entries belong to Administrators.
  platform::Sid owner = platform::kSidAdministrators;
  std::optional<platform::Acl> dacl;
  // A link: its reparse tag and the native path (key) of its target.
  Dword reparseTag = 0;
  std::string linkTarget;
};

// A registry value as stored: its type and raw bytes.
struct FakeValue {
  Dword type = platform::kRegNone;
  std::vector<std::uint8_t> data;
};

// One program start as the code asked for it.
struct StartedProgram {
  std::string via;          // "ShellExecuteExW" or "CreateProcessW"
  std::string file;         // ShellExecuteExW: lpFile as passed; CreateProcessW: empty
  std::string parameters;   // ShellExecuteExW: lpParameters
  std::string commandLine;  // CreateProcessW: the whole command line
  std::string application;  // CreateProcessW: the application name (empty: none given)
  std::optional<std::string> directory;
  Dword show = 0;
  std::string resolvedPath;  // the native path of the program that ran (empty: none)
  Dword processId = 0;
};

class FakeMachine;
// What a program does when it runs on the machine; returns its exit code.
using ProgramEffect = std::function<Dword(FakeMachine&, const StartedProgram&)>;

class FakeMachine final : public platform::IDebugOutput,
                          public platform::IEnvironment,
                          public platform::IVersion,
                          public platform::IFiles,
                          public platform::IServices,
                          public platform::IUserInterface,
                          public platform::IRegistry,
                          public platform::ISecurity,
                          public platform::IProcesses,
                          public platform::IWmi {
 public:
  // Answers a test can script for a message box besides the button ids.
  static constexpr int kPressReturn = -100;  // the default button
  static constexpr int kFailBox = -101;      // the box cannot be shown: 0

  // A 64-bit Windows 10 as a 32-bit elevated program sees it; installs itself as the
  // platform and puts the previous backend back when destroyed.
  FakeMachine();
  ~FakeMachine() override;
  FakeMachine(const FakeMachine&) = delete;
  FakeMachine& operator=(const FakeMachine&) = delete;

  // --- Machine shape.
  bool is64BitWindows = true;
  bool wow64Process = true;  // the program runs as a 32-bit process on 64-bit Windows
  bool elevated = true;
  std::string windowsFolder = "C:\\windows";
  std::string currentFolder = "C:\\Tools";

  // --- Environment.
  void SetEnv(const std::string& name, const std::string& value);
  void UnsetEnv(const std::string& name);
  std::string modulePath = "C:\\Tools\\OrvoCleanup.exe";

  // --- Version record and metrics.
  platform::OsVersionInfoEx versionRecord;
  bool refuseExtendedVersion = false;  // GetVersionExA takes only the plain record
  int cleanBoot = 0;
  void SetVersion(Dword major, Dword minor, Dword build = 0, std::uint8_t productType = 1,
                  Dword platformId = platform::kVerPlatformWin32Nt);
  int versionCalls = 0;

  // --- Files. Seeding and inspection take native paths (no redirection).
  void AddFile(const std::string& path, Dword attributes = platform::kFileAttributeArchive,
               const std::string& content = {});
  void AddDir(const std::string& path, Dword attributes = platform::kFileAttributeDirectory);
  // Gives an existing file a valid embedded signature by that organisation.
  void SignFile(const std::string& path, const std::string& organization);
  // Links (native paths). A folder link (a junction with kIoReparseTagMountPoint, or a
  // symbolic link with kIoReparseTagSymlink) is an entry with the directory and reparse
  // attributes whose listing, through a path, is its target's; a file link is a file entry
  // with the reparse attribute whose content is its target's. A hard link is a second name
  // of the same file: owner, access list, attributes and content are shared.
  void AddFolderLink(const std::string& path, const std::string& target,
                     Dword tag = platform::kIoReparseTagMountPoint);
  void AddFileLink(const std::string& path, const std::string& target);
  void AddHardLink(const std::string& path, const std::string& existing);
  // The file's names (1 for an ordinary file); 0 when missing.
  [[nodiscard]] Dword LinkCount(const std::string& path) const;
  // Whether the platform can delete a read-only file without changing its attributes
  // (FILE_DISPOSITION_FLAG_IGNORE_READONLY_ATTRIBUTE, Windows 10 1809 and later).
  bool canIgnoreReadOnlyOnDelete = true;
  [[nodiscard]] bool Exists(const std::string& path) const;
  // The paths recorded for deletion at the next start, in order, as the system keeps them
  // (PendingFileRenameOperations: "\\??\\" and the path, then an empty new name).
  [[nodiscard]] std::vector<std::string> DeletionsAtNextStart() const;
  FakeFile* FindFile(const std::string& path);
  bool redirectionDisabled = false;  // the thread's WOW64 switch

  // --- Services.
  void AddService(const std::string& name, ServiceState state = ServiceState::kStopped);
  FakeService* FindService(const std::string& name);
  [[nodiscard]] bool HasService(const std::string& name) const;
  [[nodiscard]] std::size_t OpenHandleCount() const noexcept { return handles_.size(); }

  // --- Message boxes: scripted answers in order; unscripted boxes take the default button.
  void ScriptAnswers(std::initializer_list<int> answers);
  std::vector<BoxRecord> boxes;

  // --- Debug output, one entry per line sent.
  std::vector<std::string> debugLines;

  // --- Every platform call the code made that changes or tests something, in order,
  // as "Name(arguments)".
  std::vector<std::string> calls;

  // --- Fault injection: the call (by name) on the target (path or service name,
  // empty = any) fails with the code; nth = 0 every time, n only the n-th matching call.
  void FailCall(const std::string& call, const std::string& target, Dword code, int nth = 0);

  // --- Registry. Seeding and inspection take native full paths with the short root
  // names HKLM, HKCU, HKU, HKCC and HKCR (HKCR is HKLM\Software\Classes); the 32-bit
  // view's copy of HKLM\Software is spelled out as HKLM\Software\Wow6432Node.
  // Keys created by seeding get the owner Administrators and inherit the inheritable
  // entries of their parent (the roots grant System and Administrators full control
  // and Users read, all inheritable).
  void AddKey(const std::string& path);
  [[nodiscard]] bool KeyExists(const std::string& path) const;
  void SetValue(const std::string& keyPath, const std::string& name, Dword type,
                std::vector<std::uint8_t> data);
  // A string as UTF-16LE bytes, with a terminating NUL unless withNul is false.
  void SetStringValue(const std::string& keyPath, const std::string& name, const std::string& text,
                      Dword type = platform::kRegSz, bool withNul = true);
  void SetDwordValue(const std::string& keyPath, const std::string& name, Dword value);
  [[nodiscard]] std::optional<FakeValue> GetValue(const std::string& keyPath,
                                                  const std::string& name) const;
  // Direct subkey names in creation order, with their original letter case.
  [[nodiscard]] std::vector<std::string> SubkeyNames(const std::string& path) const;
  // Every key at and below the path (lower-case native path) with its values as text, one
  // "name=type:hex bytes" line each in the order set: two images compare equal when the
  // subtree holds the same keys and values. Security is not part of it.
  [[nodiscard]] std::map<std::string, std::string> RegistryImage(const std::string& path) const;
  // The key's security descriptor, editable in place; null for a missing key.
  platform::SecurityDescriptor* KeySecurity(const std::string& path);
  // Removes a key with its subtree whatever its security (what an outside tool with
  // more rights would do); false when it was not there.
  bool DeleteKeyTree(const std::string& path);
  [[nodiscard]] std::size_t OpenKeyCount() const noexcept;

  // --- Accounts and the process token: the user, and the groups it is a member of
  // (Administrators only while elevated, Users, Everyone).
  platform::Sid userSid{"S-1-5-21-1004336348-1177238915-682003330-1000"};
  std::string userName = "root";
  // Account names the lookup knows (case-insensitive); preset: the user, SYSTEM,
  // System, Administrators, Power Users, Users, Everyone.
  std::map<std::string, platform::Sid, NoCaseLess> accounts;
  [[nodiscard]] std::vector<platform::Sid> TokenGroups() const;

  // --- Programs. A file the machine can run is any existing file; a program installed
  // here also has an effect and an exit code. Programs end when they start unless
  // runMs says how long they run (measured on the machine's clock, which advances
  // only while the code waits).
  void InstallProgram(const std::string& nativePath, ProgramEffect effect = {}, Dword exitCode = 0,
                      Dword runMs = 0);
  std::vector<StartedProgram> started;
  // A process that runs until it is ended (a snapshot, WMI and the termination calls see
  // it); answers its id.
  Dword AddRunningProcess(const std::string& exeName);
  [[nodiscard]] bool ProcessRunning(Dword processId) const;
  // WMI: whether the service answers queries, and whether Terminate works (Wine's does not).
  bool wmiAvailable = true;
  bool wmiCanTerminate = true;
  // The token's privileges by name: present = held, the value = enabled now. Preset while
  // elevated: SeDebugPrivilege, SeRestorePrivilege, SeTakeOwnershipPrivilege, SeBackupPrivilege,
  // all off.
  std::map<std::string, bool, NoCaseLess> privileges;
  Dword tickCount = 1000000;
  // A document whose handler is already running: ShellExecuteExW succeeds without
  // returning a process (native paths).
  std::vector<std::string> documentsOpenedByRunningProgram;
  [[nodiscard]] std::size_t OpenProcessHandleCount() const noexcept;
  // Window messages waiting for the thread: a wait answers "a message" while there are any,
  // and pumping takes them all.
  int pendingMessages = 0;
  int pumpedMessages = 0;

  // --- Message texts of FormatMessageW (the common Win32 ones are preset).
  std::map<Dword, std::string> messageTexts;

  // The interfaces.
  void OutputDebugStringW(const std::string& text) override;
  std::optional<std::string> GetEnvironmentVariableW(const std::string& name) override;
  std::string GetSystemWindowsDirectoryW() override;
  std::string GetSystemDirectoryW() override;
  bool IsWow64Process() override { return is64BitWindows && wow64Process; }
  std::string GetModuleFileNameW() override;
  std::string FormatMessageW(Dword code) override;
  bool GetVersionExA(platform::OsVersionInfoEx& info) override;
  int GetSystemMetrics(int index) override;
  Dword GetFileAttributesW(const std::string& path) override;
  bool DeleteFileW(const std::string& path) override;
  bool Wow64DisableWow64FsRedirection(Handle& oldValue) override;
  bool Wow64RevertWow64FsRedirection(Handle oldValue) override;
  Dword GetPrivateProfileStringW(const std::string& section, const std::string& key,
                                 const std::string& defaultValue, std::string& out, Dword nSize,
                                 const std::string& fileName) override;
  Handle OpenSCManagerW(const std::optional<std::string>& machineName,
                        const std::optional<std::string>& databaseName,
                        Dword desiredAccess) override;
  Handle OpenServiceW(Handle scManager, const std::string& serviceName,
                      Dword desiredAccess) override;
  bool ControlService(Handle service, Dword control, platform::ServiceStatus& status) override;
  bool DeleteService(Handle service) override;
  bool ChangeServiceConfigW(Handle service) override;
  bool CloseServiceHandle(Handle h) override;
  int MessageBoxW(Handle owner, const std::string& text, const std::string& caption,
                  Dword type) override;
  Handle GetDesktopWindow() override;
  Dword GetPrivateProfileIntW(const std::string& section, const std::string& key, int nDefault,
                              const std::string& fileName) override;
  Dword GetPrivateProfileSectionW(const std::string& section, std::string& out, Dword nSize,
                                  const std::string& fileName) override;
  bool WritePrivateProfileStringW(const std::string& section, const std::string& key,
                                  const std::string& value, const std::string& fileName) override;
  Dword RegOpenKeyExW(Handle root, const std::string& subKey, Dword options, Dword samDesired,
                      Handle& result) override;
  Dword RegCreateKeyExW(Handle root, const std::string& subKey, Dword options, Dword samDesired,
                        Handle& result, Dword* disposition) override;
  Dword RegQueryValueExW(Handle key, const std::string& valueName, Dword* type, std::uint8_t* data,
                         Dword* cbData) override;
  Dword RegSetValueExW(Handle key, const std::string& valueName, Dword type,
                       const std::uint8_t* data, Dword cbData) override;
  Dword RegEnumValueW(Handle key, Dword index, std::string& name, Dword* type,
                      Dword* cbData) override;
  Dword RegEnumKeyExW(Handle key, Dword index, std::string& name) override;
  Dword RegDeleteKeyExW(Handle key, const std::string& subKey, Dword samDesired) override;
  Dword RegDeleteValueW(Handle key, const std::string& valueName) override;
  Dword RegCloseKey(Handle key) override;
  Dword RegGetKeySecurity(Handle key, Dword securityInformation,
                          platform::SecurityDescriptor& descriptor) override;
  Dword RegSetKeySecurity(Handle key, Dword securityInformation,
                          const platform::SecurityDescriptor& descriptor) override;
  std::optional<platform::Sid> LookupAccountNameW(const std::string& accountName) override;
  std::optional<platform::Sid> GetTokenUserSid() override;
  std::int32_t WinVerifyTrust(const std::string& file, std::string& signerOrganization) override;
  bool ShellExecuteExW(platform::ShellExecuteInfo& info) override;
  bool CreateProcessW(const std::string& applicationName, const std::string& commandLine,
                      Dword showWindow, platform::ProcessInformation& info) override;
  Handle OpenProcess(Dword desiredAccess, bool inheritHandle, Dword processId) override;
  bool GetExitCodeProcess(Handle process, Dword& exitCode) override;
  Dword MsgWaitForMultipleObjects(Handle process, Dword milliseconds) override;
  void PumpMessages() override;
  Dword GetTickCount() override;
  bool CloseHandle(Handle h) override;
  bool TerminateProcess(Handle process, Dword exitCode) override;
  Handle CreateToolhelp32Snapshot(Dword flags, Dword processId) override;
  bool Process32FirstW(Handle snapshot, platform::ProcessEntry& entry) override;
  bool Process32NextW(Handle snapshot, platform::ProcessEntry& entry) override;
  Dword GetVersion() override;
  bool SetFileAttributesW(const std::string& path, Dword attributes) override;
  bool CreateDirectoryW(const std::string& path) override;
  bool RemoveDirectoryW(const std::string& path) override;
  bool MoveFileExW(const std::string& existing, const std::optional<std::string>& newName,
                   Dword flags) override;
  bool MakeSureDirectoryPathExists(const std::string& path) override;
  Handle CreateFileW(const std::string& path, Dword desiredAccess, Dword shareMode,
                     Dword creationDisposition, Dword flagsAndAttributes) override;
  bool GetFileInformationByHandle(Handle file, platform::FileInformation& info) override;
  bool SetFileAttributesByHandle(Handle file, Dword attributes) override;
  bool SetFileDispositionByHandle(Handle file, bool ignoreReadOnly) override;
  Handle FindFirstFileW(const std::string& pattern, platform::FindData& data) override;
  bool FindNextFileW(Handle find, platform::FindData& data) override;
  bool FindClose(Handle find) override;
  Dword GetDriveTypeW(const std::string& rootPath) override;
  bool GetVolumeInformationW(const std::string& rootPath,
                             platform::VolumeInformation& info) override;
  bool OpenProcessToken(Dword desiredAccess, Handle& token) override;
  bool LookupPrivilegeValueW(const std::string& name, platform::Luid& luid) override;
  bool AdjustTokenPrivileges(Handle token, platform::Luid luid, bool enable) override;
  Dword SetFileOwner(Handle file, const platform::Sid& owner) override;
  std::int32_t ExecQuery(const std::string& query,
                         std::vector<platform::WmiObject>& objects) override;
  std::int32_t Terminate(const platform::WmiObject& object) override;

 private:
  struct Fault {
    std::string call;
    std::string target;
    Dword code;
    int nth;
    int seen = 0;
  };
  struct ServiceHandle {
    bool isManager = false;
    std::string service;  // the service's name, for a service handle
    Dword access = 0;
  };

  // The fault that applies to this call, if any (sets the last error).
  bool Faulted(const std::string& call, const std::string& target);
  // A path as the program passed it, resolved to the machine's native path key:
  // relative paths against the current folder, "\\?\" dropped, WOW64 redirection
  // applied. nullopt (last error set) for a malformed path.
  std::optional<std::string> Resolve(const std::string& path) const;
  static std::string Key(const std::string& nativePath);
  // The key with every folder link on the way replaced by its target (and the last name
  // too when followFinal), as a path-based call reaches it.
  std::string ThroughLinks(std::string key, bool followFinal) const;
  static std::string Parent(const std::string& key);
  ServiceHandle* FindHandle(Handle h, bool wantManager);
  void RemoveIfDone(const std::string& serviceName);

  // Registry: a key as stored, an open key handle, and the programs and processes.
  struct RegKey {
    std::string path;  // the native path with every name's letter case as created
    std::vector<std::pair<std::string, FakeValue>> values;  // in the order first set
    platform::SecurityDescriptor security;
    std::uint64_t created = 0;
  };
  struct KeyHandle {
    std::string key;  // lower-case native path
    Dword access = 0;
    Dword view = 0;  // kKeyWow64_32Key or kKeyWow64_64Key: how paths below it are read
  };
  struct ResolvedKey;
  struct Program {
    ProgramEffect effect;
    Dword exitCode = 0;
    Dword runMs = 0;
  };
  struct Process {
    Dword exitCode = 0;
    Dword endTick = 0;
    std::string exeName;  // the executable's name, no folder
    bool terminated = false;
  };
  // An open file or folder: the name it was opened by, its rights and share mode.
  struct FileHandle {
    std::string key;
    Dword access = 0;
    Dword share = 0;
    bool deleteOnClose = false;
  };
  struct FindListing {
    std::vector<platform::FindData> entries;
    std::size_t next = 0;
  };
  struct Snapshot {
    std::vector<platform::ProcessEntry> entries;
    std::size_t next = 0;
  };
  // Whether the token may open the entry for `access` (a file right mask; generic rights
  // mapped), privileges that backup semantics bring included.
  bool FileAllows(const FakeFile& file, Dword access, bool backupSemantics) const;
  [[nodiscard]] bool PrivilegeOn(const std::string& name) const;
  [[nodiscard]] bool Running(const Process& process) const;
  [[nodiscard]] std::vector<std::string> ChildKeys(const std::string& key) const;
  struct KernelHandle {
    Dword processId = 0;
    bool isThread = false;
    Dword access = platform::kProcessAllAccess;
  };

  void InitRegistry();
  Dword DefaultView() const noexcept;
  std::optional<KeyHandle> OpenedKey(Handle h) const;
  std::optional<ResolvedKey> ResolveKey(Handle base, const std::string& subKey, Dword sam,
                                        Dword& error) const;
  RegKey* FindKey(const std::string& key);
  const RegKey* FindKey(const std::string& key) const;
  RegKey& MakeKey(const std::string& key, const std::string& display);
  void MakeMissingKeys(const std::vector<std::string>& names);
  Handle OpenKeyHandle(const ResolvedKey& key, Dword samDesired);
  std::optional<ResolvedKey> KeyCall(const char* call, Handle base, const std::string& subKey,
                                     Dword samDesired, Dword& error);
  std::vector<const RegKey*> Children(const std::string& key) const;
  bool Allowed(const RegKey& key, Dword desired) const;
  // The access check both registry keys and files use: the owner may always read and change
  // the list; entries count in order, a denied right refuses at once, inherit-only entries do
  // not apply; no list allows everything. `mapGeneric` maps the object type's generic rights.
  bool DaclGrants(const std::optional<platform::Sid>& owner,
                  const std::optional<platform::Acl>& dacl, Dword wanted,
                  Dword (*mapGeneric)(Dword)) const;
  // The handle's key when the handle is open, still names a key and holds `right`; else the
  // Win32 code (6, 1018, 5) in `error`.
  RegKey* UsableKey(Handle h, Dword right, Dword& error);
  Handle NewHandle();
  std::optional<std::string> FindProgram(const std::string& name) const;
  Dword StartProgram(StartedProgram& record);
  const Process* FindProcess(Handle h, Dword& error) const;
  // INI files: the lines of a file the program names, or null (last error set).
  const FakeFile* IniFile(const std::string& fileName) const;

  platform::Platform previous_;
  std::map<std::string, std::string, NoCaseLess> env_;
  // Keyed by lower-case native path; the names of a hard-linked file share one FakeFile.
  std::map<std::string, std::shared_ptr<FakeFile>> files_;
  std::map<std::string, std::string> names_;  // key -> the last name as created
  std::map<std::string, FakeService, NoCaseLess> services_;
  std::map<Handle, ServiceHandle> handles_;
  Handle nextHandle_ = 0x100;
  std::deque<int> answers_;
  std::vector<Fault> faults_;
  std::map<std::string, RegKey> keys_;  // keyed by lower-case native path
  std::map<Handle, KeyHandle> keyHandles_;
  std::uint64_t keyOrder_ = 0;
  std::map<std::string, Program> programs_;  // keyed by lower-case native path
  std::map<Dword, Process> processes_;
  std::map<Handle, FileHandle> fileHandles_;
  std::map<Handle, FindListing> findHandles_;
  std::map<Handle, Snapshot> snapshots_;
  std::map<Handle, bool> tokens_;
  std::map<Handle, KernelHandle> kernelHandles_;
  Dword nextProcessId_ = 0x1000;
};

}  // namespace orvo::fake
