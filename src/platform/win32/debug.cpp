// Debugger output through OutputDebugStringW.
#include "platform/debug.h"

#include "platform/win32/areas.h"
#include "platform/win32/support.h"

namespace orvo::platform::win32 {
namespace {

class Win32DebugOutput final : public IDebugOutput {
 public:
  // Sends the line to an attached debugger (or DebugView); nothing happens when none listens.
  void OutputDebugStringW(const std::string& text) override {
    ::OutputDebugStringW(Widen(text).c_str());
  }
};

}  // namespace

IDebugOutput& DebugOutput() noexcept {
  static Win32DebugOutput instance;
  return instance;
}

}  // namespace orvo::platform::win32
