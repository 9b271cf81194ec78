// Decodes one file through the program's own decoder as fast as it can and prints how many
// 44100 Hz frames came out and how long it took, for comparison with other decoders
// (for example `mpg123 -w /dev/null FILE`, or `ffmpeg -i FILE -f null -`: see
// bench/decode-ffmpeg.sh).
//
// Usage: bench_decode FILE [PASSES]
//   FILE    goes to the decoder its name chooses, as on a deck (".wav" the WAV reader,
//           ".flac", ".m4a", ".ogg" and the like FFmpeg, anything else MP3)
//   PASSES  times to read the whole file (default 1); each pass seeks back to 0. The
//           FFmpeg decoder decodes on its own thread once; later passes only copy.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "audio/decoders/DecoderSet.h"
#include "audio/decoders/WaitingRead.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s FILE [PASSES]\n", argv[0]);
        return 2;
    }
    const int passes = argc == 3 ? std::atoi(argv[2]) : 1;
    if (passes < 1) {
        std::fprintf(stderr, "bench_decode: PASSES must be 1 or more\n");
        return 2;
    }
    auto decoders = std::make_unique<DecoderSet>();

    const auto start = std::chrono::steady_clock::now();
    const DecoderSet::Opened track = decoders->open(argv[1]);
    Decoder* decoder = track.decoder;
    const int32_t seconds = track.seconds;
    if (seconds == 0) {
        std::fprintf(stderr, "bench_decode: cannot open %s\n", argv[1]);
        return 1;
    }
    const auto opened = std::chrono::steady_clock::now();

    static Frame block[kBlockFrames];
    long long frames = 0;
    int32_t result = 0;
    for (int pass = 0; pass < passes; ++pass) {
        decoder->seek(0.0f);
        while ((result = readWhenReady(*decoder, block)) == 1) {
            frames += kBlockFrames;
        }
        if (result < 0) {
            break;
        }
    }
    const auto done = std::chrono::steady_clock::now();

    const double openSeconds = std::chrono::duration<double>(opened - start).count();
    const double decodeSeconds = std::chrono::duration<double>(done - opened).count();
    std::printf("file: %s (%d s)\n", argv[1], seconds);
    std::printf("frames decoded: %lld in %d pass(es)%s\n", frames, passes,
                result < 0 ? ", stopped by a decoder error" : "");
    // Opening decodes too (the MP3 scan, FFmpeg's first 30 s): real time counts both.
    const double totalSeconds = openSeconds + decodeSeconds;
    std::printf("open: %.4f s, decode: %.4f s, %.1fx real time\n", openSeconds, decodeSeconds,
                totalSeconds > 0 ? static_cast<double>(frames) / kSampleRate / totalSeconds : 0.0);
    return result < 0 ? 1 : 0;
}
