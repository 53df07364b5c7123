// Policy parsing: the service's three-level answer sorted into id records.
#include <cstdint>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include <vorxlabelmgr/labelmgr_client.h>

#include "client/call_frame.h"
#include "client/id_dict.h"
#include "client/labelmgr_proxy.h"

using vorx::client::callService;
using vorx::client::readIdDict;

namespace {

using Keyed = std::map<std::string, uint64_t>;
using Answer = std::map<std::string, std::map<std::string, Keyed>>;
using Ids = std::map<std::string, std::map<std::string, std::vector<VORX_ID>>>;

bool isPathCategory(const std::string& category)
{
    return category == "subject_recurfile" || category == "object_recurfile";
}

bool isPkgCategory(const std::string& category)
{
    return category == "subject_pkg" || category == "object_pkg";
}

// Under the path and package categories every entry is one value of its own;
// under any other category a name's entries make up one whole record.
void sortInto(const Answer& answer, Ids& ids)
{
    for (const auto& category : answer) {
        const std::string& c = category.first;
        for (const auto& name : category.second) {
            const std::string& n = name.first;
            if (!isPathCategory(c) && !isPkgCategory(c)) {
                VORX_ID whole{0, 0, 0};
                readIdDict(name.second, whole);
                ids[c][n].push_back(whole);
                continue;
            }
            for (const auto& entry : name.second) {
                VORX_ID value{0, 0, 0};
                (isPathCategory(c) ? value.path_id : value.pkg_id) = entry.second;
                ids[c][n].push_back(value);
            }
        }
    }
}

}  // namespace

VORX_EXPORT int policies_parse(const std::map<std::string, std::vector<std::string>>& policies, Ids& ids)
{
    // This one function reports a failed call on standard output. Sorting
    // is the body's last step, so a failed call leaves ids alone.
    return callService(-1, std::cout, [&](LabelMgrClient& client) {
        sortInto(client.policies_parse(policies), ids);
        return 0;
    });
}
