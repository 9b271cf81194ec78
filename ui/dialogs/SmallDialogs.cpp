#include "ui/dialogs/SmallDialogs.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// Text with tab stops between a function and its key, which QLabel does not lay out.
class TabbedText : public QWidget {
public:
    TabbedText(const QString& text, QWidget* parent) : QWidget(parent), text_(text) {
        const QFontMetrics m(font());
        setMinimumSize(m.boundingRect(QRect(0, 0, 1000, 1000), Qt::TextExpandTabs, text_).size() +
                       QSize(8, 4));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.drawText(rect(), Qt::AlignLeft | Qt::AlignTop | Qt::TextExpandTabs, text_);
    }

private:
    QString text_;
};

} // namespace

QString aboutText(const QString& version) {
    return QString("Zorvendal v%1\n---------\n\nA two-deck DJ desk for Linux.\n\n"
                   "For more information,\nplease visit our website:\n\n"
                   "https://zorvendal.org\n")
        .arg(version)
        .left(511);
}

void centreOnMainWindow(QWidget* dialog, const QWidget* mainWindow) {
    if (!dialog || !mainWindow)
        return;
    const QRect main = mainWindow->frameGeometry();
    const QRect own = dialog->frameGeometry();
    const int left = main.left(), right = main.left() + main.width();
    const int top = main.top(), bottom = main.top() + main.height();
    dialog->move((left + right - own.width()) / 2, (top + bottom - own.height()) / 2);
}

void CentredDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The frame is known once shown; move() places the frame's corner.
    if (QWidget* main = parentWidget())
        centreOnMainWindow(this, main->window());
}

const char* ShortcutsDialog::leftText() {
    return "Play:\t\tSPACE\nPause:\t\tP\nMem:\t\tM\nStop:\t\tS\nLoop:\t\tL\nSkip Beat:\tN\n"
           "Sync Beat:\tENTER\n\nMagic Sync:\tESCAPE";
}

const char* ShortcutsDialog::rightText() {
    return "Pitch up:\tUP\nPitch down:\tDOWN\nBig pitch up:\tPG.UP\nBig pitch down:\tPG.DOWN\n\n"
           "Shift left:\tLEFT\nShift right:\tRIGHT\n\nWindows:\tF1..F6";
}

ShortcutsDialog::ShortcutsDialog(QWidget* parent) : CentredDialog(parent) {
    setWindowTitle("Shortcuts");
    setObjectName("Shortcuts");
    auto* columns = new QHBoxLayout;
    columns->addWidget(new TabbedText(leftText(), this));
    columns->addWidget(new TabbedText(rightText(), this));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { done(0); });
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addWidget(buttons);
}
