#include "app/ConfigurationCheck.h"

#include <ostream>

#include "config/AppProfile.h"
#include "config/ConfigDescription.h"

namespace quillon {

int RunConfigurationCheck(int32_t instanceNumber, std::ostream& out) {
    CAppProfile profile;
    profile.BindProfile(instanceNumber);
    ConfigDescription description = DescribeConfiguration(profile);
    out << FormatConfigDescription(description);
    out.flush();
    return description.ProblemCount() == 0 ? 0 : kCheckFoundProblems;
}

}  // namespace quillon
