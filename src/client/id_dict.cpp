#include "client/id_dict.h"

namespace vorx {
namespace client {

namespace {

struct IdKey {
    const char* key;
    uint64_t VORX_ID::*field;
};

const IdKey kIdKeys[] = {{"pkg_id", &VORX_ID::pkg_id}, {"file_id", &VORX_ID::file_id}, {"path_id", &VORX_ID::path_id}};

}  // namespace

IdDict toIdDict(const VORX_ID& id)
{
    IdDict dict;
    for (const IdKey& k : kIdKeys) dict.emplace(k.key, id.*k.field);
    return dict;
}

void readIdDict(const IdDict& dict, VORX_ID& id)
{
    for (const IdKey& k : kIdKeys) {
        auto it = dict.find(k.key);
        if (it != dict.end()) id.*k.field = it->second;
    }
}

}  // namespace client
}  // namespace vorx
