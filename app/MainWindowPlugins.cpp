// The DSP plug-in dialog of the options page: the plug-in files of the home folder,
// its "plugins" folder and the program's own plug-in folder, applied to the decks.

#include "app/MainWindow.h"
#include "app/MessagePresenter.h"
#include "audio/deck/Deck.h"
#include "audio/deck/DeckTable.h"
#include "audio/dsp/PluginCatalogue.h"
#include "audio/dsp/WinampDspPlugin.h"
#include "core/Settings.h"
#include "ui/dialogs/DspPluginDialog.h"

#include <QCoreApplication>
#include <QFile>

void MainWindow::chooseDspPlugins() {
    if (!window_)
        return;
    const std::string home = QFile::encodeName(settings().homeFolder).toStdString();
    const std::string program =
        QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString();
    DspDeckAccess decks{[](int d) -> WinampDspPlugin* {
                            const Deck* deck = deckAt(d);
                            // The user-interface thread owns the instances; the deck only runs
                            // them.
                            return deck ? dynamic_cast<WinampDspPlugin*>(
                                              deck->dspPlugin.load(std::memory_order_relaxed))
                                        : nullptr;
                        },
                        [](int d, std::unique_ptr<WinampDspPlugin> plugin) {
                            if (Deck* deck = deckAt(d))
                                deck->setDspPlugin(std::move(plugin));
                        }};
    DspPluginDialog dialog(
        window_, findPlugins(pluginFolders(home, program)), std::move(decks),
        [this](const QString& text) {
            messagePresenter().showMessage(window_, text, MessagePresenter::Stop);
        },
        window_);
    dialog.exec();
}
