#pragma once
// One running effect of a Winamp DSP plug-in file, for one deck. Each instance loads
// its own temporary copy of the file (named zvd*.so): the dynamic loader shares a file
// that is already loaded, so only a copy gives each deck its own effect state. Where
// the temporary folder does not allow running code the copy goes to the next folder,
// and at last the file itself is loaded.
//
// Threading: construction, destruction, configure() and the parameters on the
// user-interface thread; process() on the audio thread, and it neither allocates nor
// locks (what the plug-in itself does is its own affair).

#include "audio/deck/DspPlugin.h"
#include "audio/dsp/PluginLibrary.h"

#include <string>
#include <vector>

class WinampDspPlugin : public DspPlugin {
public:
    // Loads effect moduleIndex of the file. Check loaded() afterwards; error() tells
    // why it failed. parentWindow is handed to the plug-in as its parent window.
    // copyFolders: where temporary copies may go, in order (empty = the system's
    // temporary folder, then the program's cache folder).
    WinampDspPlugin(const std::string& path, int moduleIndex, void* parentWindow = nullptr,
                    std::vector<std::string> copyFolders = {});
    // Quits the effect, unloads the copy and deletes it.
    ~WinampDspPlugin() override;
    WinampDspPlugin(const WinampDspPlugin&) = delete;
    WinampDspPlugin& operator=(const WinampDspPlugin&) = delete;

    bool loaded() const { return module_ != nullptr; }
    const std::string& error() const { return error_; }
    const std::string& path() const { return path_; }
    int moduleIndex() const { return moduleIndex_; }
    // The effect's own name.
    const std::string& description() const { return description_; }
    // The copy that was loaded, empty when the file itself was.
    const std::string& tempCopy() const { return tempCopy_; }

    // Runs the effect on count frames in place (count unchanged without an effect).
    // The result is kept within 0..2 x count, the room the buffer has.
    int process(Frame* frames, int count) override;

    // The plug-in's own configuration call; for plug-ins with parameters the host
    // shows its own window instead (hasParameters()).
    void configure();

    struct Parameter {
        std::string name;
        std::string unit;
        int minimum = 0;
        int maximum = 0;
    };
    bool hasParameters() const { return !parameters_.empty(); }
    const std::vector<Parameter>& parameters() const { return parameters_; }
    int parameter(int i) const;
    // Sets parameter i, clamped to its range.
    void setParameter(int i, int value);

    // Writes a copy of the file into the folder under a new name "zvdXXXXXX.so" and
    // returns its path; empty when the file cannot be read or the copy not written.
    static std::string copyToTemp(const std::string& path, const std::string& folder);
    // The default folders for copies.
    static std::vector<std::string> defaultCopyFolders();

private:
    void readParameters();

    std::string path_;
    int moduleIndex_ = -1;
    std::string description_;
    winampDSPModule* module_ = nullptr;
    std::string tempCopy_;
    PluginLibrary library_;
    std::string error_;
    std::vector<Parameter> parameters_;
    const zvDspParameter* parameterTable_ = nullptr;
};
