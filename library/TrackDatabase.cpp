#include "library/TrackDatabase.h"

#include "core/FatalMessage.h"
#include "core/Settings.h"
#include "library/DatabaseBlock.h"
#include "library/TrackNames.h"

#include <QFile>
#include <QtGlobal>

#include <algorithm>
#include <cstring>
#include <new>

using namespace dbblock;

const char* databaseMessage(DatabaseStatus status) {
    switch (status) {
    case DatabaseStatus::Ok:
        return nullptr;
    case DatabaseStatus::FileSystemError:
        return "Error in the file system driver";
    case DatabaseStatus::Corrupted:
        return "The internal database is corrupted";
    case DatabaseStatus::NotEnoughMemory:
        return "Not enough memory";
    }
    return nullptr;
}

size_t TrackDatabase::KeyHash::operator()(const Key& key) const {
    return std::hash<std::string_view>{}(key.name) ^ (size_t{key.sizeKey} * 0x9e3779b97f4a7c15u);
}

// --- Opening and closing ---------------------------------------------------------------

TrackDatabase::TrackDatabase() {
    open(defaultFilePath(), Mode::Normal);
}

TrackDatabase::TrackDatabase(const std::string& filePath, Mode mode) {
    open(filePath, mode);
}

TrackDatabase::~TrackDatabase() {
    // The decks do not release what they hold when they are destroyed; this is where
    // their entries reach the file.
    for (TrackEntry* entry = head_; entry != nullptr; entry = entry->next) {
        if (entry->analysis)
            writeEntry(*entry);
    }
    while (head_ != nullptr) {
        TrackEntry* next = head_->next;
        delete head_;
        head_ = next;
    }
    file_.sync();
    file_.close();
}

std::string TrackDatabase::defaultFilePath() {
    const QString path = settings().homeFolder + QLatin1Char('/') + QLatin1String(kFileName);
    return QFile::encodeName(path).toStdString();
}

void TrackDatabase::open(const std::string& filePath, Mode mode) {
    today_ = dateStamp();
    const DatabaseFile::Access access = file_.open(filePath, mode == Mode::ReadOnly);
    readOnly_ = access == DatabaseFile::Access::ReadOnly;
    if (access == DatabaseFile::Access::None)
        return; // entries live in memory only
    status_ = readBlocks();
    if (const char* message = databaseMessage(status_))
        setFatalMessage(message);
}

// Reads every block header and descriptor from the start of the file. The values are
// skipped; they are read on the first acquire. Every size is checked against what is
// left of the file before anything is allocated or skipped, so a hostile header can
// neither make the reader allocate nor send it beyond the end.
DatabaseStatus TrackDatabase::readBlocks() {
    try {
        ChunkReader reader(file_, 0);
        const int64_t length = file_.size();
        std::vector<uint8_t> descriptor;
        for (;;) {
            const int64_t start = reader.position();
            uint8_t bytes[kHeaderBytes];
            const int64_t got = reader.read(bytes, kHeaderBytes);
            if (got < 0)
                return DatabaseStatus::FileSystemError;
            if (got == 0)
                return DatabaseStatus::Ok;
            if (got < kHeaderBytes) {
                dropTornTail(start);
                return DatabaseStatus::Ok;
            }
            const BlockHeader header = BlockHeader::from(bytes);
            const int64_t blockSize = header.blockSize;
            const int64_t descLength = header.descLength;
            // A block that runs past the end is a cut file: taking it would let a later
            // write fill the missing part up to a size nobody checked. When it is the
            // block this program would have appended, it is an append that a crash cut.
            const bool pastEnd = blockSize > length - start;
            if (pastEnd && !header.isFree() && descLength >= kMinDescLength &&
                header.blockSize == writtenBlockSize(descLength)) {
                dropTornTail(start);
                return DatabaseStatus::Ok;
            }

            if (header.isFree()) {
                if (blockSize < kHeaderBytes || pastEnd)
                    return DatabaseStatus::Corrupted;
                reader.skip(blockSize - kHeaderBytes);
                continue;
            }
            const int64_t signedSize = static_cast<int32_t>(header.blockSize);
            if (descLength < kMinDescLength || signedSize < descLength + kDescFixedBytes || pastEnd)
                return DatabaseStatus::Corrupted;
            descriptor.resize(static_cast<size_t>(descLength));
            const int64_t read = reader.read(descriptor.data(), descLength);
            if (read < 0)
                return DatabaseStatus::FileSystemError;
            if (read < descLength)
                return DatabaseStatus::Corrupted;
            Descriptor fields;
            if (!parseDescriptor(descriptor.data(), descriptor.size(), fields))
                return DatabaseStatus::Corrupted;

            auto entry = std::make_unique<TrackEntry>();
            entry->offset = start;
            entry->sizeKey = fields.sizeKey;
            entry->bpm.store(fields.bpm, std::memory_order_relaxed);
            entry->lastUse = fields.lastUse;
            entry->name = fields.name;
            entry->comment = fields.comment;
            addEntry(std::move(entry));
            reader.skip(blockSize - descLength - kHeaderBytes);
        }
    } catch (const std::bad_alloc&) {
        return DatabaseStatus::NotEnoughMemory;
    }
}

// Cuts the file back to its last whole block (in memory only when it cannot be
// written), and says so: it is the next append's place.
void TrackDatabase::dropTornTail(int64_t end) {
    droppedTailBytes_ = file_.size() - end;
    if (!readOnly_)
        file_.truncate(end);
    qWarning("The internal database ended in a block cut short by a crash: %lld bytes dropped",
             static_cast<long long>(droppedTailBytes_));
}

// --- Entries ---------------------------------------------------------------------------

TrackEntry* TrackDatabase::addEntry(std::unique_ptr<TrackEntry> entry) {
    // The key points at the entry's own name, which stays where it is: entries are
    // never moved and their names never change.
    index_.insert_or_assign(Key{entry->name, entry->sizeKey}, entry.get());
    entry->next = head_;
    head_ = entry.release();
    ++entryCount_;
    return head_;
}

TrackEntry* TrackDatabase::openEntry(const std::string& path, uint32_t sizeKey) {
    const std::string_view name = trackFileName(path);
    const auto found = index_.find(Key{name, sizeKey});
    if (found != index_.end())
        return found->second;
    auto entry = std::make_unique<TrackEntry>();
    entry->name = name;
    entry->sizeKey = sizeKey;
    return addEntry(std::move(entry));
}

TrackAnalysis* TrackDatabase::acquireAnalysis(TrackEntry* entry) {
    if (entry == nullptr)
        return nullptr;
    if (!entry->analysis) {
        entry->analysis = std::make_unique<TrackAnalysis>();
        if (!readOnly_ && entry->offset >= 0)
            loadAnalysis(*entry, *entry->analysis);
    }
    entry->lastUse = today_;
    ++entry->refCount;
    return entry->analysis.get();
}

void TrackDatabase::releaseAnalysis(TrackEntry* entry) {
    if (entry == nullptr || !entry->analysis)
        return;
    if (entry->refCount > 1) {
        --entry->refCount;
        return;
    }
    entry->refCount = 0;
    writeEntry(*entry);
    entry->analysis.reset();
}

const char* TrackDatabase::entryComment(const TrackEntry* entry) {
    if (entry == nullptr)
        return nullptr;
    return entry->replacementComment ? entry->replacementComment->c_str() : entry->comment.c_str();
}

void TrackDatabase::setEntryComment(TrackEntry* entry, std::string_view comment) {
    if (entry != nullptr)
        entry->replacementComment = std::make_unique<std::string>(comment);
}

// Fills a fresh analysis from the value area of the entry's block: as many values, in
// order, as whole 4-byte units fit. Whatever cannot be read keeps its default.
void TrackDatabase::loadAnalysis(const TrackEntry& entry, TrackAnalysis& into) {
    uint8_t bytes[kHeaderBytes];
    if (file_.readAt(entry.offset, bytes, kHeaderBytes) != kHeaderBytes)
        return;
    const BlockHeader header = BlockHeader::from(bytes);
    const int64_t area = int64_t{header.blockSize} - header.descLength - kHeaderBytes;
    if (area <= 0)
        return;
    uint8_t values[kValueBytes];
    const int64_t got = file_.readAt(entry.offset + kHeaderBytes + header.descLength, values,
                                     std::min(area, kValueBytes));
    if (got > 0)
        loadValues(values, static_cast<size_t>(got), into);
}

bool TrackDatabase::analysedWhole(TrackEntry* entry) {
    if (entry == nullptr || readOnly_)
        return false;
    if (entry->analysis)
        return entry->analysis->analysedWhole();
    if (entry->offset < 0)
        return false;
    TrackAnalysis values;
    loadAnalysis(*entry, values);
    return values.analysedWhole();
}

// --- Writing ---------------------------------------------------------------------------

// A crash may stop any write at any byte, so every step leaves a file that reads back
// with each entry either as it was or as it became:
// - a block keeps its place only when its name and comment stay as they are, so that
//   a write cut short mixes old and new values but never the strings or the layout;
// - otherwise the new block is written (and on the disk) before the old one is freed;
//   a crash in between leaves both, and the later one in the file hides the other;
// - a block placed in a free block is written header last: until the 8-byte header
//   (one disk sector) is down, the free block's header still covers the place;
// - an append cut short is dropped as a torn tail on the next opening.
// A write that fails leaves the old block in force.
void TrackDatabase::writeEntry(TrackEntry& entry) {
    if (readOnly_ || !file_.isOpen() || !entry.analysis)
        return;
    std::vector<uint8_t> block = encodeUsedBlock(entry, entryComment(&entry), *entry.analysis);
    if (block.empty())
        return;
    const int64_t newSize = static_cast<int64_t>(block.size());

    if (entry.offset < 0) {
        if (placeBlock(entry, block))
            file_.sync();
        return;
    }
    uint8_t bytes[kHeaderBytes];
    if (file_.readAt(entry.offset, bytes, kHeaderBytes) != kHeaderBytes)
        return;
    const BlockHeader old = BlockHeader::from(bytes);
    const int64_t oldSize = old.blockSize;
    if (oldSize < kHeaderBytes || entry.offset + oldSize > file_.size())
        return; // not the block we read; leave the file as it is
    if (oldSize >= newSize && sameDescriptorText(entry.offset, old, block)) {
        int64_t rest = oldSize - newSize;
        if (rest < kHeaderBytes) {
            growBlock(block, static_cast<uint32_t>(oldSize));
            rest = 0;
        }
        // The rest lies beyond the values, and the old header covers it until the new
        // one is down.
        if (rest > 0)
            freeRegion(rest, entry.offset + newSize);
        writeBlock(entry.offset, block);
        file_.sync();
        return;
    }
    const int64_t oldOffset = entry.offset;
    if (!placeBlock(entry, block)) {
        entry.offset = oldOffset;
        return;
    }
    // The new block must be on the disk before the old one may be seen free.
    if (file_.sync())
        freeRegion(oldSize, oldOffset);
    file_.sync();
}

// True when the block at position holds the same name and comment as the new block.
bool TrackDatabase::sameDescriptorText(int64_t position, const BlockHeader& old,
                                       const std::vector<uint8_t>& block) const {
    const uint32_t descLength = loadU32(block.data() + 4);
    if (old.descLength != descLength)
        return false;
    const int64_t textBytes = int64_t{descLength} - kDescFixedBytes;
    std::vector<uint8_t> text(static_cast<size_t>(textBytes));
    const int64_t textStart = kHeaderBytes + kDescFixedBytes;
    return file_.readAt(position + textStart, text.data(), textBytes) == textBytes &&
           std::equal(text.begin(), text.end(), block.begin() + textStart);
}

// Writes a block over a place that a free block or the same entry's block covers:
// everything but the header, then the header.
bool TrackDatabase::writeBlock(int64_t position, const std::vector<uint8_t>& block) {
    const int64_t size = static_cast<int64_t>(block.size());
    return file_.writeAt(position + kHeaderBytes, block.data() + kHeaderBytes,
                         size - kHeaderBytes) &&
           file_.writeAt(position, block.data(), kHeaderBytes);
}

// Walks the blocks from the start for the first free one that holds the block; appends
// it at the end when there is none. A header that cannot be read whole, or one that does
// not describe a block inside the file, stops the write.
bool TrackDatabase::placeBlock(TrackEntry& entry, std::vector<uint8_t>& block) {
    const int64_t newSize = static_cast<int64_t>(block.size());
    const int64_t end = file_.size();
    ChunkReader reader(file_, 0);
    int64_t position = 0;
    while (position < end) {
        uint8_t bytes[kHeaderBytes];
        if (reader.read(bytes, kHeaderBytes) != kHeaderBytes)
            return false;
        const BlockHeader header = BlockHeader::from(bytes);
        const int64_t size = header.blockSize;
        if (size < kHeaderBytes || size > end - position)
            return false;
        if (header.isFree() && size >= newSize) {
            int64_t rest = size - newSize;
            if (rest < kHeaderBytes) {
                growBlock(block, static_cast<uint32_t>(size));
                rest = 0;
            }
            // The rest's header lies inside the free block, which still covers it.
            if (rest > 0)
                freeRegion(rest, position + newSize);
            if (!writeBlock(position, block))
                return false;
            entry.offset = position;
            return true;
        }
        reader.skip(size - kHeaderBytes);
        position += size;
    }
    const int64_t at = file_.size();
    if (!file_.append(block.data(), newSize))
        return false;
    entry.offset = at;
    return true;
}

// Marks size bytes at position free, together with the free blocks that follow them
// (never one before). The file never shrinks.
void TrackDatabase::freeRegion(int64_t size, int64_t position) {
    int64_t end = position + size;
    while (end < file_.size()) {
        uint8_t bytes[kHeaderBytes];
        if (file_.readAt(end, bytes, kHeaderBytes) != kHeaderBytes)
            break;
        const BlockHeader next = BlockHeader::from(bytes);
        const int64_t nextSize = next.blockSize;
        if (!next.isFree() || nextSize < kHeaderBytes || nextSize > file_.size() - end ||
            end + nextSize - position > kMaxBlockSize)
            break;
        end += nextSize;
    }
    const int64_t total = end - position;
    uint8_t header[kHeaderBytes];
    storeU32(header, static_cast<uint32_t>(total));
    storeU32(header + 4, 0);
    if (file_.writeAt(position, header, kHeaderBytes))
        file_.writeZerosAt(position + kHeaderBytes, total - kHeaderBytes);
}
