#include "config/SourcePathRecord.h"

namespace quillon {

SourcePathRecord::~SourcePathRecord() {
    DeleteAll(ExcludeList);
    DeleteAll(ForceList);
}

}  // namespace quillon
