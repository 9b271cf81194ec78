#pragma once
// The one list of file extensions the program plays, next to the decoders that read
// them: the file list, the scan, search and drops all ask here, so a format added
// later appears everywhere at once.
//
// Threading: any (pure).

#include <string_view>

// True when the name ends in an extension a decoder reads (ASCII case ignored).
bool isPlayableFileName(std::string_view name);
