#include "audio/decoders/PlayableFiles.h"

#include "core/AsciiCase.h"

#include <array>
#include <utility>

namespace {

// ".mp4" stays out: most such files are videos, which would crowd the library.
constexpr std::array<std::pair<std::string_view, DecoderKind>, 10> kExtensions = {{
    {".mp3", DecoderKind::Mp3},
    {".wav", DecoderKind::Wav},
    {".flac", DecoderKind::Ffmpeg},
    {".ogg", DecoderKind::Ffmpeg},
    {".oga", DecoderKind::Ffmpeg},
    {".opus", DecoderKind::Ffmpeg},
    {".m4a", DecoderKind::Ffmpeg},
    {".aac", DecoderKind::Ffmpeg},
    {".aif", DecoderKind::Ffmpeg},
    {".aiff", DecoderKind::Ffmpeg},
}};

} // namespace

DecoderKind decoderKindFor(std::string_view name) {
    for (const auto& [ext, kind] : kExtensions)
        if (name.size() > ext.size() && endsWithIgnoringCase(name, ext))
            return kind;
    return DecoderKind::None;
}
