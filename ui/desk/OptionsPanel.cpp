#include "ui/desk/OptionsPanel.h"

#include "core/Settings.h"
#include "ui/desk/DeskPainter.h"

#include <QFontMetrics>
#include <QPainter>

namespace {

using Setting = std::atomic<int32_t> Settings::*;

const char* onOff(const std::atomic<int32_t>& value) {
    return value.load(std::memory_order_relaxed) ? ": Enabled" : ": Disabled";
}

struct Toggle {
    int control;
    const char* label;
    Setting setting;
};
const Toggle kToggles[] = {
    {71, "Auto-Pitch ", &Settings::autoBpm},   {72, "Auto-Reset ", &Settings::autoZPitch},
    {73, "Auto-Level ", &Settings::autoLevel}, {84, "Master Tempo ", &Settings::masterTempo},
    {77, "ToolTip ", &Settings::toolTip},      {82, "Multi-Instance ", &Settings::multiInstance},
};

// A setting that cycles through a list of values, each with its text.
struct Cycle {
    int control;
    const char* label;
    Setting setting;
    std::vector<std::pair<int32_t, const char*>> values;
};
const std::vector<Cycle>& cycles() {
    static const std::vector<Cycle> list = {
        {74,
         "Mix Length ",
         &Settings::longMix,
         {{0, ": short"}, {16, ": 10s"}, {40, ": 15s"}, {64, ": 20s"}, {112, ": 30s"}}},
        {75, "Crossfader ", &Settings::crossfader, {{0, ": Smooth"}, {1, ": Full"}, {2, ": Cut"}}},
    };
    return list;
}

const Cycle* cycleOf(int control) {
    for (const Cycle& c : cycles())
        if (c.control == control)
            return &c;
    return nullptr;
}

size_t cycleIndex(const Cycle& c) {
    std::atomic<int32_t>& v = settings().*c.setting;
    for (size_t i = 0; i < c.values.size(); ++i)
        if (c.values[i].first == v.load(std::memory_order_relaxed))
            return i;
    v.store(c.values[0].first, std::memory_order_relaxed); // a value outside the list
    return 0;
}

} // namespace

OptionText optionText(int control) {
    for (const Toggle& t : kToggles)
        if (t.control == control)
            return {t.label, onOff(settings().*t.setting)};
    if (const Cycle* c = cycleOf(control))
        return {c->label, c->values[cycleIndex(*c)].second};
    switch (control) {
    case 85:
        return {"Pitch Range ", settings().limitPitch.load(std::memory_order_relaxed)
                                    ? ": -8% to +8%"
                                    : ": -34% to +34%"};
    case 76: {
        const int32_t v = settings().babySecure.load(std::memory_order_relaxed);
        return {"Security ", v == 0 ? ": None" : v == 1 ? ": Ask" : ": Always"};
    }
    case 78:
        return {"Skin", "..."};
    case 79:
        return {"Plugins", "..."};
    case 80:
        return {"Sound Config", "..."};
    case 83:
        return {"Shortcuts", "..."};
    case 81:
        return {"About", "..."};
    default:
        return {};
    }
}

bool stepOption(int control) {
    for (const Toggle& t : kToggles) {
        if (t.control == control) {
            std::atomic<int32_t>& v = settings().*t.setting;
            v.store(v.load(std::memory_order_relaxed) ? 0 : 1, std::memory_order_relaxed);
            return true;
        }
    }
    if (const Cycle* c = cycleOf(control)) {
        const size_t next = (cycleIndex(*c) + 1) % c->values.size();
        (settings().*c->setting).store(c->values[next].first, std::memory_order_relaxed);
        return true;
    }
    if (control == 85) {
        std::atomic<int32_t>& v = settings().limitPitch;
        v.store(v.load(std::memory_order_relaxed) ? 0 : 1, std::memory_order_relaxed);
        return true;
    }
    if (control == 76) {
        std::atomic<int32_t>& v = settings().babySecure;
        v.store((v.load(std::memory_order_relaxed) + 1) % 3, std::memory_order_relaxed);
        return true;
    }
    return false;
}

void drawOptionsPanel(DeskPainter& painter, Skin& skin, const QFont& font) {
    const ControlEntry& area = skin[control::kFilesWindow];
    const QRect panel(area.x, area.y, area.width, area.height);
    painter.copy(panel.topLeft(), panel);
    QPainter p(&painter.backBuffer());
    p.setFont(font);
    p.setPen(toQColor(skin.fontColorOptions));
    const QFontMetrics metrics(font);
    for (int k : options::kRows) {
        ControlEntry& row = skin.table[k];
        if (!row.placed())
            continue;
        const OptionText text = optionText(k);
        const QString label = QString::fromStdString(text.label);
        const QString value = QString::fromStdString(text.value);
        const int mid = (row.left + row.right) / 2;
        const QRect left(row.left, row.top, mid - row.left, row.bottom - row.top);
        const QRect right(mid, row.top, row.right - mid, row.bottom - row.top);
        row.hitX1 = mid - metrics.horizontalAdvance(label);
        p.drawText(left, Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine, label);
        row.hitX2 = mid + metrics.horizontalAdvance(value);
        p.drawText(right, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, value);
    }
    p.end();
    painter.invalidate(panel);
}
