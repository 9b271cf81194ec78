#pragma once
// Playlist files: ".m3u" and ".pls" are read by one reader, ".m3u" is written. Track rows
// are made by makeTrackRecord (TrackNames.h) with the size the file system gives.
//
// Reading takes the whole file (regular files of at most kMaxPlaylistFileBytes; anything
// else gives no tracks). Every CR and every LF ends a line and empty lines are skipped.
// A line starting with '#' is a comment. A line equal to "[Playlist]" (ASCII case
// ignored) switches the rest of the file to PLS mode, where "NumberOfEntries=" (case
// ignored) ends the reading, a "FileN=" line (key case ignored) yields the text after
// its '=' and every other line (TitleN, LengthN, Version, no '=') is skipped. Outside
// PLS mode the whole line is a path. A relative path read from a file names a file
// beside that playlist; absolute paths stand as they are. Strings are zero-terminated
// in this program, so a NUL byte ends the text of its line.
//
// Threading: any thread, but records are made through a TrackStore, which belongs to
// the user-interface thread.

#include "core/TrackRecord.h"
#include "core/TrackStore.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Larger files are refused as holding no tracks: no playlist comes near this, and the
// whole file is held in memory while it is read.
constexpr int64_t kMaxPlaylistFileBytes = 16 * 1024 * 1024;
// Paths beyond this many in one file are ignored; each becomes a row, a database entry
// and a file-system look-up, so a hostile file must not ask for millions.
constexpr int kMaxPlaylistTracks = 65536;

// True for names ending in ".m3u" or ".pls", ASCII case ignored.
bool isPlaylistFileName(std::string_view name);

// The size of the file as a 32-bit key: its low 32 bits, 0 when it does not exist or
// is not a regular file.
uint32_t fileSizeKey(const std::string& path);

// A row that stands for a playlist file: no entry, empty artist, the name as title.
TrackRecord makePlaylistFileRecord(const std::string& path);

// The paths that a playlist text names, in order and as written (at most
// kMaxPlaylistTracks).
std::vector<std::string> parsePlaylistText(std::string_view text);

// The paths named by the playlist file at path, relative ones resolved against its
// folder; none when it cannot be read or is larger than kMaxPlaylistFileBytes.
std::vector<std::string> readPlaylistPaths(const std::string& path);

// The track rows of the playlist file at path, in file order, each with its file's size
// from the file system as size key (0 for a missing file).
std::vector<TrackRecord> readPlaylist(TrackStore& store, const std::string& path);

// The ".m3u" text of these rows: each path followed by "\n"; a playlist-file row (no
// entry) contributes the paths of the tracks in its file instead.
std::string playlistFileText(const std::vector<TrackRecord>& rows);

// Replaces the file with one holding exactly text: written under the name plus
// ".saving", flushed, then renamed over it, so that the old file stays whole until the
// new one is. False, with the old file untouched, when that cannot be done.
bool writeWholeFile(const std::string& path, std::string_view text);
