#pragma once
// The program from its entry to its return: settings, the single-copy test, the start
// screen, the main window, the guarded main loop and the ordered shutdown.

#include <functional>
#include <string>
#include <thread>
#include <vector>

class MainWindow;

// The music files named on the command line (as the desktop's "Open with" gives them),
// made absolute so that a running copy with another working folder finds them. Bytes as
// the file system has them, never re-encoded.
std::vector<std::string> filesToOpen(int argc, char** argv);

// Returns -1 when a second copy is refused, else 0 (also when it handed its files to the
// running copy). prepare, when given, sees the MainWindow after it is built and before
// its window is created (tools and tests attach observers there).
int runZorvendal(int argc, char** argv, const std::function<void(MainWindow&)>& prepare = nullptr);

inline constexpr const char* kMultiInstanceRefusal =
    "You need to activate the Multi-Instance option in the setting pannel if you want to "
    "run several Zorvendal windows at once";

// Where the first run puts the demo tracks, under the home folder, and how long they are.
inline constexpr const char* kDemoTracksFolder = "Demo tracks";
inline constexpr double kDemoTrackSeconds = 80.0;
// Starts writing them on a thread of their own on the first run (joined at the end).
std::thread offerDemoTracks();
