#include "audio/output/RecordingControl.h"

#include "audio/deck/SoundOutput.h"
#include "audio/recorder/Recorder.h"

bool toggleRecording(SoundOutput* output, const std::function<std::string()>& chooseFileName,
                     const std::function<void(const std::string&)>& showMessage) {
    // An output that could not open its card has nothing to record either.
    if (output == nullptr || !output->canRecord || !output->isReady()) {
        showMessage(kRecorderNeedsSoftMixMessage);
        return false;
    }
    if (output->attachedRecorder() != nullptr) {
        output->stopRecording.store(true, std::memory_order_release);
        return false;
    }
    output->retireRecorder(true);
    const std::string name = chooseFileName ? chooseFileName() : std::string();
    if (name.empty())
        return false;
    std::string error;
    std::unique_ptr<Recorder> recorder = Recorder::create(name, &error);
    if (!recorder) {
        showMessage(error);
        return false;
    }
    return output->attachRecorder(std::move(recorder));
}
