#include "support/TimeText.h"

#include <string>

#include "platform/Trace.h"
#include "support/NumberText.h"

namespace quillon {
namespace {

TimeValue BuildClamped(int year, int month, int day, int hour, int minute, int second) {
    ClampDateParts(year, month, day, hour, minute, second, year, month, day, hour, minute, second);
    return MakeTime(year, month, day, hour, minute, second, -1);
}

// Both registry forms: "YYYY-MM-DD HH:MM" and, withSeconds, ":SS" after it. Characters past the form
// are ignored. A garbled text is traced and read as all-zero fields, which clamp to 1980-01-01.
TimeValue ParseRegistryForm(std::string_view text, bool withSeconds) {
    if (text.size() < (withSeconds ? 19u : 16u)) {
        return TimeValue();
    }
    bool error = false;
    int year = ParseIntStrict(text.substr(0, 4), error);
    int month = ParseIntStrict(text.substr(5, 2), error);
    int day = ParseIntStrict(text.substr(8, 2), error);
    int hour = ParseIntStrict(text.substr(11, 2), error);
    int minute = ParseIntStrict(text.substr(14, 2), error);
    int second = withSeconds ? ParseIntStrict(text.substr(17, 2), error) : 0;
    if (text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' ||
        (withSeconds && text[16] != ':')) {
        error = true;
    }
    if (error) {
        Trace("*** Illegal Time String >%s< in Registry\n", std::string(text).c_str());
        year = month = day = hour = minute = second = 0;
    }
    return BuildClamped(year, month, day, hour, minute, second);
}

}  // namespace

TimeValue ParseDateTime(std::string_view text) {
    if (text.size() < 10 || text[4] != '-' || text[7] != '-') {
        return TimeValue();
    }
    const int year = ParseIntLoose(text.substr(0, 4));
    const int month = ParseIntLoose(text.substr(5, 2));
    const int day = ParseIntLoose(text.substr(8, 2));
    // The separator at index 10 is not looked at ("T" serves as well as a blank); seconds are never
    // read, so a full second-form text gives its minute.
    int hour = 0;
    int minute = 0;
    if (text.size() >= 16 && text[13] == ':') {
        hour = ParseIntLoose(text.substr(11, 2));
        minute = ParseIntLoose(text.substr(14, 2));
    }
    return BuildClamped(year, month, day, hour, minute, 0);
}

TimeValue ParseRegistryTime(std::string_view text) {
    return ParseRegistryForm(text, true);
}

TimeValue ParseRegistryMinuteTime(std::string_view text) {
    return ParseRegistryForm(text, false);
}

std::string FormatRegistryTime(TimeValue t) {
    return t.Format(kTimeSecondPattern);
}

std::string FormatRegistryMinuteTime(TimeValue t) {
    return t.Format(kTimeMinutePattern);
}

}  // namespace quillon
