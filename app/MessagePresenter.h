#pragma once
// Shows the program's message boxes (caption "Zorvendal"). The presenter is
// process-wide and replaceable so tests and offline tools can read the texts
// instead of showing windows.

#include <QString>

class QWidget;

class MessagePresenter {
public:
    enum Icon { None, Stop };
    virtual ~MessagePresenter() = default;
    // An OK box. owner may be null (a box without owner).
    virtual void showMessage(QWidget* owner, const QString& text, Icon icon) = 0;
    // The Yes/No question; true for Yes.
    virtual bool askYesNo(QWidget* owner, const QString& text) = 0;
};

// The current presenter; by default one that shows QMessageBox dialogs.
MessagePresenter& messagePresenter();
// Replaces the presenter (null restores the default). The caller keeps ownership.
void setMessagePresenter(MessagePresenter* presenter);

inline constexpr const char* kCaption = "Zorvendal";
