// Loads the three modules and binds their entry points. Modules are never unloaded.
// Thread safety: called on the front end's thread during start-up only.
#pragma once

#include <string>

#include "modules/utility/utility_module.h"

namespace korvane {

class CKorvaneAppDownloadApp;

// Names of the modules; the platform adds its file suffix (ModuleFileName).
inline constexpr const char* kChannelModule = "Ruduvar9";
inline constexpr const char* kSigningModule = "RODEdar";
inline constexpr const char* kUtilityModule = "RERizu";

// The channel module from its full path into pfnCreateChannel and pfnReleaseChannel; false
// when the module or either entry point is missing.
bool BindChannelModule(CKorvaneAppDownloadApp& app, const std::string& modulePath);
// The signing module by bare name through the ordinary library search (the program's
// run path holds its own folder) into the signing set-up's pfnSign and pfnVerify; false
// when the module or either entry point is missing.
bool BindSigningModule(CKorvaneAppDownloadApp& app);
// Makes configDir the current directory, so that kDevPathIni names the file there, then
// loads the utility module from moduleDir (by bare name when moduleDir is empty) and binds
// all 34 entry points; false when the folder cannot be entered or anything is missing.
bool BindUtilityModule(UtilityModule& utility, const std::string& configDir, const std::string& moduleDir);

}  // namespace korvane
