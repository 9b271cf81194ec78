#pragma once
// The main window's timers keep their numeric identifiers.

constexpr int kTimerMix = 149;          // 200 ms, one step of the automatic mix
constexpr int kTimerHistory0 = 150;     // 40000 ms once, deck 0's track enters the history
constexpr int kTimerHistory1 = 151;     // same for deck 1
constexpr int kTimerPendingLoads = 152; // 10 ms while a deck waits for its file
constexpr int kTimerDisplay = 160;      // 100 ms, refresh the deck displays
constexpr int kTimerJoystick = 168;     // reserved
constexpr int kTimerPitchReset0 = 190;  // 500 ms, deck 0's pitch glides back to normal
constexpr int kTimerPitchReset1 = 191;  // same for deck 1

constexpr int kMixTimerMs = 200;
constexpr int kHistoryTimerMs = 40000;
constexpr int kDisplayTimerMs = 100;
constexpr int kPitchResetTimerMs = 500;
