// The built-in removal and its orchestration against the in-memory machine: every verb the
// toolkit's install mode wrote goes, the default verbs come back, the installer tool runs
// only where it may, and nothing else changes.
#include "shellext/removal.h"

#include "cleanup/run.h"
#include "shellext_fixture.h"

namespace orvo::shellext {
namespace {

using fake::FakeMachine;
using fixture::kIni;
using fixture::kInstalled;
using fixture::kNoOpen;
using fixture::kSettings;
using fixture::kToolFolder;
using fixture::kVersions;
using fixture::ShellExtTest;
using fixture::WindowsVersion;
using ::testing::Contains;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using ::testing::Not;

constexpr const char* kTool = "C:\\Program Files\\Tarnwick\\Orvo\\TarnwickShellExtensions.exe";
constexpr const char* kCopyPath =
    "HKLM\\SOFTWARE\\Classes\\AllFilesystemObjects\\shell\\!0CopyPath";
constexpr const char* kUnknownShell = "HKLM\\SOFTWARE\\Classes\\Unknown\\shell";

class RemovalByVersion : public ShellExtTest, public ::testing::WithParamInterface<WindowsVersion> {
 protected:
  bool Win7() const {
    return GetParam().major > 6 || (GetParam().major == 6 && GetParam().minor >= 1);
  }
};

// Install mode put every verb in place for every class; the removal takes out exactly that:
// the machine is the machine from before install, with the "NoOpen" text written and Unknown
// opening with its saved verb again. A second run finds nothing and changes nothing.
TEST_P(RemovalByVersion, RemovalTakesOutExactlyWhatInstallWrote) {
  SetVersion(GetParam());
  // Before Vista the take-control verb installs only where takeown.exe is.
  machine.AddFile("C:\\windows\\syswow64\\takeown.exe");
  auto expected = Image();
  InstallEverything(kToolFolder, Win7());
  ASSERT_TRUE(machine.KeyExists(kCopyPath + std::string("\\command")));
  ASSERT_EQ(Text(kUnknownShell, ""), "!4OpenInNotepad");
  ASSERT_EQ(Text(fixture::kBackups, "Unknown"), "openas");

  RemoveShellExtensions(true);

  expected["hklm\\software\\classes\\ocxfile"] += "NoOpen=1:" + [] {
    std::string hex;
    for (const std::uint8_t b : support::ToUtf16Bytes(std::string(kNoOpen) + '\0')) {
      hex += "0123456789abcdef"[b >> 4];
      hex += "0123456789abcdef"[b & 0xF];
    }
    return hex;
  }() + "\n";
  EXPECT_EQ(ImageDiff(Image(), expected), "");
  EXPECT_EQ(Text(kUnknownShell, ""), "openas");
  EXPECT_TRUE(machine.started.empty());
  EXPECT_FALSE(bForceAction);
  EXPECT_EQ(machine.OpenKeyCount(), 0U);

  RemoveShellExtensions(true);
  EXPECT_EQ(ImageDiff(Image(), expected), "") << "a second run changes nothing";
  EXPECT_EQ(machine.OpenKeyCount(), 0U);
}

// What only some versions do: the runas keys go from Vista on, the cascading menus and the
// early deletion of the bookkeeping only from 7 on.
TEST_P(RemovalByVersion, EachVersionTakesItsOwnBranches) {
  SetVersion(GetParam());
  InstallEverything(kToolFolder, true);
  for (const char* c : {"Drive", "Directory\\Background"}) {
    const std::string key = std::string("HKLM\\SOFTWARE\\Classes\\") + c + "\\shell\\runas";
    machine.SetStringValue(key + "\\command", "", "\"cmd.exe\" /k pushd %v");
  }
  RemoveShellExtensions(true);
  const bool vista = GetParam().major >= 6;
  for (const char* c : {"Drive", "Directory\\Background"}) {
    EXPECT_EQ(machine.KeyExists(std::string("HKLM\\SOFTWARE\\Classes\\") + c + "\\shell\\runas"),
              !vista)
        << c;
  }
  for (const char* cascade : kCascadeKeys) {
    EXPECT_EQ(machine.KeyExists(std::string("HKLM\\") + kCascadeParent + "\\" + cascade), !Win7())
        << cascade;
  }
  EXPECT_EQ(Logged("Remove All: Original tool not found.  Using this tool for removal..."), true);
  EXPECT_FALSE(machine.KeyExists(kSettings));
  EXPECT_FALSE(machine.KeyExists("HKLM\\Software\\Tarnwick\\Orvo\\Shell Extensions"));
  EXPECT_TRUE(machine.KeyExists("HKLM\\Software\\Tarnwick\\Orvo"));
}

INSTANTIATE_TEST_SUITE_P(Versions, RemovalByVersion, ::testing::ValuesIn(kVersions),
                         [](const auto& param) {
                           return std::string("Windows") + param.param.name;
                         });

// The per-verb calls of the built-in removal, in this order, each removing (34: one per class
// of each routine).
TEST_F(ShellExtTest, TheBuiltInRemovalCallsEachRoutineForEachOfItsClassesInOrder) {
  const std::vector<std::string> expected = {
      "InstAutoPelmEdition: Type=AllFilesystemObjects Uninstall=True",
      "InstQsearch: Type=AllFilesystemObjects Uninstall=True",
      "InstCopyPath: Type=AllFilesystemObjects Uninstall=True",
      "InstFindTarget: Type=lnkfile Uninstall=True",
      "InstCopyMoveTo: Type=AllFilesystemObjects Uninstall=True",
      "InstOpenInNotepad: Type=AllFilesystemObjects Uninstall=True",
      "InstOpenInNotepad: Type=Unknown Uninstall=True",
      "InstCMDHere: Type=* Uninstall=True",
      "InstCMDHere: Type=Directory Uninstall=True",
      "InstCMDHere: Type=Drive Uninstall=True",
      "InstCMDHere: Type=Directory\\Background Uninstall=True",
      "InstDefrag: Type=AllFilesystemObjects Uninstall=True",
      "InstSecureDelete: Type=AllFilesystemObjects Uninstall=True",
      "InstUploadToVT: Type=AllFilesystemObjects Uninstall=True",
      "InstUnlockFile: Type=AllFilesystemObjects Uninstall=True",
      "InstTakeOwner: Type=AllFilesystemObjects Uninstall=True",
      "InstRunWithParms: Type=exefile Uninstall=True",
      "InstRunWithParms: Type=comfile Uninstall=True",
      "InstRunWithParms: Type=batfile Uninstall=True",
      "InstRunWithParms: Type=cmdfile Uninstall=True",
      "InstRunWithParms: Type=vbsfile Uninstall=True",
      "InstRunWithParms: Type=vbefile Uninstall=True",
      "InstRunWithParms: Type=wshfile Uninstall=True",
      "InstRunWithParms: Type=wsffile Uninstall=True",
      "InstRunWithParms: Type=Msi.Package Uninstall=True",
      "InstRunWithParms: Type=Msi.Patch Uninstall=True",
      "InstRunWithParms: Type=scrfile Uninstall=True",
      "InstWorkWithFile: Type=AllFilesystemObjects Uninstall=True",
      "InstRegSearch: Type=AllFilesystemObjects Uninstall=True",
      "InstFindDups: Type=AllFilesystemObjects Uninstall=True",
      "InstIsDLLLoaded: Type=dllfile Uninstall=True",
      "InstRegSvr: Type=dllfile Uninstall=True",
      "InstRegSvr: Type=ocxfile Uninstall=True",
      "InstRegSvr: Type=ax_auto_file Uninstall=True",
  };
  RemoveShellExtensions(true);
  std::vector<std::string> calls;
  for (const auto& line : machine.debugLines) {
    if (line.find(": Type=") != std::string::npos) calls.push_back(line.substr(1));
  }
  EXPECT_THAT(calls, ElementsAreArray(expected));
}

// The frame of the built-in removal in the log, and the values it deletes in their order.
TEST_F(ShellExtTest, TheBuiltInRemovalLogsItsFrame) {
  machine.SetVersion(6, 0);
  InstallEverything("");
  RemoveShellExtensions(true);
  std::vector<std::string> frame;
  for (const auto& line : machine.debugLines) {
    if (line.rfind("\tRemove", 0) == 0 || line == "\tFixDefaults") frame.push_back(line.substr(1));
  }
  EXPECT_THAT(frame,
              ElementsAreArray({"RemoveAll: bLoadConfig=False", "Remove All: bforceaction=True",
                                "Remove All: Original tool not found.  Using this tool for "
                                "removal...",
                                "Remove All: Removing Shell Extensions...", "FixDefaults"}));
  std::vector<std::string> valueDeletes;
  for (const auto& call : machine.calls) {
    if (call.rfind("RegDeleteValueW(HKLM\\Software\\Tarnwick\\Orvo\\Shell Extensions, ", 0) == 0) {
      valueDeletes.push_back(call);
    }
  }
  const std::string se = "RegDeleteValueW(HKLM\\Software\\Tarnwick\\Orvo\\Shell Extensions, ";
  EXPECT_THAT(valueDeletes, ElementsAreArray({se + "Prefix)", se + "Installed Location)",
                                              se + "Calling Application)", se + "PrefixIcon)"}));
  EXPECT_THAT(machine.calls,
              Contains("RegSetValueExW(HKLM\\Software\\Tarnwick\\Orvo\\Shell Extensions, "
                       "Installed, 4)"));
}

// On a machine the toolkit never touched the removal writes nothing: no vendor key, no class.
TEST_F(ShellExtTest, AMachineWithoutTheToolkitIsLeftAsItIs) {
  FakeMachine bare;
  const auto before = bare.RegistryImage("HKLM\\SOFTWARE");
  RemoveShellExtensions(true);
  EXPECT_EQ(bare.RegistryImage("HKLM\\SOFTWARE"), before);
  EXPECT_FALSE(bare.KeyExists("HKLM\\Software\\Tarnwick"));
  EXPECT_FALSE(bare.KeyExists("HKLM\\SOFTWARE\\Classes\\ocxfile"));
  EXPECT_THAT(bare.calls, Not(Contains(::testing::StartsWith("RegSetValueExW"))));
}

// The toolkit's own installer tool, tried before the built-in removal (before Windows 7, where
// its location is still known).
TEST_F(ShellExtTest, TheInstallerToolRunsOnlyWhereItMayAndDecidesTheBuiltInRemoval) {
  struct Row {
    const char* name;
    std::string location;
    std::string toolAt;  // where a tool is installed (empty: none)
    bool clears;         // the tool sets "Installed" to 0
    platform::Dword runMs;
    bool started;
    bool builtIn;
    std::vector<std::string> lines;
  };
  const std::string outside = "C:\\Users\\root\\Tools\\";
  const std::string dotted = "C:\\Program Files\\..\\Users\\root\\Tools\\";
  const Row rows[] = {
      {"the tool clears Installed",
       kToolFolder,
       kTool,
       true,
       0,
       true,
       false,
       {"Remove All: Removing with original tool in: " + std::string(kToolFolder),
        "Remove All: Successfully removed shell extensions using original tool."}},
      {"the tool leaves Installed",
       kToolFolder,
       kTool,
       false,
       0,
       true,
       true,
       {"Remove All: Removing with original tool in: " + std::string(kToolFolder),
        "Remove All: Failed to remove shell extensions using original tool.  Using this tool for "
        "removal..."}},
      {"the tool in the 32-bit Program Files",
       "C:\\Program Files (x86)\\Orvo\\",
       "C:\\Program Files (x86)\\Orvo\\TarnwickShellExtensions.exe",
       true,
       0,
       true,
       false,
       {"Remove All: Successfully removed shell extensions using original tool."}},
      {"the location is this program's folder",
       "c:\\TOOLS\\",
       "C:\\Tools\\TarnwickShellExtensions.exe",
       true,
       0,
       false,
       true,
       {"Remove All: AppPath and installed location match; allowing standard removal with this "
        "tool."}},
      {"no location",
       "",
       "C:\\Tools\\TarnwickShellExtensions.exe",
       true,
       0,
       false,
       true,
       {"Remove All: Original tool not found.  Using this tool for removal..."}},
      {"a relative location",
       "Tarnwick\\",
       "C:\\Tools\\Tarnwick\\TarnwickShellExtensions.exe",
       true,
       0,
       false,
       true,
       {"Remove All: Original tool not found.  Using this tool for removal..."}},
      {"no tool at the location",
       kToolFolder,
       "",
       true,
       0,
       false,
       true,
       {"Remove All: Original tool not found.  Using this tool for removal..."}},
      {"a tool outside Program Files",
       outside,
       outside + "TarnwickShellExtensions.exe",
       true,
       0,
       false,
       true,
       {"RemoveAll: Info", "\t- Not run: " + outside +
                               "TarnwickShellExtensions.exe is outside the Program Files "
                               "folders, where only administrators may change programs"}},
      {"a location that steps out of Program Files",
       dotted,
       outside + "TarnwickShellExtensions.exe",
       true,
       0,
       false,
       true,
       {}},
      {"the tool still runs after two minutes",
       kToolFolder,
       kTool,
       true,
       200000,
       true,
       true,
       {"Remove All: The original tool is still running after 120 seconds; it is left running "
        "and this tool goes on with the removal.",
        "Remove All: Failed to remove shell extensions using original tool.  Using this tool for "
        "removal..."}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakeMachine fresh;  // the platform while it lives
    fresh.SetVersion(5, 1);
    fixture::SeedProgramFiles(fresh);
    fresh.AddKey("HKLM\\SOFTWARE\\Classes\\AllFilesystemObjects\\shell\\!0CopyPath\\command");
    fresh.SetDwordValue(kSettings, "Installed", 1);
    fresh.SetStringValue(kSettings, "Installed Location", row.location);
    if (!row.toolAt.empty()) {
      fresh.AddFile(row.toolAt);
      const bool clears = row.clears;
      fresh.InstallProgram(
          row.toolAt,
          [clears](FakeMachine& m, const fake::StartedProgram&) {
            if (clears) m.SetDwordValue(kSettings, "Installed", 0);
            return platform::Dword{0};
          },
          0, row.runMs);
    }
    const platform::Dword startTick = fresh.tickCount;
    RemoveShellExtensions(true);

    ASSERT_EQ(fresh.started.size(), row.started ? 1U : 0U);
    if (row.started) {
      const auto& start = fresh.started[0];
      EXPECT_EQ(start.via, "ShellExecuteExW");
      EXPECT_EQ(start.file, row.toolAt);
      EXPECT_EQ(start.parameters, "/remove /force");
      EXPECT_EQ(start.show, 1U);
      EXPECT_EQ(start.directory, row.toolAt.substr(0, row.toolAt.rfind('\\')));
    }
    for (const auto& line : row.lines) {
      EXPECT_THAT(fresh.debugLines, Contains("\t" + line));
    }
    EXPECT_EQ(fresh.KeyExists("HKLM\\SOFTWARE\\Classes\\AllFilesystemObjects\\shell\\!0CopyPath"),
              !row.builtIn);
    EXPECT_EQ(std::count(fresh.debugLines.begin(), fresh.debugLines.end(),
                         "\tRemove All: Removing Shell Extensions..."),
              row.builtIn ? 1 : 0);
    // With the built-in removal skipped, the bookkeeping is the tool's to finish.
    EXPECT_EQ(fresh.KeyExists(kSettings), !row.builtIn);
    if (row.runMs > 0) {
      EXPECT_GE(fresh.tickCount - startTick, kInstallerToolTimeoutMs);
      EXPECT_LT(fresh.tickCount - startTick, 200000U) << "the removal did not wait for the tool";
    }
  }
}

// From Windows 7 on the bookkeeping goes first, so the tool's location is never known and the
// built-in removal always runs.
TEST_F(ShellExtTest, FromWindows7OnTheInstallerToolIsNeverStarted) {
  for (const auto& version : {std::pair{6U, 1U}, std::pair{10U, 0U}}) {
    FakeMachine fresh;
    fresh.SetVersion(version.first, version.second);
    fresh.AddFile(kTool);
    fresh.InstallProgram(kTool);
    fresh.SetDwordValue(kSettings, "Installed", 1);
    fresh.SetStringValue(kSettings, "Installed Location", kToolFolder);
    RemoveShellExtensions(true);
    EXPECT_TRUE(fresh.started.empty());
    EXPECT_THAT(fresh.debugLines,
                Contains("\tRemove All: Original tool not found.  Using this tool for removal..."));
  }
}

// Yes deletes the vendor key, and with it the saved default verbs, before the verbs go: they
// are put back first, so Unknown opens with its own verb again.
TEST_F(ShellExtTest, YesPutsTheSavedDefaultVerbsBackBeforeTheVendorKeyGoes) {
  InstallEverything();
  for (const int answer : {platform::kIdYes, platform::kIdNo}) {
    SCOPED_TRACE(answer);
    machine.SetStringValue(kUnknownShell, "", "!4OpenInNotepad");
    machine.SetStringValue(fixture::kBackups, "Unknown", "openas");
    machine.ScriptAnswers({answer, platform::kIdOk, platform::kIdOk});
    cleanup::Main();
    EXPECT_EQ(Text(kUnknownShell, ""), "openas");
    EXPECT_FALSE(machine.KeyExists(kSettings));
    EXPECT_FALSE(machine.KeyExists(kCopyPath));
  }
}

}  // namespace
}  // namespace orvo::shellext
