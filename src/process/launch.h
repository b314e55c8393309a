// Starting outside programs by their full path.
#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace orvo::process {

// True for a full path: a drive letter, colon and backslash, or a network path. Anything else
// (a bare name, a relative path) would make the platform search folders for a program, the
// program's own and the current one first: both are the user's Downloads here.
bool IsFullPath(const std::string& path);
// Starts a program, document or folder through the shell, by its full path only (a bare
// name is refused and logged). A full path that does not exist is started only after the
// user says Yes. With bWait, waits for the program to
// end and hands back its exit code. True when launched (and, waiting, ended).
bool ShellX(const std::string& sShell, const std::string& sParams, bool bWait, std::int32_t nShow,
            const std::string& sVerb, std::string& sWorkDir, std::int32_t& lExitCode);
// ShellXWithin's outcome: not started, ended within the time, or still running after it.
enum class Started { kNotStarted, kEnded, kStillRunning };
// Starts a program as ShellX does and waits for it at most lTimeoutMs; a program still
// running then is left running. A network path goes through the shell like any other.
Started ShellXWithin(const std::string& sShell, const std::string& sParams, std::int32_t nShow,
                     const std::string& sVerb, std::string& sWorkDir, platform::Dword lTimeoutMs);
// The launcher for network paths: builds a command line and starts it.
bool ShellXOld(const std::string& sPathAndFileName, const std::string& sParams, bool bWait,
               std::int32_t lWindowStyle);
// Starts a command line and waits for it to end (or for the time-out, when used). Its first
// token must be the program's full path; anything else is refused and logged.
bool ShellAndWaitForTermination(const std::string& sShell, std::int32_t lWindowStyle,
                                std::string& sErrMsg, std::int32_t lTimeoutMs, bool bUseTimeout);
// Starts a command line and returns at once.
bool ShellNoWait(const std::string& sShell, std::int32_t lWindowStyle);

// One command-line argument as the C runtime reads it back: wrapped in quotes when it holds a
// blank or a quote, is empty, or `always` asks for it; inner quotes and the backslashes before
// them escaped.
std::string QuoteArgument(const std::string& argument, bool always = false);

// The full path of a platform tool in the native system folder: %SystemRoot%\Sysnative
// from this 32-bit program on 64-bit Windows, %SystemRoot%\System32 otherwise.
std::string NativeSystemTool(const std::string& sToolName);

}  // namespace orvo::process
