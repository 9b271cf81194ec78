#pragma once
// The decoders one player of tracks owns (a deck, the file analyser, a tool), one of
// each kind, and the choice among them by the file's name: ".wav" goes to the program's
// own WAV reader, the extensions FFmpeg reads (PlayableFiles) to FfmpegDecoder, and
// everything else to the MP3 decoder. A file that the WAV or MP3 reader refuses is
// offered to FfmpegDecoder as well, so a mislabelled file (a FLAC named .mp3) still
// plays when FFmpeg knows it, and otherwise fails with the usual status.
//
// Threading: as the decoders' own open(): one thread, while none of them is read.

#include <cstdint>
#include <string_view>

#include "audio/decoders/FfmpegDecoder.h"
#include "audio/decoders/Mp3Decoder.h"
#include "audio/decoders/WavDecoder.h"

class DecoderSet {
public:
    // The decoder a file of this name goes to first.
    Decoder& forName(std::string_view path);

    struct Opened {
        Decoder* decoder; // the one left open, or `first` when none could open the file
        int32_t seconds;  // as Decoder::open returns it
    };
    // Opens path with `first` (which need not be one of this set's); when the WAV or MP3
    // reader of this set refuses it, FfmpegDecoder tries. Every other decoder is closed.
    Opened open(Decoder& first, const char* path);
    // The same with the decoder forName() chooses.
    Opened open(const char* path) { return open(forName(path), path); }

    WavDecoder wav;
    Mp3Decoder mp3;
    FfmpegDecoder ffmpeg;
};
