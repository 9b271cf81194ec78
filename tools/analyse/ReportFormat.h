#pragma once
// The tool's output: one tab-separated line per analysed file, or JSON objects.
// Numbers always use '.' as the decimal point (the tool never leaves the C locale).

#include "library/FileAnalyser.h"

#include <string>

// path, BPM, start s, end s, peak, loudness, separated by tabs; no newline.
std::string reportLine(const FileReport& report);
// {"path": ..., "bpm": ..., ...} or {"path": ..., "error": ...}; no newline.
std::string reportJson(const FileReport& report);
// A JSON string literal with its quotes. Bytes that are not valid UTF-8 (file names
// on Linux may hold any bytes) become U+FFFD.
std::string jsonString(const std::string& text);
