#include "audio/card/SoundCard.h"

#include "audio/card/PortAudioCard.h"
#include "audio/card/VirtualCard.h"

#include <cstring>
#include <mutex>

const char* soundResultMessage(SoundResult result) {
    switch (result) {
    case SoundResult::Ok:
        return nullptr;
    case SoundResult::OutOfMemory:
        return kSoundMessageNoMemory;
    case SoundResult::DeviceBusy:
        return kSoundMessageBusy;
    default:
        return kSoundMessageDriver;
    }
}

bool isDriverError(SoundResult result) {
    return soundResultMessage(result) == kSoundMessageDriver;
}

bool SoundCardId::assign(const void* data, std::size_t size) {
    if (data == nullptr || size != kBytes) {
        return false;
    }
    std::memcpy(bytes.data(), data, kBytes);
    return true;
}

namespace {

constexpr const char* kDefaultDeviceDescription = "Default sound device";

// 64-bit FNV-1a from a given basis: fixed constants, so the same on every run and build.
uint64_t fnv1a(const std::string& text, uint64_t basis) {
    uint64_t h = basis;
    for (const unsigned char c : text) {
        h ^= c;
        h *= 0x100000001b3ull;
    }
    return h;
}

void putLittleEndian64(uint8_t* out, uint64_t v) {
    for (int i = 0; i < 8; ++i) {
        out[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

} // namespace

SoundCardId SoundCardId::fromName(const std::string& hostApi, const std::string& device,
                                  int occurrence) {
    // The NUL separators keep ("ab", "c") and ("a", "bc") apart.
    std::string key = hostApi;
    key.push_back('\0');
    key += device;
    key.push_back('\0');
    key += std::to_string(occurrence);
    SoundCardId id;
    putLittleEndian64(id.bytes.data(), fnv1a(key, 0xcbf29ce484222325ull));
    // A second basis for the other half: 128 bits, so distinct cards never collide
    // in practice.
    putLittleEndian64(id.bytes.data() + 8, fnv1a(key, 0x84222325cbf29ce4ull));
    return id;
}

// Who has a card open in this process: opens by the control thread only, but a
// device may be destroyed on another thread, so the table has a mutex.
struct SoundCardClaim {
    SoundCardId id;
    bool exclusive = false;
    ~SoundCardClaim();
};

namespace {

struct ClaimTable {
    std::mutex mutex;
    struct Entry {
        SoundCardId id;
        int openCount = 0;
        bool exclusive = false;
    };
    std::vector<Entry> entries;
};

ClaimTable& claimTable() {
    static ClaimTable table;
    return table;
}

bool takeClaim(const SoundCardId& id, bool exclusive) {
    ClaimTable& table = claimTable();
    std::lock_guard<std::mutex> guard(table.mutex);
    for (auto& e : table.entries) {
        if (e.id == id && e.openCount > 0) {
            if (exclusive || e.exclusive) {
                return false;
            }
            ++e.openCount;
            return true;
        }
    }
    for (auto& e : table.entries) {
        if (e.openCount == 0) {
            e = {id, 1, exclusive};
            return true;
        }
    }
    table.entries.push_back({id, 1, exclusive});
    return true;
}

} // namespace

SoundCardClaim::~SoundCardClaim() {
    ClaimTable& table = claimTable();
    std::lock_guard<std::mutex> guard(table.mutex);
    for (auto& e : table.entries) {
        if (e.id == id && e.openCount > 0) {
            --e.openCount;
            e.exclusive = false;
            return;
        }
    }
}

SoundDevice::SoundDevice() = default;
SoundDevice::~SoundDevice() = default;

std::vector<SoundCardInfo> enumerateSoundCards() {
    std::vector<SoundCardInfo> cards;
    SoundCardInfo primary;
    primary.description = kDefaultDeviceDescription;
    primary.hasId = false;
    cards.push_back(primary);

    std::vector<SoundCardInfo> outputs = listPortAudioOutputs();
    SoundCardInfo virtualCard = virtualCardInfo();
    virtualCard.isDefault = true;
    for (const auto& card : outputs) {
        if (card.isDefault) {
            virtualCard.isDefault = false;
        }
    }
    cards.insert(cards.end(), outputs.begin(), outputs.end());
    cards.push_back(virtualCard);
    return cards;
}

SoundResult openSoundCard(const SoundCardId* id, bool exclusive,
                          std::unique_ptr<SoundDevice>* device, int outputPairs) {
    device->reset();
    if (outputPairs < 1 || outputPairs > 2) {
        return SoundResult::InvalidParam;
    }
    std::unique_ptr<SoundDevice> opened;
    if (id != nullptr && *id == virtualCardInfo().id) {
        opened = VirtualCard::createRealTime({}, outputPairs);
    } else {
        const SoundResult result = openPortAudioCard(id, &opened, outputPairs);
        // NotFound for the default device: the machine has no sound output at all,
        // so the program runs silently on the virtual card.
        if (result == SoundResult::NotFound && id == nullptr) {
            opened = VirtualCard::createRealTime({}, outputPairs);
        } else if (result != SoundResult::Ok) {
            return result;
        }
    }
    if (!takeClaim(opened->info().id, exclusive)) {
        return SoundResult::DeviceBusy;
    }
    opened->claim_ = std::make_unique<SoundCardClaim>();
    opened->claim_->id = opened->info().id;
    opened->claim_->exclusive = exclusive;
    opened->exclusive_ = exclusive;
    *device = std::move(opened);
    return SoundResult::Ok;
}
