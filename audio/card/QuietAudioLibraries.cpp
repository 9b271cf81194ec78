#include "audio/card/QuietAudioLibraries.h"

#include <alsa/asoundlib.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

void quietAlsaHandler(const char*, int, const char*, int, const char*, ...) {}

void quietJackHandler(const char*) {}

using JackMessageSetter = void (*)(void (*)(const char*));

void setJackHandler(const char* setterName) {
    // Looked up at run time: the program does not link libjack itself; PortAudio
    // brings it in when its JACK host API was built.
    void* symbol = dlsym(RTLD_DEFAULT, setterName);
    if (symbol != nullptr) {
        reinterpret_cast<JackMessageSetter>(symbol)(quietJackHandler);
    }
}

} // namespace

void silenceAudioLibraries() {
    static std::once_flag once;
    std::call_once(once, [] {
        snd_lib_error_set_handler(quietAlsaHandler);
        // Probing must not launch a JACK server as a side effect; a user's own
        // setting wins.
        setenv("JACK_NO_START_SERVER", "1", 0);
        setJackHandler("jack_set_error_function");
        setJackHandler("jack_set_info_function");
    });
}

void withOutputSilenced(void (*fn)(void*), void* context) {
    std::fflush(nullptr);
    const int savedOut = fcntl(1, F_DUPFD_CLOEXEC, 0);
    const int savedErr = fcntl(2, F_DUPFD_CLOEXEC, 0);
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) {
        dup2(null, 1);
        dup2(null, 2);
        close(null);
    }
    fn(context);
    std::fflush(nullptr);
    if (savedOut >= 0) {
        dup2(savedOut, 1);
        close(savedOut);
    }
    if (savedErr >= 0) {
        dup2(savedErr, 2);
        close(savedErr);
    }
}
