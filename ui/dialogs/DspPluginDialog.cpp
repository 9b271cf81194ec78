#include "ui/dialogs/DspPluginDialog.h"

#include "audio/dsp/WinampDspPlugin.h"
#include "ui/dialogs/DspParameterWindow.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

const QString kNone = "(none)";
// Identifiers of each deck's file list, effect box and config button.
constexpr int kIds[2][3] = {{1007, 1012, 1021}, {1015, 1013, 1022}};

QString fromBytes(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

} // namespace

DspPluginDialog::DspPluginDialog(QWidget* parent, std::vector<PluginFile> files,
                                 DspDeckAccess decks, Report report, void* pluginParent,
                                 std::vector<std::string> copyFolders)
    : CentredDialog(parent), files_(std::move(files)), decks_(std::move(decks)),
      report_(std::move(report)), pluginParent_(pluginParent),
      copyFolders_(std::move(copyFolders)) {
    setWindowTitle("Apply DSP-Plugins");
    setObjectName("197");
    showSettings = [this](WinampDspPlugin& plugin) {
        DspParameterWindow window(this, plugin);
        window.exec();
    };
    auto* row = new QHBoxLayout;
    for (int d = 0; d < 2; ++d) {
        auto* box = new QGroupBox(QString("Desk %1").arg(d + 1), this);
        Desk& desk = desks_[d];
        desk.files = new QListWidget(box);
        desk.files->setObjectName(QString::number(kIds[d][0]));
        desk.files->addItem(kNone);
        for (const PluginFile& file : files_) {
            auto* item = new QListWidgetItem(fromBytes(file.description), desk.files);
            item->setToolTip(fromBytes(file.path));
        }
        desk.effects = new QComboBox(box);
        desk.effects->setObjectName(QString::number(kIds[d][1]));
        desk.config = new QPushButton("config", box);
        desk.config->setObjectName(QString::number(kIds[d][2]));
        auto* layout = new QVBoxLayout(box);
        layout->addWidget(desk.files);
        layout->addWidget(desk.effects);
        layout->addWidget(desk.config);
        row->addWidget(box);
        showCurrent(d);
        connect(desk.files, &QListWidget::currentRowChanged, this,
                [this, d](int r) { chooseFile(d, r); });
        connect(desk.effects, &QComboBox::currentIndexChanged, this,
                [this, d](int i) { chooseEffect(d, i); });
        connect(desk.config, &QPushButton::clicked, this, [this, d] { configure(d); });
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("ok");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
}

std::string DspPluginDialog::pathAt(int row) const {
    return row >= 1 && row <= int(files_.size()) ? files_[size_t(row - 1)].path : std::string();
}

void DspPluginDialog::showCurrent(int deck) {
    Desk& desk = desks_[deck];
    const QSignalBlocker blockFiles(desk.files);
    const QSignalBlocker blockEffects(desk.effects);
    desk.files->setCurrentRow(0);
    desk.effects->clear();
    const WinampDspPlugin* running = decks_.current ? decks_.current(deck) : nullptr;
    if (!running)
        return;
    for (size_t i = 0; i < files_.size(); ++i) {
        if (files_[i].path != running->path())
            continue;
        std::vector<std::string> modules;
        if (!listModules(running->path(), &modules))
            return;
        desk.files->setCurrentRow(int(i) + 1);
        for (const std::string& m : modules)
            desk.effects->addItem(fromBytes(m));
        desk.effects->setCurrentIndex(running->moduleIndex());
        return;
    }
    // A plug-in from a folder no longer searched keeps running under "(none)".
}

void DspPluginDialog::showNone(int deck) {
    const QSignalBlocker blockFiles(desks_[deck].files);
    const QSignalBlocker blockEffects(desks_[deck].effects);
    desks_[deck].files->setCurrentRow(0);
    desks_[deck].effects->clear();
}

void DspPluginDialog::chooseFile(int deck, int row) {
    Desk& desk = desks_[deck];
    {
        const QSignalBlocker block(desk.effects);
        desk.effects->clear();
    }
    const std::string path = pathAt(row);
    if (path.empty()) {
        decks_.install(deck, nullptr);
        return;
    }
    std::vector<std::string> modules;
    std::string error;
    if (!listModules(path, &modules, &error) || modules.empty()) {
        report_(QString("This plug-in cannot be used:\n%1")
                    .arg(fromBytes(error.empty() ? "it has no effects" : error)));
        decks_.install(deck, nullptr);
        showNone(deck);
        return;
    }
    {
        const QSignalBlocker block(desk.effects);
        for (const std::string& m : modules)
            desk.effects->addItem(fromBytes(m));
        desk.effects->setCurrentIndex(0);
    }
    apply(deck, path, 0);
}

void DspPluginDialog::chooseEffect(int deck, int index) {
    const std::string path = pathAt(desks_[deck].files->currentRow());
    if (path.empty()) {
        decks_.install(deck, nullptr);
        return;
    }
    apply(deck, path, index < 0 ? 0 : index);
}

void DspPluginDialog::apply(int deck, const std::string& path, int module) {
    auto plugin = std::make_unique<WinampDspPlugin>(path, module, pluginParent_, copyFolders_);
    if (plugin->loaded()) {
        decks_.install(deck, std::move(plugin));
        return;
    }
    const std::string error = plugin->error();
    plugin.reset();
    decks_.install(deck, nullptr);
    showNone(deck);
    report_(QString("This effect cannot be used:\n%1").arg(fromBytes(error)));
}

void DspPluginDialog::configure(int deck) {
    WinampDspPlugin* plugin = decks_.current ? decks_.current(deck) : nullptr;
    if (!plugin)
        return;
    if (plugin->hasParameters())
        showSettings(*plugin);
    else
        plugin->configure();
}
