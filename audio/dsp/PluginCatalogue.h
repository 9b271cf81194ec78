#pragma once
// Finding plug-in files and listing their effects, for the plug-in dialog. A file is
// loaded only for the time of its probe (the file itself, not a copy).
//
// Threading: user-interface thread only.

#include <string>
#include <vector>

struct PluginFile {
    std::string path;
    std::string description;
};

// The folders searched, in order: the home folder, its "plugins" folder and the
// program's own plug-in folder ("plugins" beside it, or lib/zorvendal/plugins of the
// installation).
std::vector<std::string> pluginFolders(const std::string& homeFolder,
                                       const std::string& programFolder);

// Every dsp_*.so of the folders (name compared without regard to ASCII case) whose
// header can be read, folder by folder in name order; a file met twice (the same file
// through two folders) is listed once.
std::vector<PluginFile> findPlugins(const std::vector<std::string>& folders);

// The description of one file; false when it does not load or is no plug-in.
bool probePlugin(const std::string& path, PluginFile* file, std::string* error = nullptr);

// The descriptions of the file's effects, 0, 1, 2, ...; false with *error when the file
// cannot be read as a plug-in.
bool listModules(const std::string& path, std::vector<std::string>* modules,
                 std::string* error = nullptr);
