#include "audio/decoders/PlayableFiles.h"

#include "core/AsciiCase.h"

#include <array>

namespace {
constexpr std::array<std::string_view, 2> kExtensions = {".mp3", ".wav"};
}

bool isPlayableFileName(std::string_view name) {
    for (std::string_view ext : kExtensions)
        if (name.size() > ext.size() && endsWithIgnoringCase(name, ext))
            return true;
    return false;
}
