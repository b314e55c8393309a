// The one-value INI reader.
#include "fs/ini.h"

#include "platform/platform.h"

namespace orvo::fs {

std::string ReadINIValue(const std::string& sFile, const std::string& sSection,
                         const std::string& sKey) {
  constexpr platform::Dword kBufferChars = 255;
  std::string buffer;
  const platform::Dword copied =
      platform::Files().GetPrivateProfileStringW(sSection, sKey, "", buffer, kBufferChars, sFile);
  return buffer.substr(0, copied);
}

}  // namespace orvo::fs
