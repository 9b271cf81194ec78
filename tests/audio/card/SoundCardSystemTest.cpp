// The layer on this machine's real sound system. The tests hold whether or not it
// has sound outputs; without any (the usual case on build machines) PortAudio
// reports none and the virtual card is the default.
#include "tests/audio/output/OutputCapture.h"

#include "audio/card/PortAudioCard.h"
#include "audio/card/SoundCard.h"
#include "audio/card/SystemVolumes.h"
#include "audio/card/VirtualCard.h"

#include <gtest/gtest.h>

#include <array>
#include <set>

TEST(SoundCardSystem, EnumerationIsQuietStableAndHasOneDefault) {
    std::vector<SoundCardInfo> cards;
    std::vector<SoundCardInfo> portAudio;
    {
        OutputCapture capture;
        cards = enumerateSoundCards();
        portAudio = listPortAudioOutputs();
        EXPECT_EQ(capture.text(), "") << "the sound libraries printed";
    }
    ASSERT_GE(cards.size(), 2u);
    EXPECT_FALSE(cards.front().hasId) << "the default-device entry comes first";
    EXPECT_FALSE(cards.front().isDefault);
    EXPECT_FALSE(cards.front().description.empty());
    EXPECT_TRUE(cards.back().isVirtual);
    EXPECT_EQ(cards.back().id, virtualCardInfo().id);
    EXPECT_EQ(cards.size(), portAudio.size() + 2);

    int defaults = 0;
    std::set<std::array<uint8_t, SoundCardId::kBytes>> ids;
    for (const SoundCardInfo& c : cards) {
        defaults += c.isDefault ? 1 : 0;
        if (c.hasId) {
            EXPECT_TRUE(ids.insert(c.id.bytes).second)
                << "duplicate identifier for " << c.description;
        }
    }
    EXPECT_EQ(defaults, 1);
    EXPECT_EQ(cards.back().isDefault, portAudio.empty())
        << "the virtual card is the default exactly when PortAudio has no output";

    const std::vector<SoundCardInfo> again = enumerateSoundCards();
    ASSERT_EQ(again.size(), cards.size());
    for (size_t i = 0; i < cards.size(); ++i) {
        EXPECT_EQ(again[i].id, cards[i].id) << cards[i].description;
        EXPECT_EQ(again[i].description, cards[i].description);
    }
}

TEST(SoundCardSystem, OpeningACardThatIsNotThereFailsWithTheDriverMessage) {
    const SoundCardId missing = SoundCardId::fromName("No such API", "No such card", 0);
    OutputCapture capture;
    std::unique_ptr<SoundDevice> device;
    const SoundResult result = openSoundCard(&missing, true, &device);
    EXPECT_EQ(capture.text(), "");
    EXPECT_EQ(result, SoundResult::NotFound);
    EXPECT_EQ(device, nullptr);
    EXPECT_TRUE(isDriverError(result)) << "the case in which outputs fall back to the default";
    EXPECT_STREQ(soundResultMessage(result), "Error in the sound driver of DirectX");

    std::unique_ptr<SoundDevice> direct;
    const SoundCardId virtualId = virtualCardInfo().id;
    EXPECT_EQ(openPortAudioCard(&virtualId, &direct), SoundResult::NotFound)
        << "the virtual card is not a PortAudio device";
}

TEST(SoundCardSystem, SystemVolumesSaveAndRestoreQuietlyWithOrWithoutAMixer) {
    OutputCapture capture;
    restoreSystemVolumes(); // nothing saved: nothing happens
    saveSystemVolumes();
    saveSystemVolumes(); // keeps the first saved state
    restoreSystemVolumes();
    restoreSystemVolumes();
    EXPECT_EQ(capture.text(), "");
}
