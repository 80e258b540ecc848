// What txpack reads from the payload's packages with the launcher's own code: the package's
// product and upgrade codes (a patch's target products), and in the standard style whether the
// packages the launcher examines carry a valid signature. Windows side of the check in
// configCheck.h; the launcher's code logs into txpack's scratch folder while it runs.
#pragma once

#include <string>
#include <vector>

#include "tools/txpack/configCheck.h"

struct PayloadPath {
   std::string name; // the container's entry name
   std::string path; // where the file is read
};

PayloadFacts Pack_ReadPayloadFacts(const std::vector<PackSetting>& settings, const std::vector<PayloadPath>& files);
