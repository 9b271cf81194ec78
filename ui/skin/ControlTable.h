#pragma once
// The control table: where each of the 87 controls of the desk sits on the 800 x 600
// window, where its up and down images lie in the skin surface, and when and where it
// answers the pointer. Drawing, pointer input and tooltips all address a control by
// its index 0..86.
//
// Threading: plain data; the current skin's table is read on the main thread only.

#include <array>
#include <cstdint>
#include <string_view>

struct ControlEntry {
    int32_t x, y, width, height;        // where the control is drawn on the window
    int32_t left, top, right, bottom;   // the same rectangle, invalidated after a redraw
    int32_t upX, upY;                   // up image's corner in the skin surface
    int32_t downX, downY;               // down image's corner
    int32_t hitX1, hitY1, hitX2, hitY2; // hit rectangle, or the centre of a round zone
    int32_t hitRadius;                  // < 0 rectangle, > 0 disc, 0 never hit
    int32_t group;                      // when the control is hit-testable, see groupPasses

    bool placed() const { return x >= 0; }
    bool contains(int px, int py) const;
};

constexpr int kControlCount = 87;
using ControlTable = std::array<ControlEntry, kControlCount>;

// Groups with a meaning of their own; any other value is a bit mask of menu pages.
constexpr int32_t kGroupAlways = -1;
constexpr int32_t kGroupNever = 0;
constexpr int32_t kGroupPitchSliders = 256;
constexpr int32_t kGroupLevelSliders = 512;

// Menu pages, the slider modes, and the size of the window the table describes.
enum MenuPage { kPageFiles, kPageSearch, kPagePlaylist, kPageRecord, kPageHistory, kPageOptions };
constexpr int kNoPage = -1;
constexpr int kSliderModeBoth = -1, kSliderModePitch = 0, kSliderModeLevel = 1;
constexpr int kDeskWidth = 800, kDeskHeight = 600;

// The button strip below the skin bitmap: images of the page buttons, up images in its
// top row and down images 24 pixels lower, at these x positions.
constexpr int kStripWidth = 672, kStripHeight = 48, kStripCell = 24;
namespace strip {
constexpr int kSetHome = 0, kDesktop = 24, kHome = 48, kAutoMixUp = 72, kAutoMixDown = 96,
              kShuffle = 120, kNewOnly = 144, kSave = 168, kScanDisk = 192, kScanCd = 216,
              kDeleteCd = 240, kSearch = 264, kRecordUp = 288, kRecordDown = 480;
constexpr int kRecordWidth = 192;
} // namespace strip

// Named control indices the program addresses directly.
namespace control {
constexpr int kClose = 1, kMinimize = 2, kMaximize = 3, kGo1 = 4, kPlay1 = 6, kPause1 = 8,
              kStop1 = 10, kMem1 = 12, kPlatine1 = 14, kInfos1 = 16, kTitle1 = 18, kDisc1 = 20,
              kPitch1 = 22, kLevel1 = 24, kResetPitch1 = 26, kMenuLevel1 = 28, kMenuPitch1 = 30,
              kCrossfader = 34, kHorizontalFader = 35, kVerticalFader1 = 36, kVerticalFader2 = 37,
              kSyncPitch1 = 38, kSyncLevel1 = 40, kSyncBeat1 = 42, kMenuFiles = 44,
              kMenuConfig = 49, kMix = 50, kRhythmWindow = 51, kFilesWindow = 52, kFilesList = 53,
              kSearchList = 54, kPlaylistList = 55, kHistoryList = 56, kSetHomeButton = 57,
              kSearchBox = 60, kSearchButton = 61, kAutoMixButton = 65, kSaveButton = 68,
              kRecordButton = 69, kRecordText = 70, kFirstOption = 71, kLastOption = 85,
              kWindowDrag = 86;
// Deck controls come in pairs: index of deck 0's control + deck.
constexpr int forDeck(int deck0Index, int deck) {
    return deck0Index + deck;
}
} // namespace control

// The built-in skin's table, its bitmap height, and the default group of each index.
const ControlTable& builtinControlTable();
constexpr int kBuiltinSkinHeight = 830;
int32_t defaultGroup(int index);

// A control's name in skin files (empty for 0 and 53..85) and its tooltip (empty: none).
std::string_view controlName(int index);
std::string_view controlTooltip(int index);
// The index whose name equals name ignoring ASCII case, or -1.
int controlIndexByName(std::string_view name);

// Whether a control of this group answers the pointer on this page and slider mode.
bool groupPasses(int32_t group, int page, int sliderMode);
// The first control in index order that answers at (x, y), or -1.
int hitTest(const ControlTable& table, int x, int y, int page, int sliderMode);

// Places the unnamed page areas, buttons and option rows (53..85) from the files
// window's rectangle; stripTop is the y of the button strip in the skin surface.
void placePageControls(ControlTable& table, int stripTop);
