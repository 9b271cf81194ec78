#include "library/PlaylistFile.h"

#include "core/AsciiCase.h"
#include "library/TrackNames.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::string_view kPlsHeader = "[Playlist]";
constexpr std::string_view kPlsEnd = "NumberOfEntries=";
// The only PLS key that names a track; TitleN, LengthN and Version hold no path.
constexpr std::string_view kPlsFileKey = "File";
// Some editors start a text file with the UTF-8 byte-order mark; it is not part of the
// first line, which would otherwise never read as a comment or as the PLS header.
constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
constexpr size_t kReadChunkBytes = 64 * 1024;
// Appended to a file's name while its new content is written.
constexpr const char* kSavingSuffix = ".saving";

// The whole content of a regular file of at most kMaxPlaylistFileBytes; false for
// anything else. Opened without blocking so a FIFO or device named as a playlist
// cannot stall the caller, and checked on the open descriptor itself.
bool readSmallRegularFile(const std::string& path, std::string& content) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxPlaylistFileBytes;
    if (ok) {
        content.clear();
        content.reserve(static_cast<size_t>(st.st_size));
        char chunk[kReadChunkBytes];
        for (;;) {
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                ok = false;
                break;
            }
            if (n == 0)
                break;
            // The file may have grown since fstat: the limit holds for what is read.
            if (static_cast<int64_t>(content.size()) + n > kMaxPlaylistFileBytes) {
                ok = false;
                break;
            }
            content.append(chunk, static_cast<size_t>(n));
        }
    }
    ::close(fd);
    if (!ok)
        content.clear();
    return ok;
}

// "FileN" (any letter case, N one or more digits): the key of a PLS line naming a track.
bool isPlsFileKey(std::string_view key) {
    if (key.size() <= kPlsFileKey.size() || !startsWithIgnoringCase(key, kPlsFileKey))
        return false;
    key.remove_prefix(kPlsFileKey.size());
    return std::all_of(key.begin(), key.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

bool isPlaylistFileName(std::string_view name) {
    if (name.size() < 4)
        return false;
    const std::string_view ext = name.substr(name.size() - 4);
    return equalsIgnoringCase(ext, ".m3u") || equalsIgnoringCase(ext, ".pls");
}

uint32_t fileSizeKey(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return 0;
    // The key is the 32-bit size; larger files keep its low bits.
    return static_cast<uint32_t>(static_cast<uint64_t>(st.st_size) & 0xffffffffu);
}

TrackRecord makePlaylistFileRecord(const std::string& path) {
    TrackRecord record;
    record.title = std::string(trackFileName(path));
    record.path = path;
    return record;
}

std::vector<std::string> parsePlaylistText(std::string_view text) {
    std::vector<std::string> paths;
    if (text.substr(0, kUtf8ByteOrderMark.size()) == kUtf8ByteOrderMark)
        text.remove_prefix(kUtf8ByteOrderMark.size());
    bool plsMode = false;
    size_t start = 0;
    while (start < text.size() && static_cast<int>(paths.size()) < kMaxPlaylistTracks) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        line = line.substr(0, line.find('\0'));
        if (line.empty() || line.front() == '#')
            continue;
        if (equalsIgnoringCase(line, kPlsHeader)) {
            plsMode = true;
            continue;
        }
        if (!plsMode) {
            paths.emplace_back(line);
            continue;
        }
        if (startsWithIgnoringCase(line, kPlsEnd))
            break;
        const size_t equals = line.find('=');
        if (equals != std::string_view::npos && isPlsFileKey(line.substr(0, equals)))
            paths.emplace_back(line.substr(equals + 1));
    }
    return paths;
}

std::vector<std::string> readPlaylistPaths(const std::string& path) {
    std::string content;
    if (!readSmallRegularFile(path, content))
        return {};
    std::vector<std::string> paths = parsePlaylistText(content);
    // A relative path names a file beside the playlist, wherever the program runs.
    const size_t slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    for (std::string& track : paths)
        if (!track.empty() && track.front() != '/')
            track.insert(0, folder);
    return paths;
}

std::vector<TrackRecord> readPlaylist(TrackStore& store, const std::string& path) {
    std::vector<TrackRecord> records;
    for (const std::string& trackPath : readPlaylistPaths(path))
        records.push_back(makeTrackRecord(store, trackPath, fileSizeKey(trackPath)));
    return records;
}

std::string playlistFileText(const std::vector<TrackRecord>& rows) {
    std::string text;
    for (const TrackRecord& row : rows) {
        if (row.entry != nullptr) {
            text += row.path;
            text += '\n';
            continue;
        }
        for (const std::string& trackPath : readPlaylistPaths(row.path)) {
            text += trackPath;
            text += '\n';
        }
    }
    return text;
}

bool writeWholeFile(const std::string& path, std::string_view text) {
    // The text goes to a file beside the old one, which is replaced by a rename only
    // once the new one is whole on the disk: a crash or a full disk at any moment
    // leaves either the old file or the new one, never a part of either.
    const std::string temporary = path + kSavingSuffix;
    ::unlink(temporary.c_str()); // left by a crash, or a stray name: never the real file
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    bool ok = true;
    // A file replaced keeps its permissions.
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode))
        ok = ::fchmod(fd, old.st_mode & 07777) == 0;
    size_t done = 0;
    while (ok && done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<size_t>(n);
    }
    if (ok && ::fsync(fd) != 0)
        ok = false;
    if (::close(fd) != 0)
        ok = false;
    if (ok && ::rename(temporary.c_str(), path.c_str()) != 0)
        ok = false;
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    // The rename itself reaches the disk with the folder.
    const std::string folder = path.find('/') == std::string::npos
                                   ? std::string(".")
                                   : path.substr(0, std::max<size_t>(path.rfind('/'), 1));
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}
