// The settings the shell-extension routines share, and their preparation.
#include "shellext/settings.h"

#include "fs/paths.h"
#include "platform/platform.h"
#include "shellext/catalogue.h"
#include "support/log.h"
#include "support/windows_version.h"

namespace orvo::shellext {
namespace {

ShellExtSettings g_settings;

template <class F>
void FormLoadStep(F&& step) noexcept {
  support::LoggedStep("Form_Load VB Error: ", step);
}

}  // namespace

ShellExtSettings& Settings() { return g_settings; }

void ResetShellExtState() { g_settings = ShellExtSettings{}; }

void SetVerbKeyNames() {
  g_settings.verbKeyNames.clear();
  for (const Verb& verb : Catalogue()) {
    if (verb.kind != VerbKind::kRunas) g_settings.verbKeyNames.emplace_back(verb.keyName);
  }
}

void StoreExeName() {
  const std::string module = platform::Env().GetModuleFileNameW();
  if (module.empty()) {
    support::DPrintError("Form_Load VB Error: ", platform::GetLastError());
    return;
  }
  std::string name = module.substr(module.find_last_of('\\') + 1);
  const auto dot = name.find_last_of('.');
  if (dot != std::string::npos) name.erase(dot);
  g_settings.sExeName = name;
}

std::string VerbKeyName(std::string_view catalogueName) {
  if (catalogueName == kRunasKeyName) return std::string(catalogueName);
  for (const std::string& name : g_settings.verbKeyNames) {
    if (name == catalogueName) return name;
  }
  return {};
}

void LoadShellExtSettings(bool& /*flag*/) {
  FormLoadStep([] { g_settings.sModulesPath = fs::AppPath() + "Modules\\"; });
  FormLoadStep([] { SetVerbKeyNames(); });
  FormLoadStep([] {
    const std::string logo = fs::AppPath() + "Config\\applogo.ico";
    g_settings.sIconPath =
        fs::DoesFileExist(logo, false) ? logo : fs::AppPath() + "Modules\\orvo14.ico";
  });
  FormLoadStep([] {
    if (support::IsWin7() && !fs::DoesFileExist(g_settings.sIconPath, false)) {
      support::DPrintCustomError("Form_Load", "Cannot find prefix icons.");
    }
  });
  FormLoadStep([] { StoreExeName(); });
}

}  // namespace orvo::shellext
