#include "audio/decoders/DecoderSet.h"

#include "audio/decoders/PlayableFiles.h"

Decoder& DecoderSet::forName(std::string_view path) {
    switch (decoderKindFor(path)) {
    case DecoderKind::Wav:
        return wav;
    case DecoderKind::Ffmpeg:
        return ffmpeg;
    default:
        return mp3;
    }
}

DecoderSet::Opened DecoderSet::open(Decoder& first, const char* path) {
    const int32_t seconds = first.open(path);
    if (seconds > 0 || (&first != &wav && &first != &mp3))
        return {&first, seconds};
    first.close();
    const int32_t again = ffmpeg.open(path);
    if (again > 0)
        return {&ffmpeg, again};
    ffmpeg.close();
    return {&first, seconds};
}
