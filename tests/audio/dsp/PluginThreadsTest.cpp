// Parameters change on the user-interface thread while the audio thread runs the
// effect: the plug-in keeps each parameter in one atomic, so this runs clean under
// ThreadSanitizer and the effect keeps its frame count.

#include "audio/dsp/WinampDspPlugin.h"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>
#include <vector>

TEST(PluginThreads, ParametersChangeWhileTheEffectRuns) {
    for (int module = 0; module < 5; ++module) {
        SCOPED_TRACE(module);
        WinampDspPlugin plugin(ZV_DSP_SHIPPED, module);
        ASSERT_TRUE(plugin.loaded()) << plugin.error();
        std::latch start(2);
        std::atomic<int> wrongCounts{0};
        std::thread audio([&] {
            std::vector<Frame> frames(2 * 3088);
            start.arrive_and_wait();
            for (int block = 0; block < 200; ++block) {
                for (int i = 0; i < 3088; ++i)
                    frames[i] = makeFrame(int16_t(i * 7), int16_t(-i * 5));
                if (plugin.process(frames.data(), 3088) != 3088)
                    wrongCounts.fetch_add(1);
            }
        });
        start.arrive_and_wait();
        const auto& parameters = plugin.parameters();
        for (int round = 0; round < 2000; ++round)
            for (int p = 0; p < int(parameters.size()); ++p)
                plugin.setParameter(p, round % 2 ? parameters[p].minimum : parameters[p].maximum);
        audio.join();
        EXPECT_EQ(wrongCounts.load(), 0);
    }
}
