#include "platform/LocalTime.h"

#include <time.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

namespace quillon {
namespace {

// Every conversion through the C library searches the zone's rules under a lock, and a pass over a
// large tree converts the same few times over and over: each file's time is compared, checked for its
// year and written back, and the files of a tree share their times in bulk (an unpacked archive, a
// copied folder). Each thread therefore keeps its recent conversions, exact by key, in small caches
// that a change of the zone empties.
std::atomic<uint32_t> zoneGeneration{1};

constexpr unsigned kCacheSlots = 64;  // a power of two

bool SameFields(const std::tm& a, const std::tm& b) {
    return a.tm_sec == b.tm_sec && a.tm_min == b.tm_min && a.tm_hour == b.tm_hour && a.tm_mday == b.tm_mday &&
           a.tm_mon == b.tm_mon && a.tm_year == b.tm_year && a.tm_isdst == b.tm_isdst;
}

struct BreakDownSlot {
    uint32_t generation = 0;  // 0: empty
    int64_t seconds = 0;
    std::tm fields{};
};

struct BuildSlot {
    uint32_t generation = 0;
    std::tm given{};       // the fields as the caller passed them
    std::tm normalised{};  // as mktime left them
    int64_t seconds = 0;
};

struct ConversionCache {
    BreakDownSlot breakDown[kCacheSlots];
    BuildSlot build[kCacheSlots];
};

ConversionCache& ThreadCache() {
    thread_local ConversionCache cache;
    return cache;
}

unsigned SlotOf(uint64_t key) {
    key ^= key >> 29;
    key *= 0x9E3779B97F4A7C15ULL;
    return static_cast<unsigned>(key >> 58) & (kCacheSlots - 1);
}

uint64_t KeyOf(const std::tm& fields) {
    // Fields out of their ranges are allowed (they are normalised): mixed, not packed.
    uint64_t key = 0;
    for (int value : {fields.tm_year, fields.tm_mon, fields.tm_mday, fields.tm_hour, fields.tm_min,
                      fields.tm_sec, fields.tm_isdst}) {
        key = (key ^ static_cast<uint32_t>(value)) * 0x100000001B3ULL;
    }
    return key;
}

}  // namespace

bool ToLocalFields(int64_t seconds, std::tm& fields) {
    const uint32_t generation = zoneGeneration.load(std::memory_order_relaxed);
    BreakDownSlot& slot = ThreadCache().breakDown[SlotOf(static_cast<uint64_t>(seconds))];
    if (slot.generation == generation && slot.seconds == seconds) {
        fields = slot.fields;
        return true;
    }
    time_t value = static_cast<time_t>(seconds);
    if (::localtime_r(&value, &fields) == nullptr) {
        return false;
    }
    slot.generation = generation;
    slot.seconds = seconds;
    slot.fields = fields;
    return true;
}

int64_t FromLocalFields(std::tm& fields) {
    const uint32_t generation = zoneGeneration.load(std::memory_order_relaxed);
    BuildSlot& slot = ThreadCache().build[SlotOf(KeyOf(fields))];
    if (slot.generation == generation && SameFields(slot.given, fields)) {
        fields = slot.normalised;
        return slot.seconds;
    }
    const std::tm given = fields;
    time_t result = std::mktime(&fields);
    if (result == static_cast<time_t>(-1)) {
        return -1;  // not kept: the C library may have left the fields as they were
    }
    slot.generation = generation;
    slot.given = given;
    slot.normalised = fields;
    slot.seconds = static_cast<int64_t>(result);
    return slot.seconds;
}

void ReloadTimeZone() {
    ::tzset();
    zoneGeneration.fetch_add(1, std::memory_order_relaxed);
}

void PinLocalTimeZone() {
    if (std::getenv("TZ") == nullptr) {
        ::setenv("TZ", ":/etc/localtime", 1);
    }
    ::tzset();
    zoneGeneration.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace quillon
