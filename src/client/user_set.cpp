#include "client/user_set.h"

#include "client/id_dict.h"
#include "compat/bounded_copy.h"

namespace vorx {
namespace client {

void fillUserSetId(VORX_ID& id, uint64_t pkgId)
{
    id.pkg_id = pkgId;
}

void fillUserSetId(VORX_ID& id, uint32_t value)
{
    id.pkg_id = static_cast<uint64_t>(value);
}

void fillUserSetId(VORX_ID& id, const std::map<std::string, uint64_t>& idDict)
{
    readIdDict(idDict, id);
}

void copyUserSetName(USER_SET_ITEM& item, const std::string& key)
{
    // A refused copy has already emptied the name; that is the wanted outcome.
    (void)strncpy_s(item.name, sizeof item.name, key.c_str(), key.size());
}

}  // namespace client
}  // namespace vorx
