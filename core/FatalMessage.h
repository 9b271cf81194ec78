#pragma once
// The deferred fatal message: the first fatal error text of the run. Any start-up step
// that fails sets it and returns normally; callers check it after each step, and the
// entry point shows it once when the run ends.
//
// Threading: set from the main thread, and from the audio-engine start-up on the main
// thread; an atomic pointer so that any thread may read it safely.

// Sets the message to a constant text (never freed). Null clears it.
void setFatalMessage(const char* text);
void clearFatalMessage();
// The message, or null when none is set.
const char* fatalMessage();
