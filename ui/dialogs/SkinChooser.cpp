#include "ui/dialogs/SkinChooser.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const QString kDefault = "(default)";
}

QStringList SkinChooser::skinNames(const QString& homeFolder) {
    QDir dir(homeFolder);
    QStringList names;
    const QStringList pictures =
        dir.entryList({"*.bmp", "*.png"}, QDir::Files | QDir::Readable, QDir::Name);
    const QStringList files = dir.entryList(QDir::Files);
    for (const QString& picture : pictures) {
        const QString name = picture.left(picture.size() - 4);
        const bool hasIni = std::any_of(files.begin(), files.end(), [&](const QString& f) {
            return f.compare(name + ".ini", Qt::CaseInsensitive) == 0;
        });
        if (hasIni && !names.contains(name))
            names.append(name);
    }
    return names;
}

SkinChooser::SkinChooser(QWidget* parent, const QString& homeFolder, const QString& current,
                         Apply apply, Report report)
    : CentredDialog(parent), apply_(std::move(apply)), report_(std::move(report)) {
    setWindowTitle("Choose a skin");
    setObjectName("ChooseSkin");
    list_ = new QListWidget(this);
    list_->setObjectName("1007");
    list_->addItem(kDefault);
    list_->addItems(skinNames(homeFolder));
    for (int i = 0; i < list_->count(); ++i) {
        if (!current.isEmpty() && list_->item(i)->text().startsWith(current)) {
            list_->setCurrentRow(i);
            break;
        }
    }
    if (current.isEmpty())
        list_->setCurrentRow(0);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("ok");
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { choose(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QListWidget::itemDoubleClicked, this, [this] { choose(); });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addWidget(buttons);
}

bool SkinChooser::choose() {
    QListWidgetItem* item = list_->currentItem();
    if (!item)
        return false;
    const QString name = item->text() == kDefault ? QString() : item->text();
    QString error;
    if (!apply_(name, &error)) {
        if (report_)
            report_(error);
        return false;
    }
    accept();
    return true;
}
