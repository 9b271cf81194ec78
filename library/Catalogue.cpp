#include "library/Catalogue.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t kWriteBufferBytes = 1 << 16;
constexpr int kMaxDiscNumber = 999;

} // namespace

bool Catalogue::load(const std::string& path) {
    clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        uint64_t(info.st_size) >= kMaxFileBytes) {
        ::close(fd);
        return false;
    }
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    std::string text;
    text.resize(size_t(info.st_size));
    size_t done = 0;
    // The file may grow or shrink while it is read: take what is there.
    for (;;) {
        if (done == text.size()) {
            if (text.size() + 1 >= kMaxFileBytes) {
                ::close(fd);
                return false;
            }
            text.resize(std::min<size_t>(text.size() * 2 + 4096, kMaxFileBytes));
        }
        const ssize_t n = ::read(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        done += size_t(n);
    }
    ::close(fd);
    text.resize(done);
    setText(std::move(text));
    return true;
}

void Catalogue::setText(std::string text) {
    text_ = std::move(text);
    present_ = true;
    index();
}

Catalogue Catalogue::copyLines() const {
    Catalogue copy;
    copy.text_ = text_;
    copy.lines_ = lines_;
    copy.present_ = present_;
    return copy;
}

void Catalogue::clear() {
    text_.clear();
    folded_.clear();
    lines_.clear();
    present_ = false;
}

void Catalogue::index() {
    lines_.clear();
    // Two plain passes the compiler vectorises, then the line ends found with memchr:
    // several times faster than one pass testing every byte for everything.
    folded_ = text_;
    for (char& c : folded_)
        c = (c >= 'a' && c <= 'z') ? char(c - ('a' - 'A')) : c;
    for (char& c : folded_)
        c = (c == '\r' || c == '\n') ? '\0' : c;
    const char* const begin = text_.data();
    const char* const end = begin + text_.size();
    const char* cr = static_cast<const char*>(std::memchr(begin, '\r', text_.size()));
    const char* lf = static_cast<const char*>(std::memchr(begin, '\n', text_.size()));
    const char* start = begin;
    while (start < end) {
        if (cr && cr < start)
            cr = static_cast<const char*>(std::memchr(start, '\r', size_t(end - start)));
        if (lf && lf < start)
            lf = static_cast<const char*>(std::memchr(start, '\n', size_t(end - start)));
        const char* stop = cr && lf ? std::min(cr, lf) : (cr ? cr : (lf ? lf : end));
        if (stop > start)
            lines_.push_back({uint32_t(start - begin), uint32_t(stop - start)});
        start = stop + 1;
    }
}

bool Catalogue::hasPrefix(std::string_view prefix) const {
    for (size_t i = 0; i < lines_.size(); ++i)
        if (line(i).starts_with(prefix))
            return true;
    return false;
}

size_t Catalogue::removePrefix(std::string_view prefix) {
    const size_t before = lines_.size();
    std::erase_if(lines_, [&](const Line& l) {
        return std::string_view(text_.data() + l.offset, l.length).starts_with(prefix);
    });
    return before - lines_.size();
}

bool Catalogue::writeAll(CatalogueWriter& out) const {
    for (size_t i = 0; i < lines_.size(); ++i)
        if (!out.write(line(i)) || !out.write("\r\n"))
            return false;
    return true;
}

std::vector<Catalogue::DiscGroup> Catalogue::discGroups() const {
    std::vector<DiscGroup> groups;
    std::string_view current;
    bool open = false;
    for (size_t i = 0; i < lines_.size(); ++i) {
        const std::string_view key = discKey(line(i));
        if (key.empty())
            continue;
        if (open && key == current) {
            ++groups.back().count;
            continue;
        }
        groups.push_back({std::string(key), 1});
        current = key;
        open = true;
    }
    std::reverse(groups.begin(), groups.end());
    return groups;
}

std::string Catalogue::proposeDiscName() const {
    for (int n = 1; n < kMaxDiscNumber; ++n) {
        const std::string name = "CD" + std::to_string(n);
        if (!hasPrefix(name + "="))
            return name;
    }
    return "CD" + std::to_string(kMaxDiscNumber);
}

std::string_view discKey(std::string_view line) {
    const size_t mark = line.find_first_of("=:");
    if (mark == std::string_view::npos)
        return {};
    if (line[mark] == '=')
        return line.substr(0, mark);
    if (mark + 1 == line.size())
        return {};
    return line.substr(0, mark + 1);
}

std::string discPrefix(std::string_view key) {
    std::string prefix(key);
    if (!key.ends_with(':'))
        prefix += '=';
    return prefix;
}

CatalogueWriter::CatalogueWriter(std::string path) : path_(std::move(path)) {}

CatalogueWriter::~CatalogueWriter() {
    discard();
}

bool CatalogueWriter::open() {
    discard();
    temporary_ = path_ + ".XXXXXX";
    fd_ = ::mkostemp(temporary_.data(), O_CLOEXEC);
    if (fd_ < 0) {
        temporary_.clear();
        return false;
    }
    // mkostemp makes the file private; a catalogue is as readable as any other file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
    failed_ = false;
    buffer_.clear();
    buffer_.reserve(kWriteBufferBytes);
    return true;
}

bool CatalogueWriter::write(std::string_view bytes) {
    if (fd_ < 0 || failed_)
        return false;
    if (buffer_.size() + bytes.size() > kWriteBufferBytes && !flush())
        return false;
    if (bytes.size() >= kWriteBufferBytes) {
        buffer_.assign(bytes);
        return flush();
    }
    buffer_.append(bytes);
    return true;
}

bool CatalogueWriter::flush() {
    size_t done = 0;
    while (done < buffer_.size()) {
        const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            failed_ = true;
            return false;
        }
        done += size_t(n);
    }
    buffer_.clear();
    return true;
}

bool CatalogueWriter::commit() {
    if (fd_ < 0 || failed_ || !flush() || ::fsync(fd_) != 0) {
        discard();
        return false;
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 || ::rename(temporary_.c_str(), path_.c_str()) != 0) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
        return false;
    }
    temporary_.clear();
    return true;
}

void CatalogueWriter::discard() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty())
        ::unlink(temporary_.c_str());
    temporary_.clear();
    buffer_.clear();
}
