// Portable types and Win32 constants shared by the platform interfaces and the system.
#pragma once

#include <cstdint>
#include <string>

namespace orvo::platform {

using Dword = std::uint32_t;
// An opaque handle value as the platform hands it out; 0 is "no handle".
using Handle = std::uintptr_t;

// Win32 error codes the system and its tests name.
inline constexpr Dword kErrorSuccess = 0;
inline constexpr Dword kErrorFileNotFound = 2;
inline constexpr Dword kErrorPathNotFound = 3;
inline constexpr Dword kErrorAccessDenied = 5;
inline constexpr Dword kErrorInvalidHandle = 6;
inline constexpr Dword kErrorNotEnoughMemory = 8;
inline constexpr Dword kErrorNoMoreFiles = 18;
inline constexpr Dword kErrorSharingViolation = 32;
inline constexpr Dword kErrorNotSupported = 50;
inline constexpr Dword kErrorInvalidParameter = 87;
inline constexpr Dword kErrorInsufficientBuffer = 122;
inline constexpr Dword kErrorInvalidName = 123;
inline constexpr Dword kErrorMoreData = 234;
inline constexpr Dword kErrorAlreadyExists = 183;
inline constexpr Dword kErrorNoMoreItems = 259;
inline constexpr Dword kErrorNotAllAssigned = 1300;
inline constexpr Dword kErrorServiceRequestTimeout = 1053;
inline constexpr Dword kErrorServiceDoesNotExist = 1060;
inline constexpr Dword kErrorServiceCannotAcceptCtrl = 1061;
inline constexpr Dword kErrorServiceNotActive = 1062;
inline constexpr Dword kErrorServiceMarkedForDelete = 1072;

// GetFileAttributes answers this for a path it cannot find.
inline constexpr Dword kInvalidFileAttributes = 0xFFFFFFFF;
inline constexpr Dword kFileAttributeReadonly = 0x1;
inline constexpr Dword kFileAttributeHidden = 0x2;
inline constexpr Dword kFileAttributeSystem = 0x4;
inline constexpr Dword kFileAttributeDirectory = 0x10;
inline constexpr Dword kFileAttributeArchive = 0x20;
inline constexpr Dword kFileAttributeNormal = 0x80;
inline constexpr Dword kFileAttributeReparsePoint = 0x400;

// Generic rights every object type knows.
inline constexpr Dword kGenericRead = 0x80000000;
inline constexpr Dword kDelete = 0x00010000;
inline constexpr Dword kWriteOwner = 0x00080000;

// Message-box styles and answers.
inline constexpr Dword kMbOk = 0x0;
inline constexpr Dword kMbYesNoCancel = 0x3;
inline constexpr Dword kMbYesNo = 0x4;
inline constexpr Dword kMbDefButton2 = 0x100;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// Service Control Manager rights and controls.
inline constexpr Dword kScManagerConnect = 0x0001;
inline constexpr Dword kScManagerAllAccess = 0xF003F;
inline constexpr Dword kServiceAllAccess = 0xF01FF;
inline constexpr Dword kServiceChangeConfig = 0x0002;
inline constexpr Dword kServiceControlStop = 1;
inline constexpr Dword kServiceStopped = 1;
inline constexpr Dword kServiceStopPending = 3;
inline constexpr Dword kServiceRunning = 4;

// Version record: platform ids and product types.
inline constexpr Dword kVerPlatformWin32Windows = 1;
inline constexpr Dword kVerPlatformWin32Nt = 2;
inline constexpr int kSmCleanBoot = 67;

}  // namespace orvo::platform
