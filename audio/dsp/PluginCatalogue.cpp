#include "audio/dsp/PluginCatalogue.h"

#include "audio/dsp/PluginLibrary.h"
#include "core/AsciiCase.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>

namespace fs = std::filesystem;

std::vector<std::string> pluginFolders(const std::string& homeFolder,
                                       const std::string& programFolder) {
    std::vector<std::string> folders;
    if (!homeFolder.empty()) {
        folders.push_back(homeFolder);
        folders.push_back(homeFolder + "/plugins");
    }
    if (!programFolder.empty()) {
        // Beside the program in the build tree; under lib/ once installed.
        folders.push_back(programFolder + "/plugins");
        folders.push_back(programFolder + "/../lib/zorvendal/plugins");
    }
    return folders;
}

namespace {

bool isPluginName(const std::string& name) {
    return name.size() > 7 && startsWithIgnoringCase(name, "dsp_") &&
           endsWithIgnoringCase(name, ".so");
}

} // namespace

std::vector<PluginFile> findPlugins(const std::vector<std::string>& folders) {
    std::vector<PluginFile> found;
    std::set<fs::path> seen;
    for (const std::string& folder : folders) {
        std::error_code ec;
        std::vector<std::string> names;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (isPluginName(name) && it->is_regular_file(ec))
                names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            const std::string path = folder + "/" + name;
            const fs::path identity = fs::canonical(path, ec);
            if (ec || !seen.insert(identity).second)
                continue;
            PluginFile file;
            if (probePlugin(path, &file))
                found.push_back(std::move(file));
        }
    }
    return found;
}

bool probePlugin(const std::string& path, PluginFile* file, std::string* error) {
    PluginLibrary library;
    if (!library.open(path, error))
        return false;
    std::string description;
    if (library.header(error, &description) == nullptr)
        return false;
    file->path = path;
    file->description = std::move(description);
    return true;
}

bool listModules(const std::string& path, std::vector<std::string>* modules, std::string* error) {
    modules->clear();
    PluginLibrary library;
    if (!library.open(path, error))
        return false;
    const winampDSPHeader* header = library.header(error);
    if (header == nullptr)
        return false;
    std::string description;
    for (int i = 0; PluginLibrary::module(header, i, &description) != nullptr; ++i)
        modules->push_back(description);
    return true;
}
