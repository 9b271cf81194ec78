#include "audio/decoders/PlayableFiles.h"

#include <array>
#include <cctype>

namespace {
constexpr std::array<std::string_view, 2> kExtensions = {".mp3", ".wav"};
}

bool isPlayableFileName(std::string_view name) {
    for (std::string_view ext : kExtensions) {
        if (name.size() <= ext.size())
            continue;
        const std::string_view tail = name.substr(name.size() - ext.size());
        bool same = true;
        for (size_t i = 0; i < ext.size() && same; ++i)
            same = std::tolower(static_cast<unsigned char>(tail[i])) == ext[i];
        if (same)
            return true;
    }
    return false;
}
