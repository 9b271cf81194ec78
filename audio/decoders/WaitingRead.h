#pragma once
// Reading a decoder from a thread that may wait: the file analyser, the tools, the
// benchmarks and the tests. A decoder whose next block is still on its way (ready() is
// false) would otherwise give a block of silence that is not part of the track.
//
// Threading: the thread that reads the decoder; never the audio thread.

#include <atomic>
#include <cstdint>

#include "audio/decoders/Decoder.h"

// Waits while the decoder is not ready, at most about 30 s without it becoming ready
// (a disk that no longer answers) or until cancel is set; true when it is ready or no
// file is open.
bool waitUntilReady(Decoder& decoder, const std::atomic<bool>* cancel = nullptr);

// read() once the decoder is ready; -1 when it never became ready.
int32_t readWhenReady(Decoder& decoder, Frame* out, const std::atomic<bool>* cancel = nullptr);
