#include "app/MessagePresenter.h"

#include <QMessageBox>

namespace {

class DialogPresenter : public MessagePresenter {
public:
    void showMessage(QWidget* owner, const QString& text, Icon icon) override {
        QMessageBox box(icon == Stop ? QMessageBox::Critical : QMessageBox::NoIcon, kCaption, text,
                        QMessageBox::Ok, owner);
        box.exec();
    }
    bool askYesNo(QWidget* owner, const QString& text) override {
        return QMessageBox::question(owner, kCaption, text, QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::Yes) == QMessageBox::Yes;
    }
};

DialogPresenter gDialogPresenter;
MessagePresenter* gPresenter = nullptr;

} // namespace

MessagePresenter& messagePresenter() {
    return gPresenter ? *gPresenter : gDialogPresenter;
}

void setMessagePresenter(MessagePresenter* presenter) {
    gPresenter = presenter;
}
