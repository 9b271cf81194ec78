#include "audio/dsp/WinampDspPlugin.h"

#include <QDir>
#include <QStandardPaths>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <set>

namespace {

// A plug-in declaring more is taken as broken.
constexpr int kMaxParameters = 32;
// Plug-in files larger than this are not copied (no effect needs as much).
constexpr off_t kMaxPluginFileBytes = off_t{256} << 20;

// Modules run by live instances. When no copy could be made, a second deck choosing
// the same file would get the same module and break the first deck's effect.
std::set<const winampDSPModule*>& modulesInUse() {
    static std::set<const winampDSPModule*> inUse;
    return inUse;
}

bool writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace

std::string WinampDspPlugin::copyToTemp(const std::string& path, const std::string& folder) {
    if (folder.empty())
        return {};
    const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return {};
    std::string name = folder + "/zvdXXXXXX.so";
    const int out = mkstemps(name.data(), 3);
    bool ok = out >= 0;
    off_t total = 0;
    char buffer[65536];
    while (ok) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n == 0)
            break;
        total += n;
        ok = n > 0 && total <= kMaxPluginFileBytes && writeAll(out, buffer, size_t(n));
    }
    ::close(in);
    if (out >= 0) {
        ok = ::close(out) == 0 && ok;
        if (!ok)
            std::remove(name.c_str());
    }
    return ok ? name : std::string();
}

std::vector<std::string> WinampDspPlugin::defaultCopyFolders() {
    std::vector<std::string> folders{QDir::tempPath().toStdString()};
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (!cache.isEmpty() && QDir().mkpath(cache))
        folders.push_back(cache.toStdString());
    return folders;
}

WinampDspPlugin::WinampDspPlugin(const std::string& path, int moduleIndex, void* parentWindow,
                                 std::vector<std::string> copyFolders) {
    if (path.empty()) {
        error_ = "no file";
        return;
    }
    if (copyFolders.empty())
        copyFolders = defaultCopyFolders();
    bool opened = false;
    for (const std::string& folder : copyFolders) {
        std::string copy = copyToTemp(path, folder);
        if (copy.empty())
            continue;
        if (library_.open(copy, &error_)) {
            tempCopy_ = std::move(copy);
            opened = true;
            break;
        }
        // Most likely a folder mounted without the right to run code: try the next.
        std::remove(copy.c_str());
    }
    if (!opened && !library_.open(path, &error_))
        return;

    const winampDSPHeader* header = library_.header(&error_);
    if (header == nullptr)
        return;
    winampDSPModule* module = PluginLibrary::module(header, moduleIndex, &description_);
    if (module == nullptr) {
        error_ = "the plug-in has no usable effect number " + std::to_string(moduleIndex);
        return;
    }
    if (modulesInUse().count(module) != 0) {
        error_ = "the effect already runs on the other deck and no copy of the file could "
                 "be made";
        return;
    }
    // A module in read-only memory would fault on a plain store.
    void* handles[2] = {parentWindow, library_.handle()};
    if (!writeForeignBytes(&module->hwndParent, handles, sizeof handles)) {
        error_ = "the plug-in's effect cannot be set up";
        return;
    }
    if (module->Init != nullptr && module->Init(module) != 0) {
        error_ = "the effect failed to start";
        return;
    }
    module_ = module;
    modulesInUse().insert(module);
    path_ = path;
    moduleIndex_ = moduleIndex;
    error_.clear();
    readParameters();
}

WinampDspPlugin::~WinampDspPlugin() {
    if (module_ != nullptr) {
        if (module_->Quit != nullptr)
            module_->Quit(module_);
        modulesInUse().erase(module_);
    }
    library_.close();
    if (!tempCopy_.empty())
        std::remove(tempCopy_.c_str());
}

int WinampDspPlugin::process(Frame* frames, int count) {
    if (module_ == nullptr)
        return count;
    // A frame is the left and right 16-bit samples, left first in memory: the
    // interleaved layout the interface expects.
    const int kept = module_->ModifySamples(module_, reinterpret_cast<short*>(frames), count, 16, 2,
                                            kSampleRate);
    return std::clamp(kept, 0, 2 * count);
}

void WinampDspPlugin::configure() {
    if (module_ != nullptr && module_->Config != nullptr)
        module_->Config(module_);
}

void WinampDspPlugin::readParameters() {
    const zvDspGetParametersType list = library_.parametersFunction();
    if (list == nullptr)
        return;
    const zvDspParameter* table = nullptr;
    const int count = list(module_, &table);
    if (count <= 0 || count > kMaxParameters || table == nullptr)
        return;
    std::vector<Parameter> parameters;
    for (int i = 0; i < count; ++i) {
        zvDspParameter p;
        if (!readForeignBytes(&p, table + i, sizeof p) || p.get == nullptr || p.set == nullptr ||
            p.minimum > p.maximum)
            return;
        std::optional<std::string> name = readForeignText(p.name);
        std::optional<std::string> unit =
            p.unit ? readForeignText(p.unit) : std::optional<std::string>("");
        if (!name || !unit)
            return;
        parameters.push_back({std::move(*name), std::move(*unit), p.minimum, p.maximum});
    }
    parameters_ = std::move(parameters);
    parameterTable_ = table;
}

int WinampDspPlugin::parameter(int i) const {
    if (i < 0 || i >= int(parameters_.size()))
        return 0;
    return std::clamp(parameterTable_[i].get(module_), parameters_[i].minimum,
                      parameters_[i].maximum);
}

void WinampDspPlugin::setParameter(int i, int value) {
    if (i < 0 || i >= int(parameters_.size()))
        return;
    parameterTable_[i].set(module_,
                           std::clamp(value, parameters_[i].minimum, parameters_[i].maximum));
}
