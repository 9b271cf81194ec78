#include "ui/library/ScanDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileIconProvider>
#include <QFontMetrics>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr const char* kFileCreationError = "File creation error";
constexpr int kPollMs = 100;
constexpr int kMaxDiscName = 253;
constexpr int kMaxDeletedKey = 255;

QString volumeName(const Volume& volume) {
    return volume.root;
}

QIcon driveIcon() {
    static QFileIconProvider provider;
    return provider.icon(QFileIconProvider::Drive);
}

std::string mountPoint(const Volume& volume) {
    return volume.root.toStdString();
}

// A disc name goes before '=' in every line of the disc: it may hold neither the marks
// that end a disc key nor a line end.
bool usableDiscName(const QByteArray& name) {
    return !name.isEmpty() && !name.contains('=') && !name.contains(':') && !name.contains('\r') &&
           !name.contains('\n');
}

} // namespace

std::vector<Volume> scannableVolumes(const std::vector<Volume>& mounted) {
    std::vector<Volume> volumes;
    for (const Volume& v : mounted)
        if (!v.root.isEmpty() && !v.root.contains('=') && !v.root.contains(':') &&
            !v.root.contains('\r') && !v.root.contains('\n'))
            volumes.push_back(v);
    return volumes;
}

ScanProgressWindow::ScanProgressWindow(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint) {
    setObjectName("scanProgress");
    path_ = new QLabel(this);
    path_->setObjectName("scanPath");
    path_->setMinimumWidth(240);
    auto* stop = new QPushButton("Stop", this);
    stop->setObjectName("stopButton");
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(path_, 1);
    layout->addWidget(stop);
    connect(stop, &QPushButton::clicked, this, &ScanProgressWindow::stopRequested);
    setFixedSize(sizeHint().expandedTo(QSize(280, 54)));
}

void ScanProgressWindow::showPath(const QString& path) {
    const QString shown =
        QFontMetrics(path_->font()).elidedText(path, Qt::ElideMiddle, path_->width());
    if (shown != path_->text())
        path_->setText(shown);
}

CatalogueDialog::CatalogueDialog(QWidget* owner, std::string cataloguePath,
                                 const Catalogue& catalogue, ScanPrompts prompts)
    : QDialog(owner), path_(std::move(cataloguePath)), catalogue_(catalogue),
      prompts_(std::move(prompts)) {}

CatalogueDialog::~CatalogueDialog() {
    abortScan();
}

void CatalogueDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    const QWidget* owner = parentWidget();
    const QRect over =
        owner ? owner->window()->frameGeometry() : (screen() ? screen()->geometry() : QRect());
    if (over.isValid()) {
        QRect frame = frameGeometry();
        frame.moveCenter(over.center());
        move(frame.topLeft());
    }
}

bool CatalogueDialog::startScan(Catalogue kept, std::vector<ScanTarget> targets, int kinds) {
    scan_ = std::make_unique<CatalogueScan>(path_);
    if (!scan_->start(std::move(kept), std::move(targets), kinds)) {
        scan_.reset();
        return false;
    }
    // The dialog's own controls wait for the walk; the progress window answers.
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (!child->isWindow())
            child->setEnabled(false);
    progress_ = new ScanProgressWindow(this);
    connect(progress_, &ScanProgressWindow::stopRequested, this, [this] {
        if (scan_)
            scan_->stop();
    });
    if (QScreen* s = screen()) {
        QRect frame = progress_->frameGeometry();
        frame.moveCenter(s->geometry().center());
        progress_->move(frame.topLeft());
    }
    progress_->show();
    timer_ = new QTimer(this);
    connect(timer_, &QTimer::timeout, this, &CatalogueDialog::poll);
    timer_->start(kPollMs);
    return true;
}

void CatalogueDialog::poll() {
    if (!scan_)
        return;
    if (progress_)
        progress_->showPath(QString::fromUtf8(scan_->currentPath()));
    if (!scan_->finished())
        return;
    scan_->join();
    const CatalogueScan::Outcome outcome = scan_->outcome();
    scan_.reset();
    timer_->stop();
    delete progress_.data();
    if (outcome == CatalogueScan::Outcome::WriteFailed) {
        fail();
        return;
    }
    done(1);
}

void CatalogueDialog::fail() {
    if (prompts_.inform && !aborted_)
        prompts_.inform(QString::fromLatin1(kFileCreationError));
    done(0);
}

void CatalogueDialog::abortScan() {
    if (!scan_)
        return;
    aborted_ = true; // the program is closing: no message box now
    scan_->stop();
    scan_->join();
    poll();
}

void CatalogueDialog::reject() {
    if (scan_) {
        scan_->stop(); // the next poll closes the dialog
        return;
    }
    QDialog::reject();
}

HardDiskScanDialog::HardDiskScanDialog(QWidget* owner, std::string cataloguePath,
                                       const Catalogue& catalogue,
                                       const std::vector<Volume>& volumes, ScanPrompts prompts)
    : CatalogueDialog(owner, std::move(cataloguePath), catalogue, std::move(prompts)),
      volumes_(scannableVolumes(volumes)) {
    setWindowTitle("Auto Search of MP3 files on the hard drive");
    drives_ = new QListWidget(this);
    drives_->setObjectName("drives");
    for (const Volume& v : volumes_) {
        auto* item = new QListWidgetItem(driveIcon(), volumeName(v), drives_);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(v.kind == Volume::Fixed ? Qt::Checked : Qt::Unchecked);
    }
    mp3_ = new QCheckBox("MP3 Files", this);
    mp3_->setObjectName("mp3Files");
    mp3_->setChecked(true);
    others_ = new QCheckBox("WAV Files", this);
    others_->setObjectName("wavFiles");
    others_->setChecked(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &HardDiskScanDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &HardDiskScanDialog::reject);
    auto* kinds = new QHBoxLayout;
    kinds->addWidget(mp3_);
    kinds->addWidget(others_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(drives_);
    layout->addLayout(kinds);
    layout->addWidget(buttons);
}

void HardDiskScanDialog::accept() {
    if (scanning())
        return;
    const int kinds = (mp3_->isChecked() ? kScanMp3 : 0) | (others_->isChecked() ? kScanOthers : 0);
    Catalogue kept = catalogue_.copyLines();
    std::vector<ScanTarget> targets;
    for (int row = 0; row < drives_->count(); ++row) {
        if (drives_->item(row)->checkState() != Qt::Checked)
            continue;
        const std::string root = mountPoint(volumes_[size_t(row)]);
        // Lines of files deleted since the last scan go with the drive's old lines.
        kept.removePrefix(root + ":");
        targets.push_back({root, root + ":"});
    }
    if (targets.empty()) {
        if (prompts_.inform)
            prompts_.inform("Check the hard disks you want to scan");
        return;
    }
    if (!startScan(std::move(kept), std::move(targets), kinds))
        fail();
}

CdScanDialog::CdScanDialog(QWidget* owner, std::string cataloguePath, const Catalogue& catalogue,
                           const std::vector<Volume>& volumes, QString& cdDrive,
                           ScanPrompts prompts)
    : CatalogueDialog(owner, std::move(cataloguePath), catalogue, std::move(prompts)),
      volumes_(scannableVolumes(volumes)), cdDrive_(cdDrive) {
    setWindowTitle("Auto scan of mp3 files");
    drives_ = new QComboBox(this);
    drives_->setObjectName("drive");
    int selected = -1;
    auto bare = [](QString path) {
        while (path.size() > 1 && path.endsWith('/'))
            path.chop(1);
        return path;
    };
    for (const Volume& v : volumes_) {
        if (bare(v.root) == bare(cdDrive_))
            selected = drives_->count();
        drives_->addItem(driveIcon(), volumeName(v));
    }
    drives_->setCurrentIndex(selected);
    name_ = new QLineEdit(QString::fromStdString(catalogue.proposeDiscName()), this);
    name_->setObjectName("name");
    name_->setMaxLength(kMaxDiscName);
    auto* scan = new QPushButton("Scan", this);
    scan->setObjectName("scanButton");
    scan->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    connect(scan, &QPushButton::clicked, this, &CdScanDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &CdScanDialog::reject);
    auto* form = new QFormLayout;
    form->addRow("Drive :", drives_);
    form->addRow("Name :", name_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(scan);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
}

void CdScanDialog::accept() {
    if (scanning())
        return;
    const int drive = drives_->currentIndex();
    if (drive < 0 || size_t(drive) >= volumes_.size()) {
        drives_->setFocus();
        return;
    }
    const QByteArray name = name_->text().toUtf8();
    if (!usableDiscName(name)) {
        name_->setFocus();
        return;
    }
    const std::string prefix = name.toStdString() + "=";
    const Volume& volume = volumes_[size_t(drive)];
    cdDrive_ = volume.root;
    Catalogue kept = catalogue_.copyLines();
    if (kept.hasPrefix(prefix)) {
        if (!prompts_.ask || !prompts_.ask("This CD already exists in the database. Do you want "
                                           "to replace its content ?"))
            return;
        kept.removePrefix(prefix);
    }
    if (!startScan(std::move(kept), {{mountPoint(volume), prefix}}, kScanAll))
        fail();
}

DeleteCdDialog::DeleteCdDialog(QWidget* owner, std::string cataloguePath,
                               const Catalogue& catalogue, ScanPrompts prompts)
    : CatalogueDialog(owner, std::move(cataloguePath), catalogue, std::move(prompts)) {
    setWindowTitle("Delete a CD");
    discs_ = new QTreeWidget(this);
    discs_->setObjectName("discs");
    discs_->setRootIsDecorated(false);
    discs_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    discs_->setHeaderLabels({"Disc", "Files"});
    discs_->header()->setSectionsClickable(false);
    discs_->setColumnWidth(0, 200);
    discs_->setColumnWidth(1, 50);
    for (const Catalogue::DiscGroup& group : catalogue.discGroups()) {
        auto* item = new QTreeWidgetItem(discs_);
        item->setText(0, QString::fromUtf8(group.key));
        item->setData(0, Qt::UserRole, QByteArray::fromStdString(group.key));
        item->setText(1, QString::number(group.count));
    }
    auto* remove = new QPushButton("Delete", this);
    remove->setObjectName("deleteButton");
    auto* cancel = new QPushButton("Cancel", this);
    connect(remove, &QPushButton::clicked, this, &DeleteCdDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &DeleteCdDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(remove);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(discs_);
    layout->addLayout(buttons);
}

void DeleteCdDialog::accept() {
    const QList<QTreeWidgetItem*> selected = discs_->selectedItems();
    if (selected.isEmpty()) {
        done(0);
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    Catalogue kept = catalogue_.copyLines();
    for (const QTreeWidgetItem* item : selected) {
        const QByteArray key = item->data(0, Qt::UserRole).toByteArray().left(kMaxDeletedKey);
        kept.removePrefix(discPrefix(std::string_view(key.constData(), size_t(key.size()))));
    }
    CatalogueWriter writer(path_);
    const bool written = writer.open() && kept.writeAll(writer) && writer.commit();
    QApplication::restoreOverrideCursor();
    if (!written) {
        fail();
        return;
    }
    done(1);
}
