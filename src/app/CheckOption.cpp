#include "app/CheckOption.h"

#include <sstream>
#include <string>

#include "app/ConfigurationCheck.h"

namespace quillon {

int RunCheckOption(const LongOptions& options, std::FILE* out, std::FILE* /*err*/) {
    const int32_t instance = ProfileNumber(options);
    std::ostringstream report;
    int status = RunConfigurationCheck(instance, report);
    std::fputs(report.str().c_str(), out);
    return status;
}

}  // namespace quillon
