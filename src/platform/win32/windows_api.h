// The one place that includes <windows.h>: the Windows version we build for and the trimmed API
// set.
#pragma once

// Any libstdc++ header pulls in mingw-w64's _mingw.h, which defaults _WIN32_WINNT to Windows 10;
// reset it so that nothing newer than Windows 7 is declared to the backend by mistake.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#undef WINVER
#define WINVER 0x0601
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

// windows.h first: the headers after it need its types.
// clang-format off
#include <windows.h>
#include <objbase.h>
// WIN32_LEAN_AND_MEAN leaves out the Service Control Manager and ShellExecuteEx; the string
// forms of SIDs, the security of objects by handle and process snapshots have their own headers.
#include <aclapi.h>
#include <sddl.h>
#include <shellapi.h>
#include <tlhelp32.h>
#include <winsvc.h>
// clang-format on
