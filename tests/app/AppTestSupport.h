#pragma once
// What the shell's tests share: a message presenter that records instead of showing,
// and a fixture with scratch settings and home folder and a virtual clock.

#include "app/MainWindow.h"
#include "app/MessagePresenter.h"
#include "audio/card/VirtualCard.h"
#include "audio/deck/Deck.h"
#include "audio/deck/DeckTable.h"
#include "audio/output/SoundConfigurationApply.h"
#include "core/Clock.h"
#include "core/FatalMessage.h"
#include "core/Settings.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

// The engine on a virtual card the test turns itself (deck commands act at once), and
// the machine's mixer left alone.
inline void useVirtualCard(MainWindow& main) {
    main.audioOptions.systemVolumes = false;
    main.audioOptions.ownThread = false;
    main.audioOptions.openDevice = [](const SoundCardId*, bool, int,
                                      std::unique_ptr<SoundDevice>* device) {
        *device = VirtualCard::createManual();
        return SoundResult::Ok;
    };
}

// Turns the clock until the decks' loads that wait for their files are done (bounded in
// real time: the files are read on another thread).
inline void finishPendingLoads(MainWindow& main, VirtualClock& clock) {
    for (int i = 0; i < 5000 && (main.loadPending(0) || main.loadPending(1)); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        clock.advance(10);
    }
    ASSERT_FALSE(main.loadPending(0) || main.loadPending(1));
}

class RecordingPresenter : public MessagePresenter {
public:
    void showMessage(QWidget*, const QString& text, Icon) override { shown.push_back(text); }
    bool askYesNo(QWidget*, const QString& text) override {
        asked.push_back(text);
        return answer;
    }
    std::vector<QString> shown, asked;
    bool answer = true;
};

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        settings().setStorageFile(dir_.path() + "/settings.ini");
        settings().volumes = [] { return std::vector<Volume>{}; };
        settings().load();
        settings().maximized = 0;
        settings().homeFolder = dir_.path();
        setMessagePresenter(&presenter_);
        clearFatalMessage();
    }
    void TearDown() override {
        setMessagePresenter(nullptr);
        clearFatalMessage();
    }
    bool settingsSaved() const { return QFile::exists(dir_.path() + "/settings.ini"); }

    QTemporaryDir dir_;
    RecordingPresenter presenter_;
    VirtualClock clock_;
};
