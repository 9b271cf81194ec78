#pragma once
// One plug-in file opened with dlopen, and the careful reading of what it hands back:
// a plug-in is foreign code, so a missing function, a null header or module, or a text
// that is not terminated within a sane length is refused instead of trusted.
//
// Threading: user-interface thread only (dlopen, dlclose and the plug-in's header
// function are not for the audio thread).

#include "audio/dsp/WinampDsp.h"

#include <optional>
#include <string>

// Longest description accepted, terminator included (the program's text fields hold
// 512 bytes).
inline constexpr size_t kMaxPluginTextBytes = 512;
// A header that goes on handing out modules past this is taken to have no end.
inline constexpr int kMaxPluginModules = 64;

// Copies a zero-terminated text at p that the plug-in owns: none when p is null, points
// into unmapped memory or holds no terminator within maxBytes.
std::optional<std::string> readForeignText(const char* p, size_t maxBytes = kMaxPluginTextBytes);
// Copies n bytes that the plug-in owns; false when any of them is not mapped.
bool readForeignBytes(void* to, const void* from, size_t n);
// Writes n bytes into the plug-in's memory; false when any of them is not writable.
bool writeForeignBytes(void* to, const void* from, size_t n);

class PluginLibrary {
public:
    PluginLibrary() = default;
    ~PluginLibrary();
    PluginLibrary(PluginLibrary&& other) noexcept;
    PluginLibrary& operator=(PluginLibrary&& other) noexcept;
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    // Loads the file (every symbol resolved now, none made global). False with *error
    // set when it does not load: not a shared object, another architecture, a missing
    // dependency or symbol.
    bool open(const std::string& path, std::string* error);
    void close();
    void* handle() const { return handle_; }

    // The header through winampDSPGetHeader2, else winampDSPGetHeader; null with *error
    // when neither is exported or the header or its description is unusable.
    winampDSPHeader* header(std::string* error, std::string* description = nullptr) const;
    // Module i of the header: null past the last module, past kMaxPluginModules, and
    // when its description is unusable or it has no sample function.
    static winampDSPModule* module(const winampDSPHeader* header, int index,
                                   std::string* description = nullptr);
    // The optional parameter function, or null.
    zvDspGetParametersType parametersFunction() const;

private:
    void* handle_ = nullptr;
};
