#include "library/TrackNames.h"

#include "core/AsciiCase.h"

#include "core/TrackStore.h"

#include <algorithm>
#include <ctime>

namespace {

std::string_view trimLeadingSpaces(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string_view{} : text.substr(first);
}

std::string_view trimTrailingSpaces(std::string_view text) {
    const size_t last = text.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string_view{} : text.substr(0, last + 1);
}

// Only ".mp3" is cut from a title; other extensions stay.
bool endsWithMp3(std::string_view text) {
    return text.size() > 4 && endsWithIgnoringCase(text, ".mp3");
}

} // namespace

std::string_view trackFileName(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

TrackName splitTrackName(std::string_view fileName) {
    std::string copy(fileName);
    std::replace(copy.begin(), copy.end(), '_', ' ');
    std::string_view text = trimLeadingSpaces(copy);
    if (endsWithMp3(text))
        text.remove_suffix(4);

    TrackName result;
    if (!text.empty() && text.front() == '(') {
        text = trimLeadingSpaces(text.substr(1));
        const size_t close = text.find(')');
        result.artist = trimTrailingSpaces(text.substr(0, close));
        if (close != std::string_view::npos)
            result.title = trimLeadingSpaces(text.substr(close + 1));
        return result;
    }
    const size_t dash = text.find('-');
    if (dash != std::string_view::npos) {
        result.artist = trimTrailingSpaces(text.substr(0, dash));
        result.title = trimLeadingSpaces(text.substr(dash + 1));
        return result;
    }
    result.title = text;
    return result;
}

uint32_t dateStamp(int year, int month, int day) {
    return (static_cast<uint32_t>(year) * 16 + static_cast<uint32_t>(month)) * 64 +
           static_cast<uint32_t>(day);
}

uint32_t dateStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr)
        return 0;
    return dateStamp(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

TrackRecord makeTrackRecord(TrackStore& store, const std::string& path, uint32_t sizeKey) {
    const TrackName name = splitTrackName(trackFileName(path));
    TrackRecord record;
    record.artist = name.artist;
    record.title = name.title;
    record.path = path;
    record.entry = store.openEntry(path, sizeKey);
    return record;
}
