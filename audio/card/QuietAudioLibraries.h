#pragma once
// ALSA, its plug-ins and JACK print their complaints to stderr, which on a machine
// without sound means dozens of lines at every start. The program keeps its own
// output clean: their messages are dropped (the layer reports failures through its
// result codes instead).

// Installs a silent ALSA error handler, silent JACK error and info functions (when
// libjack is loaded, as it is through PortAudio) and keeps libjack from starting a
// JACK server. Idempotent; call before the first ALSA or PortAudio call.
void silenceAudioLibraries();

// Runs fn with file descriptors 1 and 2 pointed at /dev/null, then restores them:
// for the library start-up that prints before any handler can be installed. Other
// threads' output in that window is lost, so keep fn short (start-up probing).
void withOutputSilenced(void (*fn)(void*), void* context);
