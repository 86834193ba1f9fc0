#include "app/CheckOption.h"

namespace quillon {

int RunCheckOption(const LongOptions& /*options*/, std::FILE* /*out*/, std::FILE* err) {
    std::fputs("quillon-run: --check is not available yet\n", err);
    return 2;
}

}  // namespace quillon
