#pragma once
// The PortAudio backend of the sound card layer. One PortAudio output stream per
// opened device (stereo, 16 bits, 44100 Hz) whose callback is the card's mixer
// (CardMixer.h): it plays the device's buffers from their play cursors, mixed with
// their volumes; a card opened with four outputs has one mixer per stereo pair. The
// play cursor is the next frame the callback takes; the write cursor is the play
// cursor + the stream's output latency (at least one callback block), so frames
// written at or after the write cursor are never half taken.
//
// PortAudio is started for each enumeration and for the life of each opened device
// (its device list is only refreshed when it starts), with ALSA's and JACK's
// messages silenced: on a machine without sound it reports 0 devices and prints
// nothing.
//
// Threading: the functions here on one control thread at a time (they serialise
// PortAudio's start and stop, which are not thread-safe, with a mutex).

#include "audio/card/SoundCard.h"

#include <memory>
#include <vector>

// PortAudio's devices with at least 2 output channels, in PortAudio's order (not
// probed further: a device that is busy now is still listed, and opening it says
// so); the default output has isDefault set. Empty when PortAudio
// cannot start or sees no device.
std::vector<SoundCardInfo> listPortAudioOutputs();

// Opens the device with that identifier, or PortAudio's default output when id is
// null, and starts its stream. NotFound when there is no such device (for a null id:
// no output device at all); DeviceBusy when the host API says the device is taken.
// outputPairs 2 opens a four-channel stream, each pair mixed on its own (InvalidParam
// when the device has fewer than four output channels).
SoundResult openPortAudioCard(const SoundCardId* id, std::unique_ptr<SoundDevice>* device,
                              int outputPairs = 1);
