// Fuzz target of the number and time parsers: any text must be read without a crash or undefined
// behaviour, and what the program writes itself must read back as it was.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "support/NumberText.h"
#include "support/TimeText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);

    int32_t loose = quillon::ParseIntLoose(text);
    if (quillon::ParseIntLoose(quillon::IntToText(loose)) != loose) {
        std::abort();
    }
    bool error = false;
    int32_t strict = quillon::ParseIntStrict(text, error);
    if (error ? strict != 0 : quillon::ParseIntLoose(quillon::IntToText(strict)) != strict) {
        std::abort();
    }
    bool again = false;
    if (quillon::ParseIntStrict(quillon::IntToText(strict), again) != strict || again) {
        std::abort();
    }

    quillon::TimeValue date = quillon::ParseDateTime(text);
    quillon::TimeValue second = quillon::ParseRegistryTime(text);
    quillon::ParseRegistryMinuteTime(text);
    // The registry form of any time that was read must give the same time back.
    if (second.IsSet() && quillon::ParseRegistryTime(quillon::FormatRegistryTime(second)) != second) {
        std::abort();
    }
    if (date.IsSet()) {
        date.Format(quillon::kTimeMinutePattern);
    }
    return 0;
}
