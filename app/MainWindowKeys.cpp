// The desk's keyboard: every key press of the main window comes here before any child
// widget sees it, and the shortcuts drive the selected deck.

#include "app/DeskInput.h"
#include "app/MainWindow.h"
#include "audio/deck/Deck.h"
#include "audio/deck/DeckTable.h"
#include "ui/desk/VirtualKeys.h"

#include <QApplication>
#include <QLineEdit>

namespace {

constexpr int kPitchStep = 8;      // UP and DOWN, in 1/4096
constexpr int kBigPitchStep = 306; // PG.UP and PG.DOWN
constexpr int kShiftFrames = 256;  // LEFT and RIGHT at normal speed

} // namespace

bool MainWindow::editing() const {
    // Typing in an edit box of the desk keeps its letters until ESCAPE ends the edit;
    // moving the focus to it again starts a new one.
    QWidget* focus = window_ ? window_->focusWidget() : nullptr;
    return qobject_cast<QLineEdit*>(focus) != nullptr && focus != escapedEdit_;
}

bool MainWindow::onKeyDown(int vk) {
    if (shortcutHandler && shortcutHandler(vk))
        return true;
    if (editing()) {
        if (vk == VK_ESCAPE) {
            escapedEdit_ = window_->focusWidget();
            return true;
        }
        if (searchKey(vk))
            return true;
        if (vk < VK_F1 || vk > VK_F1 + 11)
            return false;
    }
    if (window_ && window_->focusWidget() != escapedEdit_)
        escapedEdit_ = nullptr;
    const int d = selectedDeck_;
    Deck* deck = deckAt(d);
    const int32_t speed = deck ? deck->speed.load(std::memory_order_relaxed) : 4096;
    auto pitch = [&](int32_t s) {
        if (desk_)
            desk_->setPitchControl(d, s);
    };
    switch (vk) {
    case VK_TAB:
        if (desk_)
            desk_->selectDeck(1 - d);
        else
            selectDeck(1 - d);
        return true;
    case VK_RETURN:
        syncBeat(d);
        return true;
    case VK_ESCAPE:
        magicSync(d);
        return true;
    case VK_SPACE:
        if (deck)
            deck->play();
        return true;
    case VK_PRIOR:
        pitch(speed - kBigPitchStep);
        return true;
    case VK_NEXT:
        pitch(speed + kBigPitchStep);
        return true;
    case VK_UP:
        pitch(speed - kPitchStep);
        return true;
    case VK_DOWN:
        pitch(speed + kPitchStep);
        return true;
    case VK_LEFT:
    case VK_RIGHT:
        if (deck)
            deck->shift((vk == VK_LEFT ? 1 : -1) * speed * kShiftFrames / 4096);
        return true;
    case VK_DELETE:
        deleteSelectedRows(); // handled even when no list has the focus
        return true;
    case 'L':
        if (deck)
            deck->goToMemory();
        return true;
    case 'M':
        if (deck) {
            deck->setMemory();
            redrawCueMark(d);
        }
        return true;
    case 'N':
        skipBeat(d);
        return true;
    case 'P':
        if (deck)
            deck->pause();
        return true;
    case 'S':
        if (deck)
            deck->stop();
        return true;
    default:
        break;
    }
    if (vk >= VK_F1 && vk < VK_F1 + 6) {
        if (desk_)
            desk_->selectPage(vk - VK_F1);
        return true;
    }
    // Other letters are swallowed: they would type into a list.
    return vk >= 'A' && vk <= 'Z';
}
