#include "app/DryRunOption.h"

namespace quillon {

int RunDryRunOption(const LongOptions& /*options*/, std::FILE* /*out*/, std::FILE* err) {
    std::fputs("quillon-run: --dry-run is not available yet\n", err);
    return 2;
}

}  // namespace quillon
