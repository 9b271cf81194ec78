#pragma once
// The system's playback volume, raised to the maximum while the audio engine runs and
// put back when it ends: the ALSA mixer of the default card, its "Master" playback
// volume, else its "PCM" one. Machines without a mixer or without either element are
// skipped silently; errors of the mixer calls are not examined.
//
// Threading: the control thread (engine creation and destruction).

// Saves the current volume of every channel of the element and sets each to the
// element's maximum. While a saved state exists, a second save keeps the first
// state (so restore puts back what the user had) and raises again.
void saveSystemVolumes();

// Puts the saved volumes back and forgets them; nothing happens without a saved state.
void restoreSystemVolumes();
