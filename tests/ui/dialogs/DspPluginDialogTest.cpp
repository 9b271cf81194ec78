// "Apply DSP-Plugins": what it shows for the decks' running effects, what each choice
// hands to the deck, refusals, "config", and the settings window of an effect.

#include "ui/dialogs/DspPluginDialog.h"
#include "audio/dsp/WinampDspPlugin.h"
#include "ui/dialogs/DspParameterWindow.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>

#include <gtest/gtest.h>

namespace {

std::string fixture(const std::string& name) {
    return std::string(ZV_DSP_FIXTURES_DIR) + "/dsp_" + name + ".so";
}

// Two decks as the dialog sees them, with a record of what was handed over.
struct Decks {
    std::unique_ptr<WinampDspPlugin> running[2];
    int installs[2] = {0, 0};
    std::vector<QString> reports;
    int settingsShown = 0;

    DspDeckAccess access() {
        return {[this](int d) { return running[d].get(); },
                [this](int d, std::unique_ptr<WinampDspPlugin> p) {
                    running[d] = std::move(p);
                    ++installs[d];
                }};
    }
    std::unique_ptr<DspPluginDialog> dialog(const std::vector<PluginFile>& files) {
        auto dialog = std::make_unique<DspPluginDialog>(
            nullptr, files, access(), [this](const QString& text) { reports.push_back(text); });
        dialog->showSettings = [this](WinampDspPlugin&) { ++settingsShown; };
        return dialog;
    }
    std::string runs(int d) const {
        return running[d] ? running[d]->path() + "#" + std::to_string(running[d]->moduleIndex())
                          : "none";
    }
};

std::vector<PluginFile> files() {
    return {{ZV_DSP_SHIPPED, "Zorvendal DJ effects"},
            {fixture("init_fails"), "Fixture"},
            {fixture("no_module"), "Fixture"},
            {fixture("counts"), "Fixture"}};
}

} // namespace

TEST(DspPluginDialog, OpensOnWhatTheDecksRun) {
    Decks decks;
    decks.running[0] = std::make_unique<WinampDspPlugin>(ZV_DSP_SHIPPED, 2);
    // Running, but from a file the folders no longer hold.
    decks.running[1] = std::make_unique<WinampDspPlugin>(fixture("endless"), 0);
    ASSERT_TRUE(decks.running[0]->loaded() && decks.running[1]->loaded());
    auto dialog = decks.dialog(files());

    EXPECT_EQ(dialog->fileList(0)->count(), 5);
    EXPECT_EQ(dialog->fileList(0)->item(0)->text(), "(none)");
    EXPECT_EQ(dialog->fileList(0)->currentRow(), 1);
    EXPECT_EQ(dialog->effectBox(0)->count(), 5);
    EXPECT_EQ(dialog->effectBox(0)->currentIndex(), 2);
    EXPECT_EQ(dialog->fileList(1)->currentRow(), 0);
    EXPECT_EQ(dialog->effectBox(1)->count(), 0);
    // Opening changes nothing on the decks.
    EXPECT_EQ(decks.installs[0] + decks.installs[1], 0);
    EXPECT_NE(decks.running[1], nullptr);
}

TEST(DspPluginDialog, EachChoiceReachesTheDeck) {
    Decks decks;
    auto dialog = decks.dialog(files());
    QListWidget* list = dialog->fileList(1);
    QComboBox* effects = dialog->effectBox(1);
    const std::string counts = fixture("counts");

    const struct {
        const char* step;
        int row;          // file row chosen, or -1
        int effect;       // effect chosen, or -1
        std::string runs; // what deck 2 runs afterwards
        int effectsShown, shownRow;
        bool reported;
        bool settings; // "config" opens the host's settings window (else the plug-in's)
    } steps[] = {
        {"file", 1, -1, std::string(ZV_DSP_SHIPPED) + "#0", 5, 1, false, true},
        {"second effect", -1, 1, std::string(ZV_DSP_SHIPPED) + "#1", 5, 1, false, false},
        {"another file", 4, -1, counts + "#0", 4, 4, false, false},
        {"its last effect", -1, 3, counts + "#3", 4, 4, false, false},
        {"Init fails", 2, -1, "none", 0, 0, true, false},
        {"no effects", 3, -1, "none", 0, 0, true, false},
        {"again", 1, -1, std::string(ZV_DSP_SHIPPED) + "#0", 5, 1, false, true},
        {"(none)", 0, -1, "none", 0, 0, false, false},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.step);
        decks.reports.clear();
        decks.settingsShown = 0;
        if (s.row >= 0)
            list->setCurrentRow(s.row);
        if (s.effect >= 0)
            effects->setCurrentIndex(s.effect);
        EXPECT_EQ(decks.runs(1), s.runs);
        EXPECT_EQ(effects->count(), s.effectsShown);
        EXPECT_EQ(list->currentRow(), s.shownRow);
        EXPECT_EQ(decks.reports.size(), s.reported ? 1u : 0u);
        dialog->configButton(1)->click();
        EXPECT_EQ(decks.settingsShown, s.settings ? 1 : 0);
    }
    EXPECT_EQ(decks.installs[0], 0);
    EXPECT_EQ(decks.runs(0), "none");
}

TEST(DspParameterWindow, SlidersSetTheRunningEffect) {
    WinampDspPlugin echo(ZV_DSP_SHIPPED, 2);
    ASSERT_TRUE(echo.loaded());
    ASSERT_EQ(echo.parameters().size(), 4u);
    DspParameterWindow window(nullptr, echo);
    EXPECT_EQ(window.windowTitle(), "Echo in time");
    EXPECT_EQ(window.slider(0)->value(), 125);
    window.slider(3)->setValue(80);
    EXPECT_EQ(echo.parameter(3), 80);
    EXPECT_EQ(window.valueText(3)->text(), "80 %");
    window.slider(2)->setValue(500); // the slider keeps to the parameter's range
    EXPECT_EQ(echo.parameter(2), 90);
}
