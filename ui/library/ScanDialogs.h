#pragma once
// The catalogue's three dialogs: the hard-disk scan, the disc scan and "Delete a CD".
// A scan walks on a worker thread (CatalogueScan) while the dialog stays open with a
// small progress window and its Stop button, so the desk keeps playing and redrawing.
// Each dialog closes with 1 when the catalogue file changed (the caller then reloads
// it) and 0 otherwise.
//
// Threading: main thread only.

#include "core/Settings.h"
#include "library/CatalogueScan.h"

#include <QDialog>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QTimer;
class QTreeWidget;

// How the dialogs talk to the user (the program's message boxes; tests answer them).
struct ScanPrompts {
    std::function<void(const QString& text)> inform;
    std::function<bool(const QString& question)> ask; // true for Yes
};

// The progress window: the path being walked, shortened in its middle, and "Stop".
class ScanProgressWindow : public QDialog {
    Q_OBJECT
public:
    explicit ScanProgressWindow(QWidget* owner);
    void showPath(const QString& path);
signals:
    void stopRequested();

private:
    QLabel* path_;
};

// What the three dialogs share: centring over the owner, and a scan run on a worker
// that the dialog follows with a 100 ms timer.
class CatalogueDialog : public QDialog {
    Q_OBJECT
public:
    CatalogueDialog(QWidget* owner, std::string cataloguePath, const Catalogue& catalogue,
                    ScanPrompts prompts);
    ~CatalogueDialog() override;
    bool scanning() const { return scan_ != nullptr; }
    // Stops a running scan and waits for its worker (closing the program).
    void abortScan();
    // Closing during a scan stops the walk; the dialog closes when it has ended.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    // Starts the worker with the progress window; false when the file cannot be created.
    bool startScan(Catalogue kept, std::vector<ScanTarget> targets, int kinds);
    void fail();

    std::string path_;
    const Catalogue& catalogue_;
    ScanPrompts prompts_;

private:
    void poll();

    std::unique_ptr<CatalogueScan> scan_;
    QPointer<ScanProgressWindow> progress_;
    QTimer* timer_ = nullptr;
    bool aborted_ = false;
};

// The volumes a scan may walk: the mounted real file systems whose mount point can be
// written into a catalogue line.
std::vector<Volume> scannableVolumes(const std::vector<Volume>& mounted);

// "Auto Search of MP3 files on the hard drive".
class HardDiskScanDialog : public CatalogueDialog {
    Q_OBJECT
public:
    HardDiskScanDialog(QWidget* owner, std::string cataloguePath, const Catalogue& catalogue,
                       const std::vector<Volume>& volumes, ScanPrompts prompts);
    void accept() override;

private:
    std::vector<Volume> volumes_;
    QListWidget* drives_;
    QCheckBox* mp3_;
    QCheckBox* others_;
};

// "Auto scan of mp3 files": one disc under a name of the user's.
class CdScanDialog : public CatalogueDialog {
    Q_OBJECT
public:
    // cdDrive is the "CD Drive" setting: the drive first selected, and where the
    // scanned drive is remembered.
    CdScanDialog(QWidget* owner, std::string cataloguePath, const Catalogue& catalogue,
                 const std::vector<Volume>& volumes, QString& cdDrive, ScanPrompts prompts);
    void accept() override;

private:
    std::vector<Volume> volumes_;
    QString& cdDrive_;
    QComboBox* drives_;
    QLineEdit* name_;
};

// "Delete a CD": the discs and drives of the catalogue, several removed at once.
class DeleteCdDialog : public CatalogueDialog {
    Q_OBJECT
public:
    DeleteCdDialog(QWidget* owner, std::string cataloguePath, const Catalogue& catalogue,
                   ScanPrompts prompts);
    void accept() override;

private:
    QTreeWidget* discs_;
};
