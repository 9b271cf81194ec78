#include "audio/card/SystemVolumes.h"

#include "audio/card/QuietAudioLibraries.h"

#include <alsa/asoundlib.h>

#include <array>
#include <mutex>
#include <optional>
#include <string>

namespace {

constexpr const char* kMixerCard = "default";
constexpr std::array<const char*, 2> kElementNames = {"Master", "PCM"};

struct SavedVolumes {
    std::string element;
    std::array<long, SND_MIXER_SCHN_LAST + 1> values{};
    std::array<bool, SND_MIXER_SCHN_LAST + 1> present{};
};

struct VolumeState {
    std::mutex mutex;
    std::optional<SavedVolumes> saved;
};

VolumeState& volumeState() {
    static VolumeState state;
    return state;
}

// The default card's mixer, opened and loaded; closed on destruction.
class Mixer {
public:
    Mixer() {
        silenceAudioLibraries();
        if (snd_mixer_open(&handle_, 0) < 0) {
            handle_ = nullptr;
            return;
        }
        if (snd_mixer_attach(handle_, kMixerCard) < 0 ||
            snd_mixer_selem_register(handle_, nullptr, nullptr) < 0 ||
            snd_mixer_load(handle_) < 0) {
            snd_mixer_close(handle_);
            handle_ = nullptr;
        }
    }
    ~Mixer() {
        if (handle_ != nullptr) {
            snd_mixer_close(handle_);
        }
    }
    Mixer(const Mixer&) = delete;
    Mixer& operator=(const Mixer&) = delete;

    // The named simple element with a playback volume, or null.
    snd_mixer_elem_t* element(const char* name) const {
        if (handle_ == nullptr) {
            return nullptr;
        }
        snd_mixer_selem_id_t* id = nullptr;
        if (snd_mixer_selem_id_malloc(&id) < 0) {
            return nullptr;
        }
        snd_mixer_selem_id_set_index(id, 0);
        snd_mixer_selem_id_set_name(id, name);
        snd_mixer_elem_t* elem = snd_mixer_find_selem(handle_, id);
        snd_mixer_selem_id_free(id);
        if (elem == nullptr || !snd_mixer_selem_has_playback_volume(elem)) {
            return nullptr;
        }
        return elem;
    }

private:
    snd_mixer_t* handle_ = nullptr;
};

} // namespace

void saveSystemVolumes() {
    VolumeState& state = volumeState();
    std::lock_guard<std::mutex> guard(state.mutex);
    Mixer mixer;
    for (const char* name : kElementNames) {
        snd_mixer_elem_t* elem = mixer.element(name);
        if (elem == nullptr) {
            continue;
        }
        long minimum = 0;
        long maximum = 0;
        snd_mixer_selem_get_playback_volume_range(elem, &minimum, &maximum);
        SavedVolumes saved;
        saved.element = name;
        for (int c = 0; c <= SND_MIXER_SCHN_LAST; ++c) {
            const auto channel = static_cast<snd_mixer_selem_channel_id_t>(c);
            if (!snd_mixer_selem_has_playback_channel(elem, channel)) {
                continue;
            }
            saved.present[c] = true;
            snd_mixer_selem_get_playback_volume(elem, channel, &saved.values[c]);
            snd_mixer_selem_set_playback_volume(elem, channel, maximum);
        }
        if (!state.saved) {
            state.saved = saved;
        }
        return;
    }
}

void restoreSystemVolumes() {
    VolumeState& state = volumeState();
    std::lock_guard<std::mutex> guard(state.mutex);
    if (!state.saved) {
        return;
    }
    const SavedVolumes saved = *state.saved;
    state.saved.reset();
    Mixer mixer;
    snd_mixer_elem_t* elem = mixer.element(saved.element.c_str());
    if (elem == nullptr) {
        return;
    }
    for (int c = 0; c <= SND_MIXER_SCHN_LAST; ++c) {
        const auto channel = static_cast<snd_mixer_selem_channel_id_t>(c);
        if (saved.present[c] && snd_mixer_selem_has_playback_channel(elem, channel)) {
            snd_mixer_selem_set_playback_volume(elem, channel, saved.values[c]);
        }
    }
}
