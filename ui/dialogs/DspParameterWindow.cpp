#include "ui/dialogs/DspParameterWindow.h"

#include "audio/dsp/WinampDspPlugin.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

namespace {

QString formatValue(int value, const std::string& unit) {
    return unit.empty() ? QString::number(value)
                        : QString("%1 %2").arg(value).arg(QString::fromStdString(unit));
}

} // namespace

DspParameterWindow::DspParameterWindow(QWidget* parent, WinampDspPlugin& plugin)
    : CentredDialog(parent), plugin_(plugin) {
    setWindowTitle(QString::fromStdString(plugin.description()));
    setObjectName("EffectSettings");
    auto* grid = new QGridLayout;
    const auto& parameters = plugin.parameters();
    for (int i = 0; i < int(parameters.size()); ++i) {
        const auto& p = parameters[size_t(i)];
        auto* slider = new QSlider(Qt::Horizontal, this);
        slider->setObjectName(QString("parameter%1").arg(i));
        slider->setRange(p.minimum, p.maximum);
        slider->setValue(plugin.parameter(i));
        slider->setMinimumWidth(220);
        auto* value = new QLabel(formatValue(slider->value(), p.unit), this);
        value->setMinimumWidth(
            value->fontMetrics().horizontalAdvance(formatValue(-p.maximum, p.unit) + "  "));
        connect(slider, &QSlider::valueChanged, this, [this, i, value, unit = p.unit](int v) {
            plugin_.setParameter(i, v);
            value->setText(formatValue(v, unit));
        });
        grid->addWidget(new QLabel(QString::fromStdString(p.name), this), i, 0);
        grid->addWidget(slider, i, 1);
        grid->addWidget(value, i, 2);
        sliders_.push_back(slider);
        values_.push_back(value);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(buttons);
}
