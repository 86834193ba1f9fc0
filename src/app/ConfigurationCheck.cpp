#include "app/ConfigurationCheck.h"

#include "config/AppProfile.h"
#include "config/ConfigDescription.h"

namespace quillon {

int32_t InstanceNumberOfSwitches(const std::vector<std::string>& words) {
    int32_t instance = 0;
    for (const std::string& word : words) {
        if (word.empty()) {
            break;  // an empty word ends the switches, as at start-up
        }
        if (word.size() == 2 && word[0] == '/' && word[1] >= '1' && word[1] <= '9') {
            instance = word[1] - '0';
        }
    }
    return instance;
}

int RunConfigurationCheck(int32_t instanceNumber, std::string& report) {
    CAppProfile profile;
    profile.BindProfile(instanceNumber);
    ConfigDescription description = DescribeConfiguration(profile);
    report = FormatConfigDescription(description);
    return description.ProblemCount() == 0 ? 0 : kCheckFoundProblems;
}

}  // namespace quillon
