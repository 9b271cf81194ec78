#pragma once
// What the library derives from a file's name: the name part of a path, the artist and
// title shown in every track list, the day stamps of the database, and the one rule by
// which the playlist reader, the file list and the search view make a TrackRecord.
//
// Threading: pure functions, any thread; makeTrackRecord calls the store, so it runs on
// the user-interface thread.

#include "core/TrackRecord.h"

#include <cstdint>
#include <string>
#include <string_view>

class TrackStore;

struct TrackName {
    std::string artist; // may be empty
    std::string title;
};

// The part of path after its last '/', the whole path when it has none.
std::string_view trackFileName(std::string_view path);

// Artist and title from a file name: underscores become spaces and a ".mp3" ending is
// dropped; "(Artist) Title" and "Artist - Title" are split, anything else is all title.
TrackName splitTrackName(std::string_view fileName);

// A day as (year * 16 + month) * 64 + day, year in full (2000), month 1..12, day 1..31:
// a larger stamp is a later day, and 0 means "never".
uint32_t dateStamp(int year, int month, int day);
// The stamp of today's local date.
uint32_t dateStamp();

// The row record of a file: the path, artist and title from its name, and the store's
// entry for the name and sizeKey (0 when the size is not known).
TrackRecord makeTrackRecord(TrackStore& store, const std::string& path, uint32_t sizeKey);
