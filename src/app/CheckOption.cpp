#include "app/CheckOption.h"

#include <sstream>
#include <string>

#include "app/ConfigurationCheck.h"

namespace quillon {

int RunCheckOption(const LongOptions& options, std::FILE* out, std::FILE* /*err*/) {
    // The profile the switches name, as a run would bind it: the last of "/1" to "/9" wins.
    int32_t instance = 0;
    for (const std::string& word : options.Rest) {
        if (word.empty()) {
            break;  // an empty word ends the switches
        }
        if (word.size() == 2 && word[0] == '/' && word[1] >= '1' && word[1] <= '9') {
            instance = word[1] - '0';
        }
    }
    std::ostringstream report;
    int status = RunConfigurationCheck(instance, report);
    std::fputs(report.str().c_str(), out);
    return status;
}

}  // namespace quillon
