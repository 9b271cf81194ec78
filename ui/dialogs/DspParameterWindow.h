#pragma once
// The settings window of an effect that describes its parameters: one slider per
// parameter, applied to the running effect as it moves. The window is modal, so the
// effect cannot be replaced while it is open.
//
// Threading: main thread only; the effect keeps each parameter atomic for its audio
// thread.

#include "ui/dialogs/SmallDialogs.h"

#include <vector>

class QLabel;
class QSlider;
class WinampDspPlugin;

class DspParameterWindow : public CentredDialog {
    Q_OBJECT
public:
    DspParameterWindow(QWidget* parent, WinampDspPlugin& plugin);
    QSlider* slider(int i) const { return sliders_.at(size_t(i)); }
    QLabel* valueText(int i) const { return values_.at(size_t(i)); }

private:
    WinampDspPlugin& plugin_;
    std::vector<QSlider*> sliders_;
    std::vector<QLabel*> values_;
};
