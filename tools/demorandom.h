// A small deterministic random source for the demo data of velodb. The same seed gives
// the same clinic on every machine and every run, which a standard library engine
// with its unspecified distributions would not promise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace velodb {

class CDemoRandom final {
public:
    explicit CDemoRandom(uint64_t seed) : m_state(seed) {}

    // splitmix64: a full-period 64-bit generator with good mixing.
    uint64_t Next() {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // A number in [low, high], both included. REQUIRES: low <= high.
    int Range(int low, int high) {
        const uint64_t span = static_cast<uint64_t>(static_cast<int64_t>(high) - low) + 1;
        return static_cast<int>(low + static_cast<int64_t>(Next() % span));
    }

    // True with the given chance in percent.
    bool Percent(int percent) { return Range(0, 99) < percent; }

    // A generator of its own, seeded from this one's state and salt without drawing from
    // this one: values drawn from it leave this one's sequence as it was.
    CDemoRandom Fork(uint64_t salt) const {
        return CDemoRandom(m_state ^ (salt * 0xD1B54A32D192ED03ull));
    }

    // One element of a non-empty list.
    template <typename T>
    const T& Pick(std::span<const T> items) {
        return items[static_cast<size_t>(Range(0, static_cast<int>(items.size()) - 1))];
    }

private:
    uint64_t m_state;
};

}  // namespace velodb
