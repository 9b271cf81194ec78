#pragma once
// "Apply DSP-Plugins": per deck a list of plug-in files ("(none)" first), a list of
// the chosen file's effects and a "config" button. A new choice takes effect on the
// deck at once; an effect that cannot be used is reported and the deck goes on
// without one ("(none)" is then selected, so the dialog always shows what the deck
// runs).
//
// Threading: main thread only.

#include "audio/dsp/PluginCatalogue.h"
#include "ui/dialogs/SmallDialogs.h"

#include <array>
#include <functional>
#include <memory>
#include <vector>

class QComboBox;
class QListWidget;
class QPushButton;
class WinampDspPlugin;

// How the dialog reaches the decks.
struct DspDeckAccess {
    // The plug-in deck d runs, null for none (or one the dialog does not know).
    std::function<WinampDspPlugin*(int deck)> current;
    // Gives deck d a plug-in (null = none); the deck destroys the one it held.
    std::function<void(int deck, std::unique_ptr<WinampDspPlugin>)> install;
};

class DspPluginDialog : public CentredDialog {
    Q_OBJECT
public:
    // Shows a refusal (a message box with the stop icon in the program).
    using Report = std::function<void(const QString& text)>;

    // files: what the plug-in folders hold (findPlugins). pluginParent: the window
    // handed to the plug-ins as their parent. copyFolders: where instances copy their
    // file (empty = the default folders).
    DspPluginDialog(QWidget* parent, std::vector<PluginFile> files, DspDeckAccess decks,
                    Report report, void* pluginParent = nullptr,
                    std::vector<std::string> copyFolders = {});

    QListWidget* fileList(int deck) const { return desks_[deck & 1].files; }
    QComboBox* effectBox(int deck) const { return desks_[deck & 1].effects; }
    QPushButton* configButton(int deck) const { return desks_[deck & 1].config; }

    // Opens the effect's settings: the host's parameter window by default.
    std::function<void(WinampDspPlugin& plugin)> showSettings;

private:
    struct Desk {
        QListWidget* files = nullptr;
        QComboBox* effects = nullptr;
        QPushButton* config = nullptr;
    };

    void showCurrent(int deck);
    void chooseFile(int deck, int row);
    void chooseEffect(int deck, int index);
    void configure(int deck);
    // Loads the effect and hands it to the deck; on failure reports it and leaves the
    // deck without a plug-in.
    void apply(int deck, const std::string& path, int module);
    void showNone(int deck);
    std::string pathAt(int row) const;

    std::vector<PluginFile> files_;
    DspDeckAccess decks_;
    Report report_;
    void* pluginParent_;
    std::vector<std::string> copyFolders_;
    std::array<Desk, 2> desks_;
};
