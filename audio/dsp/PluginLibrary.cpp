#include "audio/dsp/PluginLibrary.h"

#include <dlfcn.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

std::optional<std::string> readForeignText(const char* p, size_t maxBytes) {
    if (p == nullptr)
        return std::nullopt;
    // The kernel copies from our own address space and reports an unmapped page as a
    // short read instead of a fault, so a wild pointer is refused, not followed. Reads
    // stop at page ends so a text that ends just before unmapped memory is still read.
    constexpr uintptr_t kPage = 4096;
    std::string text;
    char chunk[kPage];
    uintptr_t at = reinterpret_cast<uintptr_t>(p);
    while (text.size() < maxBytes) {
        const size_t want = std::min<size_t>(kPage - at % kPage, maxBytes - text.size());
        iovec local{chunk, want};
        iovec remote{reinterpret_cast<void*>(at), want};
        const ssize_t got = process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
        if (got <= 0)
            return std::nullopt;
        char* end = std::find(chunk, chunk + got, '\0');
        text.append(chunk, static_cast<size_t>(end - chunk));
        if (end != chunk + got)
            return text;
        at += static_cast<uintptr_t>(got);
    }
    return std::nullopt;
}

bool readForeignBytes(void* to, const void* from, size_t n) {
    if (from == nullptr)
        return false;
    iovec local{to, n};
    iovec remote{const_cast<void*>(from), n};
    return process_vm_readv(getpid(), &local, 1, &remote, 1, 0) == static_cast<ssize_t>(n);
}

bool writeForeignBytes(void* to, const void* from, size_t n) {
    if (to == nullptr)
        return false;
    iovec local{const_cast<void*>(from), n};
    iovec remote{to, n};
    return process_vm_writev(getpid(), &local, 1, &remote, 1, 0) == static_cast<ssize_t>(n);
}

PluginLibrary::~PluginLibrary() {
    close();
}

PluginLibrary::PluginLibrary(PluginLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

PluginLibrary& PluginLibrary::operator=(PluginLibrary&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

bool PluginLibrary::open(const std::string& path, std::string* error) {
    close();
    // RTLD_NOW: a plug-in with an unresolved symbol fails here, not in the audio thread.
    // RTLD_LOCAL: its symbols never stand in for another copy's.
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr && error) {
        const char* why = dlerror();
        *error = why ? why : "cannot be loaded";
    }
    return handle_ != nullptr;
}

void PluginLibrary::close() {
    if (handle_ != nullptr)
        dlclose(std::exchange(handle_, nullptr));
}

winampDSPHeader* PluginLibrary::header(std::string* error, std::string* description) const {
    auto fail = [error](const char* why) -> winampDSPHeader* {
        if (error)
            *error = why;
        return nullptr;
    };
    if (handle_ == nullptr)
        return fail("not loaded");
    void* symbol = dlsym(handle_, ZV_DSP_HEADER_SYMBOL2);
    if (symbol == nullptr)
        symbol = dlsym(handle_, ZV_DSP_HEADER_SYMBOL);
    if (symbol == nullptr)
        return fail("not a DSP plug-in (no header function)");
    auto getHeader = reinterpret_cast<winampDSPGetHeaderType>(symbol);
    winampDSPHeader* header = getHeader();
    winampDSPHeader fields;
    if (!readForeignBytes(&fields, header, sizeof fields))
        return fail("the plug-in gives no header");
    std::optional<std::string> text = readForeignText(fields.description);
    if (!text)
        return fail("the plug-in's description is unreadable");
    if (fields.getModule == nullptr)
        return fail("the plug-in has no effects");
    if (description)
        *description = std::move(*text);
    return header;
}

winampDSPModule* PluginLibrary::module(const winampDSPHeader* header, int index,
                                       std::string* description) {
    if (header == nullptr || header->getModule == nullptr || index < 0 ||
        index >= kMaxPluginModules)
        return nullptr;
    winampDSPModule* module = header->getModule(index);
    winampDSPModule fields;
    if (!readForeignBytes(&fields, module, sizeof fields) || fields.ModifySamples == nullptr)
        return nullptr;
    std::optional<std::string> text = readForeignText(fields.description);
    if (!text)
        return nullptr;
    if (description)
        *description = std::move(*text);
    return module;
}

zvDspGetParametersType PluginLibrary::parametersFunction() const {
    if (handle_ == nullptr)
        return nullptr;
    return reinterpret_cast<zvDspGetParametersType>(dlsym(handle_, ZV_DSP_PARAMETERS_SYMBOL));
}
