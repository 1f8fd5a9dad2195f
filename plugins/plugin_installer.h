// Plug-in installation: every "*.dll" file in a folder is loaded as a shared
// library and its entry point kvMain() is called. A plug-in does its own
// installing; this only finds, loads and calls it and says what happened.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace korvanti {

// The entry point every plug-in exports under the name "kvMain".
using PluginEntry = int32_t (*)();
inline constexpr const char* kPluginEntryName = "kvMain";
// What kvMain returns when the plug-in was added.
inline constexpr int32_t kPluginInstalled = 15;

enum class PluginOutcome {
    Installed,    // kvMain returned 15
    NoEntryPoint, // the library loaded but exports no kvMain
    OtherResult,  // kvMain returned something else; nothing to tell the user
};

// Visits the folder's "*.dll" files (the extension in any letter case) in
// the order the directory lists them. Each is loaded by the folder's path
// joined with its name, so the loader's library search path cannot put
// another library in its place. Files that do not load are skipped without
// a report. Loaded libraries stay loaded. Returns the number of files found.
int InstallPlugins(const std::string& folder,
                   const std::function<void(PluginOutcome outcome, const std::string& path)>& report);

} // namespace korvanti
