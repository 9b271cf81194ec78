// The main window's desk: the skin, the controls under the pointer and the deck
// displays, built at window creation and refreshed by the 100 ms timer.

#include "app/DeskInput.h"
#include "app/MainWindow.h"
#include "app/MessagePresenter.h"
#include "audio/deck/Deck.h"
#include "audio/deck/DeckTable.h"
#include "audio/deck/SoundOutput.h"
#include "audio/output/AudioEngine.h"
#include "audio/output/RecordingControl.h"
#include "audio/output/SoundConfigurationApply.h"
#include "core/FatalMessage.h"
#include "core/Settings.h"
#include "library/History.h"
#include "library/Playlist.h"
#include "ui/desk/DeckDisplay.h"
#include "ui/desk/DeskPainter.h"
#include "ui/desk/DeskWidget.h"
#include "ui/desk/OptionsPanel.h"
#include "ui/desk/TooltipBalloon.h"
#include "ui/dialogs/SkinChooser.h"
#include "ui/dialogs/SmallDialogs.h"
#include "ui/dialogs/SoundConfigDialog.h"
#include "ui/library/Browser.h"
#include "ui/rhythm/RhythmWidget.h"
#include "ui/skin/Skin.h"

#include <QFileDialog>

#include <cstring>

namespace {

constexpr const char* kInvalidSkin = "Invalid skin file";

bool invalidSkinReported() {
    const char* message = fatalMessage();
    return message && std::strcmp(message, kInvalidSkin) == 0;
}

DeckView viewOf(int d, int32_t level) {
    DeckView view;
    view.status = deckStatus(d).load(std::memory_order_relaxed);
    view.volume = level;
    const Deck* deck = deckAt(d);
    if (!deck)
        return view;
    view.position = deck->position.load(std::memory_order_relaxed);
    view.duration = deck->duration.load(std::memory_order_relaxed);
    view.speed = deck->speed.load(std::memory_order_relaxed);
    if (deck->track && deck->track->entry)
        view.storedBpm = deck->track->entry->bpm.load(std::memory_order_relaxed);
    view.runningBpm = deck->analyser.currentBpm();
    view.runningLoudness = deck->analyser.lastLoudness();
    if (const AnalysisRef a = deck->analysis()) {
        view.memoryPoint = a->memoryPoint.load(std::memory_order_relaxed);
        view.startPoint = a->startPoint.load(std::memory_order_relaxed);
        view.endPoint = a->endPoint.load(std::memory_order_relaxed);
        view.loudness = a->loudness.load(std::memory_order_relaxed);
    }
    return view;
}

std::array<QRgb, 4> rhythmColours(const Skin& skin) {
    return {rhythmPaletteColour(skin.rhythmBackColor), rhythmPaletteColour(skin.rhythmColor1),
            rhythmPaletteColour(skin.rhythmColor2), rhythmPaletteColour(skin.rhythmColor3)};
}

} // namespace

void MainWindow::createSkin() {
    // A skin that cannot be read falls back to the built-in one without a word.
    std::unique_ptr<Skin> skin = loadSkin(settings().skin, settings().homeFolder);
    if (invalidSkinReported() && !settings().skin.isEmpty()) {
        clearFatalMessage();
        skin = loadSkin(QString(), settings().homeFolder);
    }
    if (invalidSkinReported() && window_) {
        // Even the built-in one failed: the user may pick a skin file.
        clearFatalMessage();
        std::unique_ptr<Skin> chosen;
        SkinChooser chooser(
            window_, settings().homeFolder, settings().skin,
            [&](const QString& name, QString* error) {
                chosen = tryLoadSkin(name, error);
                if (chosen)
                    settings().skin = name;
                return chosen != nullptr;
            },
            [this](const QString& text) {
                messagePresenter().showMessage(window_, text, MessagePresenter::Stop);
            });
        if (chooser.exec() != QDialog::Accepted || !chosen) {
            setFatalMessage(kInvalidSkin);
            return;
        }
        skin = std::move(chosen);
    }
    if (fatalMessage())
        return;
    skin_ = std::move(skin);
}

std::unique_ptr<Skin> MainWindow::tryLoadSkin(const QString& name, QString* error) {
    clearFatalMessage();
    std::unique_ptr<Skin> skin = loadSkin(name, settings().homeFolder);
    if (const char* message = fatalMessage()) {
        if (error)
            *error = QString::fromUtf8(message);
        clearFatalMessage();
        return nullptr;
    }
    return skin;
}

void MainWindow::chooseSkin() {
    if (!window_ || !painter_)
        return;
    SkinChooser chooser(
        window_, settings().homeFolder, settings().skin,
        [this](const QString& name, QString* error) {
            std::unique_ptr<Skin> skin = tryLoadSkin(name, error);
            if (!skin)
                return false;
            settings().skin = name;
            applySkin(std::move(skin), kSliderModePitch);
            return true;
        },
        [this](const QString& text) {
            messagePresenter().showMessage(window_, text, MessagePresenter::Stop);
        });
    chooser.exec();
}

void MainWindow::showAbout() {
    messagePresenter().showMessage(window_, aboutText("1.12"), MessagePresenter::None);
}

void MainWindow::showShortcuts() {
    if (!window_)
        return;
    ShortcutsDialog dialog(window_);
    dialog.exec();
}

void MainWindow::createDesk() {
    painter_ =
        std::make_unique<DeskPainter>(*backBuffer_, [this](const QRect& r) { invalidate(r); });
    painter_->setSkin(skin_.get());
    displays_ = std::make_unique<DeckDisplay>(*painter_);
    displays_->applySkin();
    desk_ = std::make_unique<DeskInput>(*this, *painter_);
    createBrowser();
    drawMixButton = [this](bool running) { desk_->drawMixButton(running); };
    showPitchResetIndicator = [this](int d, bool running) { desk_->drawResetPitch(d, running); };
    desk_->applySkin(kSliderModeLevel);
    // A window of its own, not a child: it lives exactly as long as the desk.
    if (window_)
        tooltip_ = std::make_unique<TooltipBalloon>(clock_, nullptr);
    createSearch();
}

bool MainWindow::createRhythmWindow() {
    auto* desk = qobject_cast<DeskWidget*>(window_);
    if (!desk || !skin_)
        return true;
    auto source = [this](uint16_t* other, uint16_t* selected, int count, int height) {
        const int s = selectedDeckShared_.load(std::memory_order_relaxed);
        for (int side = 0; side < 2; ++side) {
            uint16_t* heights = side == 0 ? other : selected;
            const Deck* deck = deckAt(side == 0 ? 1 - s : s);
            if (deck)
                deck->getEnvelope(heights, count, height);
            else
                std::fill(heights, heights + count, uint16_t(0));
        }
    };
    auto nudge = [this](bool selected, int pixelsUp) {
        const int d = selected ? selectedDeck_ : 1 - selectedDeck_;
        if (Deck* deck = deckAt(d))
            deck->shift(pixelsUp * deck->speed.load(std::memory_order_relaxed) * 72 / 4096);
    };
    rhythm_ = new RhythmWidget(desk, source, nudge);
    const ControlEntry& area = (*skin_)[control::kRhythmWindow];
    rhythm_->setGeometry(desk->childGeometry(QRect(area.x, area.y, area.width, area.height)));
    rhythm_->setColours(rhythmColours(*skin_));
    rhythm_->show();
    if (!rhythm_->start(area.width, area.height)) {
        setFatalMessage(kThreadFailureMessage);
        return false;
    }
    return true;
}

void MainWindow::stopRhythmWindow() {
    if (rhythm_)
        rhythm_->stop();
}

void MainWindow::layOutChildren() {
    placeBrowser();
    placeSearch();
    auto* desk = qobject_cast<DeskWidget*>(window_);
    if (!desk || !skin_ || !rhythm_)
        return;
    const ControlEntry& area = (*skin_)[control::kRhythmWindow];
    rhythm_->setGeometry(desk->childGeometry(QRect(area.x, area.y, area.width, area.height)));
}

void MainWindow::destroyDesk() {
    destroySearch();
    destroyBrowser();
    tooltip_.reset();
    stopRhythmWindow();
    delete rhythm_.data();
    drawMixButton = nullptr;
    showPitchResetIndicator = nullptr;
    desk_.reset();
    displays_.reset();
    painter_.reset();
}

void MainWindow::applySkin(std::unique_ptr<Skin> skin, int sliderMode) {
    if (!skin || !painter_)
        return;
    // The drawing thread parks while what it reads changes.
    if (rhythm_)
        rhythm_->suspend();
    skin_ = std::move(skin);
    painter_->setSkin(skin_.get());
    if (rhythm_) {
        const ControlEntry& area = (*skin_)[control::kRhythmWindow];
        rhythm_->setFrameSize(area.width, area.height);
        rhythm_->setColours(rhythmColours(*skin_));
        rhythm_->resume();
    }
    layOutChildren();
    displays_->applySkin();
    desk_->applySkin(sliderMode);
    for (int d = 0; d < 2; ++d)
        shownTitle_[d].reset();
    refreshDisplays();
    if (window_)
        window_->update();
}

void MainWindow::invalidate(const QRect& logical) {
    if (auto* desk = qobject_cast<DeskWidget*>(window_))
        desk->invalidate(logical);
}

void MainWindow::onPointer(const DeskPointer& pointer) {
    if (desk_)
        desk_->onPointer(pointer);
}

void MainWindow::onPointerLeave() {
    hoverControl(-1, {});
}

void MainWindow::hoverControl(int control, QPoint at) {
    auto* desk = qobject_cast<DeskWidget*>(window_);
    if (!tooltip_ || !desk)
        return;
    if (control < 0 || !settings().toolTip.load(std::memory_order_relaxed)) {
        tooltip_->hideBalloon();
        return;
    }
    const QPoint screen = desk->mapToGlobal(desk->view().toWidget(QPointF(at)).toPoint());
    const std::string_view text = controlTooltip(control);
    tooltip_->pointAt(screen, control, QString::fromUtf8(text.data(), qsizetype(text.size())));
}

void MainWindow::pageButtonReleased(int control, int page) {
    if (searchButton(control, page))
        return;
    if (control != control::kSaveButton) {
        libraryButtonReleased(control);
        return;
    }
    if (page == kPagePlaylist && playlist_) {
        const std::string path = savePath("Save a Playlist", "Playlist (*.m3u)", "m3u");
        // The new file shows in the file list when it was saved there.
        if (!path.empty() && playlist_->saveAs(path) && browser_)
            browser_->refillFiles();
    } else if (page == kPageHistory && history_) {
        const std::string path = savePath("Save the history list", "Text (*.txt)", "txt");
        if (!path.empty())
            history_->saveAs(path);
    }
}

void MainWindow::pageShown(int page) {
    if (browser_)
        browser_->showPage(page, true);
    showSearch(page, true);
    if (page == kPageOptions && painter_ && skin_ && displays_)
        drawOptionsPanel(*painter_, *skin_, displays_->font(DeckDisplay::kText));
}

void MainWindow::optionClicked(int control) {
    if (stepOption(control)) {
        if (control == 84) { // Master Tempo takes effect on both decks at once
            for (int d = 0; d < 2; ++d)
                if (Deck* deck = deckAt(d))
                    deck->refresh();
        } else if (control == 85 && desk_) { // the new range clamps the speeds
            for (int d = 0; d < 2; ++d)
                if (const Deck* deck = deckAt(d))
                    desk_->setPitchControl(d, deck->speed.load(std::memory_order_relaxed));
        } else if (control == 75) { // the new curve is heard at once
            if (SoundOutput* output = soundOutputNow())
                output->setCrossfader(crossfader);
        }
        pageShown(kPageOptions);
        return;
    }
    switch (control) {
    case 78:
        chooseSkin();
        break;
    case 79:
        chooseDspPlugins();
        break;
    case 83:
        showShortcuts();
        break;
    case 81:
        showAbout();
        break;
    default:
        break; // the sound configuration dialog comes with its page
    }
}
void MainWindow::pageHidden(int page) {
    if (browser_)
        browser_->showPage(page, false);
    showSearch(page, false);
}

std::string MainWindow::savePath(const QString& title, const QString& filter,
                                 const QString& suffix) {
    if (askSavePath)
        return askSavePath(title, filter, suffix);
    return window_ ? chooseSaveFile(window_, title, filter, suffix) : std::string();
}

bool MainWindow::recording() const {
    SoundOutput* output = soundOutputNow();
    return output && output->attachedRecorder() &&
           !output->stopRecording.load(std::memory_order_relaxed);
}

bool MainWindow::toggleRecording() {
    ::toggleRecording(
        soundOutputNow(), [this] { return savePath("Save the mix", "Wav (*.wav)", "wav"); },
        [this](const std::string& text) {
            messagePresenter().showMessage(window_, QString::fromStdString(text),
                                           MessagePresenter::None);
        });
    const bool now = recording();
    if (!now && displays_ && desk_ && desk_->page() == kPageRecord)
        displays_->drawRecorderText({});
    return now;
}

void MainWindow::redrawCueMark(int d) {
    if (displays_)
        displays_->redrawCueMark(d);
}

void MainWindow::refreshDisplays() {
    if (!displays_ || !desk_)
        return;
    // The record page shows the running recording's state.
    if (desk_->page() == kPageRecord && recording()) {
        const std::string text = soundOutputNow()->attachedRecorder()->describe();
        displays_->drawRecorderText(text.substr(0, 512));
    }
    for (int d = 0; d < 2; ++d) {
        const DeckView view = viewOf(d, deckLevels[d]);
        displays_->drawInfo(d, view, informationForm);
        displays_->drawDisc(d, view);
        desk_->drawPlayFace(d);
        // The title area follows the loaded track.
        const Deck* deck = deckAt(d);
        std::optional<std::pair<std::string, std::string>> names;
        if (deck && deck->track && view.status == 0)
            names = std::make_pair(deck->track->artist, deck->track->title);
        if (names != shownTitle_[d] || !shownTitle_[d]) {
            shownTitle_[d] = names ? names : std::make_pair(std::string(), std::string());
            displays_->drawTitle(d, shownTitle_[d]->first, shownTitle_[d]->second);
        }
    }
}

std::string chooseSaveFile(QWidget* parent, const QString& title, const QString& filter,
                           const QString& suffix) {
    QFileDialog dialog(parent, title, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first().toStdString();
}
