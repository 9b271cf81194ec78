#pragma once
// The one list of file extensions the program plays, next to the decoders that read
// them: the file list, the scan, search, drops and the choice of decoder all ask here,
// so a format added later appears everywhere at once.
//
// Threading: any (pure).

#include <string_view>

// Which decoder reads a file, by its name's extension (ASCII case ignored).
enum class DecoderKind {
    None,   // not a name the program plays
    Mp3,    // libmpg123
    Wav,    // the program's own RIFF/WAVE reader
    Ffmpeg, // FLAC, Ogg Vorbis, Opus, AAC/M4A, ALAC, AIFF through FFmpeg's libraries
};

DecoderKind decoderKindFor(std::string_view name);

// True when the name ends in an extension a decoder reads.
inline bool isPlayableFileName(std::string_view name) {
    return decoderKindFor(name) != DecoderKind::None;
}
