#pragma once
// The record page's "Start recording" control: starts recording the mix to a WAV file,
// or stops the running recording.
//
// Threading: user-interface thread.

#include <functional>
#include <string>

class SoundOutput;

inline constexpr const char* kRecorderNeedsSoftMixMessage =
    "You can't use the recorder when the mix is done in hardware in the sound card. Choose a "
    "configuration in the options panel which allows you to specify 'soft mix'";

// - An output that cannot record (hard mix, one without its card, or none): shows the
//   message above; false.
// - A recording runs: asks the output to end it at its next poll(); false.
// - Else asks chooseFileName for the file (the "Save the mix" dialog; an empty name is
//   a cancel: false), creates the recorder and attaches it; true. A file that cannot
//   be created or written is refused with a message saying why, before recording
//   starts; false.
// A recorder that was stopped before and is still finishing its file is destroyed
// first (waiting for its file), so at most one recorder exists at a time.
bool toggleRecording(SoundOutput* output, const std::function<std::string()>& chooseFileName,
                     const std::function<void(const std::string&)>& showMessage);
