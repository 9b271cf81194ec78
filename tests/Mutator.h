#pragma once
// Damaged copies of a file for the parser tests, one to three damages at a time: bit
// flips (half of them in the header), cuts, extreme or random 32-bit words where sizes
// live, and ranges inserted, zeroed, overwritten, removed or repeated, or a file of
// noise behind a valid-looking start. Seeded, so that a failure repeats.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

class Mutator {
public:
    // `extremes`: the word values the parser must refuse or survive.
    Mutator(uint32_t seed, std::vector<uint32_t> extremes)
        : random_(seed), extremes_(std::move(extremes)) {}

    std::vector<uint8_t> mutate(std::vector<uint8_t> b) {
        const auto at = [&](size_t i) { return b.begin() + static_cast<std::ptrdiff_t>(i); };
        const auto noise = [&](size_t from, size_t n) {
            for (size_t i = from; i < from + n && i < b.size(); ++i)
                b[i] = static_cast<uint8_t>(random_());
        };
        for (int round = 1 + int(below(3)); round > 0; --round) {
            const size_t header = std::min<size_t>(b.size(), 96);
            const size_t from = below(b.size() + 1);
            const size_t n = std::min(b.size() - from, size_t{1} + below(below(2) ? 64 : 2000));
            switch (below(9)) {
            case 0:
                for (int k = 1 + int(below(16)); k > 0 && !b.empty(); --k)
                    b[below(below(2) ? header : b.size())] ^= static_cast<uint8_t>(1u << below(8));
                break;
            case 1:
                b.resize(from);
                break;
            case 2: // in the header at any byte, elsewhere on a word boundary
                if (b.size() >= 4) {
                    const size_t word = below(2) ? below(header - 3) : below(b.size() / 4) * 4;
                    const uint32_t v = below(3) ? extremes_[below(extremes_.size())]
                                                : static_cast<uint32_t>(random_());
                    for (int i = 0; i < 4; ++i)
                        b[word + i] = static_cast<uint8_t>(v >> (8 * i));
                }
                break;
            case 3:
                std::fill_n(at(from), n, 0);
                break;
            case 4:
                b.erase(at(from), at(from + n));
                break;
            case 5: {
                const std::vector<uint8_t> copy(at(from), at(from + n));
                b.insert(at(below(b.size() + 1)), copy.begin(), copy.end());
                break;
            }
            case 6: {
                const size_t count = 1 + below(3000);
                b.insert(at(from), count, 0);
                noise(from, count);
                break;
            }
            case 7:
                noise(from, n);
                break;
            default: {
                const size_t keep = below(2) ? std::min<size_t>(b.size(), below(64)) : 0;
                b.resize(keep + below(8192));
                noise(keep, b.size());
            }
            }
        }
        return b;
    }

    uint32_t below(size_t n) { return n == 0 ? 0 : static_cast<uint32_t>(random_() % n); }

private:
    std::mt19937 random_;
    std::vector<uint32_t> extremes_;
};
