// Modal message boxes.
#include "platform/ui.h"

#include "platform/win32/areas.h"
#include "platform/win32/support.h"

namespace orvo::platform::win32 {
namespace {

class Win32UserInterface final : public IUserInterface {
 public:
  // Shows the box and answers the button pressed; 0 (last error set) when it cannot be shown.
  int MessageBoxW(Handle owner, const std::string& text, const std::string& caption,
                  Dword type) override {
    const int answer =
        ::MessageBoxW(FromHandle<HWND>(owner), Widen(text).c_str(), Widen(caption).c_str(), type);
    if (answer == 0) TakeLastError();
    return answer;
  }

  Handle GetDesktopWindow() override { return ToHandle(::GetDesktopWindow()); }
};

}  // namespace

IUserInterface& UserInterface() noexcept {
  static Win32UserInterface instance;
  return instance;
}

}  // namespace orvo::platform::win32
