// Installing plug-ins: every ".dll" file in a folder is tried as a shared
// library and each outcome reported.
#include "plugins/plugin_installer.h"

#include <dirent.h>
#include <dlfcn.h>

#include <cctype>
#include <memory>
#include <string_view>

namespace korvanti {
namespace {

bool HasDllExtension(std::string_view name)
{
    constexpr std::string_view kExtension = ".dll";
    if (name.size() <= kExtension.size())
        return false;
    const std::string_view tail = name.substr(name.size() - kExtension.size());
    for (size_t i = 0; i < kExtension.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(tail[i])) != kExtension[i])
            return false;
    }
    return true;
}

struct DirectoryCloser {
    void operator()(DIR* directory) const { ::closedir(directory); }
};

} // namespace

int InstallPlugins(const std::string& folder,
                   const std::function<void(PluginOutcome outcome, const std::string& path)>& report)
{
    std::unique_ptr<DIR, DirectoryCloser> directory(::opendir(folder.c_str()));
    if (!directory)
        return 0;
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    int found = 0;
    while (const dirent* entry = ::readdir(directory.get())) {
        if (!HasDllExtension(entry->d_name))
            continue;
        ++found;
        const std::string path = prefix + entry->d_name;
        // Never closed: nothing says a plug-in may be unloaded after kvMain.
        void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr)
            continue;
        void* symbol = ::dlsym(library, kPluginEntryName);
        if (symbol == nullptr) {
            report(PluginOutcome::NoEntryPoint, path);
            continue;
        }
        const auto entry_point = reinterpret_cast<PluginEntry>(symbol);
        report(entry_point() == kPluginInstalled ? PluginOutcome::Installed : PluginOutcome::OtherResult, path);
    }
    return found;
}

} // namespace korvanti
