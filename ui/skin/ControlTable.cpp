#include "ui/skin/ControlTable.h"

#include "core/AsciiCase.h"

#include <cctype>

namespace {

constexpr ControlEntry rect(int x, int y, int w, int h, int ux, int uy, int dx, int dy, int group) {
    return {x, y, w, h, x, y, x + w, y + h, ux, uy, dx, dy, x, y, x + w, y + h, -1, group};
}
constexpr ControlEntry zone(int x, int y, int w, int h, int ux, int uy, int dx, int dy, int hx1,
                            int hy1, int hx2, int hy2, int group) {
    return {x, y, w, h, x, y, x + w, y + h, ux, uy, dx, dy, hx1, hy1, hx2, hy2, -1, group};
}
constexpr ControlEntry disc(int x, int y, int w, int h, int ux, int uy, int dx, int dy, int cx,
                            int cy, int radius, int group) {
    return {x, y, w, h, x, y, x + w, y + h, ux, uy, dx, dy, cx, cy, -1, -1, radius, group};
}
constexpr ControlEntry unplaced(int group) {
    return {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, group};
}
// An area whose images are its own place on the background.
constexpr ControlEntry area(int x, int y, int w, int h, int group) {
    return rect(x, y, w, h, x, y, x, y, group);
}
constexpr int H = kBuiltinSkinHeight;

constexpr ControlTable kBuiltin = {{
    unplaced(0),
    rect(763, 0, 11, 10, 763, 0, 763, 600, -1), // close
    rect(741, 0, 11, 10, 741, 0, 741, 600, -1), // minimize
    rect(752, 0, 11, 10, 752, 0, 752, 600, -1), // maximize
    disc(169, 281, 51, 51, 169, 281, 169, 761, 194, 306, 25, -1),
    disc(580, 281, 51, 51, 580, 281, 580, 761, 605, 306, 25, -1),
    disc(224, 312, 29, 29, 224, 312, 224, 792, 238, 326, 14, -1), // play
    disc(547, 312, 29, 29, 547, 312, 547, 792, 561, 326, 14, -1),
    disc(224, 312, 29, 29, 324, 614, 324, 664, 238, 326, 14, -1), // pause
    disc(547, 312, 29, 29, 447, 614, 447, 664, 561, 326, 14, -1),
    disc(262, 322, 23, 23, 262, 322, 262, 802, 273, 333, 11, -1), // stop
    disc(515, 322, 23, 23, 515, 322, 515, 802, 526, 333, 11, -1),
    disc(296, 326, 21, 21, 296, 326, 296, 806, 306, 336, 10, -1), // mem
    disc(483, 326, 21, 21, 483, 326, 483, 806, 493, 336, 10, -1),
    disc(235, 267, 35, 35, 235, 267, 235, 747, 252, 284, 17, -1), // platine
    disc(529, 267, 35, 35, 529, 267, 529, 747, 546, 284, 17, -1),
    area(270, 130, 120, 100, -1), // infos
    area(410, 130, 120, 100, -1),
    area(20, 300, 140, 35, -1), // title
    area(640, 300, 140, 35, -1),
    disc(20, 140, 140, 140, 20, 140, 20, 140, 90, 210, 70, -1), // disc
    disc(640, 140, 140, 140, 640, 140, 640, 140, 710, 210, 70, -1),
    zone(204, 120, 60, 151, 204, 600, 204, 120, 214, 125, 239, 271, 256), // pitch
    zone(536, 120, 60, 151, 536, 600, 536, 120, 563, 125, 588, 271, 256),
    zone(204, 120, 60, 151, 204, 120, 204, 600, 214, 125, 239, 271, 512), // level
    zone(536, 120, 60, 151, 536, 120, 536, 600, 563, 125, 588, 271, 512),
    rect(250, 192, 11, 11, 250, 192, 295, 627, 256), // reset pitch
    rect(539, 192, 11, 11, 539, 192, 494, 627, 256),
    rect(166, 142, 32, 30, 166, 622, 166, 142, 256), // menu level
    rect(601, 142, 32, 31, 601, 622, 601, 142, 256),
    rect(166, 172, 32, 30, 166, 172, 166, 652, 512), // menu pitch
    rect(601, 173, 32, 32, 601, 173, 601, 653, 512),
    unplaced(0),
    unplaced(0),
    area(273, 257, 256, 36, -1),                  // crossfader
    rect(285, 60, 23, 36, 285, 660, 285, 660, 0), // horizontal fader (knob picture)
    rect(495, 75, 24, 20, 495, 675, 495, 675, 0), // vertical fader1
    rect(495, 75, 24, 20, 495, 675, 495, 675, 0), // vertical fader2
    unplaced(-1),                                 // sync pitch
    unplaced(-1),
    unplaced(-1), // sync level
    unplaced(-1),
    unplaced(-1), // sync beat
    unplaced(-1),
    rect(19, 354, 30, 34, 19, 354, 368, 604, -1),   // menu files
    rect(19, 388, 30, 36, 19, 388, 368, 638, -1),   // menu search
    rect(19, 424, 30, 36, 19, 424, 368, 674, -1),   // menu playlist
    rect(19, 460, 30, 36, 19, 460, 401, 602, -1),   // menu record
    rect(19, 496, 30, 36, 19, 496, 401, 638, -1),   // menu history
    rect(19, 532, 30, 36, 19, 532, 401, 674, -1),   // menu config
    rect(346, 319, 106, 30, 346, 766, 346, 799, 4), // mix
    area(22, 10, 750, 110, -1),                     // rhythm window
    area(52, 355, 723, 235, 0),                     // files window
    area(76, 355, 699, 235, 1),
    area(52, 385, 723, 205, 2),
    area(76, 355, 699, 235, 4),
    area(76, 355, 699, 235, 16),
    rect(52, 355, 24, 24, 0, H, 0, H + 24, 5),
    rect(52, 379, 24, 24, 24, H, 24, H + 24, 5),
    rect(52, 403, 24, 24, 48, H, 48, H + 24, 5),
    area(232, 358, 335, 24, 2),
    rect(570, 358, 24, 24, 264, H, 264, H + 24, 2),
    rect(55, 358, 24, 24, 192, H, 192, H + 24, 2),
    rect(80, 358, 24, 24, 216, H, 216, H + 24, 2),
    rect(105, 358, 24, 24, 240, H, 240, H + 24, 2),
    rect(52, 448, 24, 48, 72, H, 96, H, 4),
    rect(52, 518, 24, 24, 120, H, 120, H + 24, 4),
    rect(52, 542, 24, 24, 144, H, 144, H + 24, 4),
    rect(52, 566, 24, 24, 168, H, 168, H + 24, 20),
    rect(317, 420, 192, 48, 288, H, 480, H, 8),
    area(52, 476, 723, 114, 0),
    area(52, 408, 361, 16, 32), // options rows
    area(52, 424, 361, 16, 32),
    area(52, 440, 361, 16, 32),
    area(52, 488, 361, 16, 32),
    area(52, 504, 361, 16, 32),
    area(413, 416, 362, 16, 32),
    area(413, 432, 362, 16, 32),
    area(413, 464, 362, 16, 32),
    area(413, 480, 362, 16, 32),
    area(52, 520, 361, 16, 32),
    area(413, 512, 362, 16, 32),
    area(413, 448, 362, 16, 32),
    area(413, 496, 362, 16, 32),
    area(52, 456, 361, 16, 32),
    area(52, 472, 361, 16, 32),
    area(320, 0, 160, 10, -1), // window drag
}};

struct Names {
    std::string_view name, tooltip;
};
constexpr std::array<Names, kControlCount> kNames = {{
    {"", ""},
    {"close", "Close"},
    {"minimize", "Minimize"},
    {"maximize", "Full screen"},
    {"go1", "Magic !"},
    {"go2", "Magic !"},
    {"play1", "Play"},
    {"play2", "Play"},
    {"pause1", "Pause"},
    {"pause2", "Pause"},
    {"stop1", "Stop"},
    {"stop2", "Stop"},
    {"mem1", "Cue"},
    {"mem2", "Cue"},
    {"platine1", "Select"},
    {"platine2", "Select"},
    {"infos1", ""},
    {"infos2", ""},
    {"title1", ""},
    {"title2", ""},
    {"disc1", ""},
    {"disc2", ""},
    {"pitch1", ""},
    {"pitch2", ""},
    {"level1", ""},
    {"level2", ""},
    {"reset pitch1", "Reset Pitch"},
    {"reset pitch2", "Reset Pitch"},
    {"menu level1", "Switch to Volume Control"},
    {"menu level2", "Switch to Volume Control"},
    {"menu pitch1", "Switch to Pitch Control"},
    {"menu pitch2", "Switch to Pitch Control"},
    {"reserved", ""},
    {"reserved", ""},
    {"crossfader", ""},
    {"horizontal fader", ""},
    {"vertical fader1", ""},
    {"vertical fader2", ""},
    {"sync pitch1", "Automatic pitch matching"},
    {"sync pitch2", "Automatic pitch matching"},
    {"sync level1", "Automatic volume matching"},
    {"sync level2", "Automatic volume matching"},
    {"sync beat1", "Automatic beat matching"},
    {"sync beat2", "Automatic beat matching"},
    {"menu files", "Browse by directory"},
    {"menu search", "Browse by search"},
    {"menu playlist", "Playlist"},
    {"menu record", "Record"},
    {"menu history", "History"},
    {"menu config", "Options"},
    {"mix", "AutoMix Now !"},
    {"rhythm window", ""},
    {"files window", ""},
    {"", ""},
    {"", ""},
    {"", ""},
    {"", ""},
    {"", "Set current as home folder"},
    {"", "Go to desktop"},
    {"", "Go to home folder"},
    {"", ""},
    {"", "Search !"},
    {"", "Scan Hard Drive"},
    {"", "Scan CD"},
    {"", "Delete CD"},
    {"", "Automatic mixing"},
    {"", "Shuffle"},
    {"", "New songs only"},
    {"", "Save"},
    {"", "Start recording"},
    {"", ""},
    {"", "Automatic bpm matching"},
    {"", "Automatic pitch reset"},
    {"", "Automatic volume matching"},
    {"", "AutoMix Length"},
    {"", "Crossfader Beahvior"},
    {"", "Desk Security"},
    {"", "ToolTip"},
    {"", "Load a new skin"},
    {"", "Set DSP-plugin effects"},
    {"", "Sound cards configuration"},
    {"", "About"},
    {"", "Run several Zorvendal at the same time"},
    {"", "Shows the keyboard shortcuts available"},
    {"", "Modify the speed without changing the pitch"},
    {"", "Set the range of the pitch slider"},
    {"window drag", ""},
}};

void setRect(ControlEntry& e, int left, int top, int right, int bottom) {
    e.x = e.left = e.hitX1 = left;
    e.y = e.top = e.hitY1 = top;
    e.right = e.hitX2 = right;
    e.bottom = e.hitY2 = bottom;
    e.width = right - left;
    e.height = bottom - top;
    e.hitRadius = -1;
    e.upX = e.downX = left;
    e.upY = e.downY = top;
}

void setImages(ControlEntry& e, int upX, int upY, int downX, int downY) {
    e.upX = upX;
    e.upY = upY;
    e.downX = downX;
    e.downY = downY;
}

} // namespace

bool ControlEntry::contains(int px, int py) const {
    if (hitRadius < 0)
        return px >= hitX1 && px < hitX2 && py >= hitY1 && py < hitY2;
    if (hitRadius == 0)
        return false;
    const int64_t dx = px - hitX1, dy = py - hitY1;
    return dx * dx + dy * dy <= int64_t(hitRadius) * hitRadius;
}

const ControlTable& builtinControlTable() {
    return kBuiltin;
}

int32_t defaultGroup(int index) {
    return index >= 0 && index < kControlCount ? kBuiltin[index].group : 0;
}

std::string_view controlName(int index) {
    return index >= 0 && index < kControlCount ? kNames[index].name : std::string_view();
}

std::string_view controlTooltip(int index) {
    return index >= 0 && index < kControlCount ? kNames[index].tooltip : std::string_view();
}

int controlIndexByName(std::string_view name) {
    if (name.empty())
        return -1;
    for (int i = 0; i < kControlCount; ++i)
        if (equalsIgnoringCase(kNames[i].name, name))
            return i;
    return -1;
}

bool groupPasses(int32_t group, int page, int sliderMode) {
    switch (group) {
    case kGroupAlways:
        return true;
    case kGroupNever:
        return false;
    case kGroupPitchSliders:
        return sliderMode != kSliderModeLevel;
    case kGroupLevelSliders:
        return sliderMode != kSliderModePitch;
    default:
        // Before the first page is chosen no page-bound control answers.
        if (page < 0 || page > 30)
            return false;
        return ((group >> page) & 1) != 0;
    }
}

int hitTest(const ControlTable& table, int x, int y, int page, int sliderMode) {
    for (int i = 0; i < kControlCount; ++i) {
        const ControlEntry& e = table[i];
        if (groupPasses(e.group, page, sliderMode) && e.contains(x, y))
            return i;
    }
    return -1;
}

void placePageControls(ControlTable& t, int stripTop) {
    const ControlEntry& f = t[control::kFilesWindow];
    const int L = f.left, T = f.top, R = f.right, B = f.bottom;
    const int MX = (L + R) / 2, MY = (T + B) / 2, Q1 = (3 * L + R) / 4, Q3 = (L + 3 * R) / 4;
    const int Y0 = (T + B - 128) / 2, Y1 = (T + B - 112) / 2;
    const int S = stripTop, S2 = stripTop + kStripCell;
    struct Button {
        int index, left, top, right, bottom, upX, upY, downX, downY;
    };
    const Button buttons[] = {
        {53, L + 24, T, R, B, -1, 0, 0, 0},
        {54, L, T + 30, R, B, -1, 0, 0, 0},
        {55, L + 24, T, R, B, -1, 0, 0, 0},
        {56, L + 24, T, R, B, -1, 0, 0, 0},
        {57, L, T, L + 24, T + 24, strip::kSetHome, S, strip::kSetHome, S2},
        {58, L, T + 24, L + 24, T + 48, strip::kDesktop, S, strip::kDesktop, S2},
        {59, L, T + 48, L + 24, T + 72, strip::kHome, S, strip::kHome, S2},
        {60, Q1, T + 3, Q3 - 27, T + 27, -1, 0, 0, 0},
        {61, Q3 - 24, T + 3, Q3, T + 27, strip::kSearch, S, strip::kSearch, S2},
        {62, L + 3, T + 3, L + 27, T + 27, strip::kScanDisk, S, strip::kScanDisk, S2},
        {63, L + 28, T + 3, L + 52, T + 27, strip::kScanCd, S, strip::kScanCd, S2},
        {64, L + 53, T + 3, L + 77, T + 27, strip::kDeleteCd, S, strip::kDeleteCd, S2},
        {65, L, MY - 24, L + 24, MY + 24, strip::kAutoMixUp, S, strip::kAutoMixDown, S},
        {66, L, B - 72, L + 24, B - 48, strip::kShuffle, S, strip::kShuffle, S2},
        {67, L, B - 48, L + 24, B - 24, strip::kNewOnly, S, strip::kNewOnly, S2},
        {68, L, B - 24, L + 24, B, strip::kSave, S, strip::kSave, S2},
        {69, MX - 96, MY - 52, MX + 96, MY - 4, strip::kRecordUp, S, strip::kRecordDown, S},
        {70, L, MY + 4, R, B, -1, 0, 0, 0},
    };
    for (const Button& b : buttons) {
        ControlEntry& e = t[b.index];
        setRect(e, b.left, b.top, b.right, b.bottom);
        if (b.upX >= 0)
            setImages(e, b.upX, b.upY, b.downX, b.downY);
    }
    const int leftColumn[] = {71, 72, 73, 84, 85, 74, 75, 80};
    for (int i = 0; i < 8; ++i)
        setRect(t[leftColumn[i]], L, Y0 + 16 * i, MX, Y0 + 16 * i + 16);
    const int rightColumn[] = {76, 77, 82, 78, 79, 83, 81};
    for (int i = 0; i < 7; ++i)
        setRect(t[rightColumn[i]], MX, Y1 + 16 * i, R, Y1 + 16 * i + 16);
}
