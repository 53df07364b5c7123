#ifndef VORX_CLIENT_USER_SET_H
#define VORX_CLIENT_USER_SET_H

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include <vorxlabelmgr/labelmgr_client.h>

namespace vorx {
namespace client {

// How one reply value lands in a record's id. Fields a rule does not name stay
// as malloc left them: callers read only what their family fills.
void fillUserSetId(VORX_ID& id, uint64_t pkgId);
void fillUserSetId(VORX_ID& id, uint32_t value);  // zero-extended into pkg_id
void fillUserSetId(VORX_ID& id, const std::map<std::string, uint64_t>& idDict);

// Bounded copy into the 4096-byte name: a key that does not fit gives the
// empty name (the record is still handed out).
void copyUserSetName(USER_SET_ITEM& item, const std::string& key);

// One record per reply entry, in the map's (byte) order of keys, in a single
// malloc block handed out through *out; the caller frees it. Returns the
// count; 0 for an empty reply and -3 when the block cannot be had, in both
// cases without touching *out. `alloc` is malloc but for tests.
template <typename Value>
int toUserSetArray(const std::map<std::string, Value>& reply, USER_SET_ITEM** out, void* (*alloc)(size_t) = std::malloc)
{
    if (reply.empty()) return 0;
    if (reply.size() > static_cast<size_t>(INT32_MAX) || reply.size() > SIZE_MAX / sizeof(USER_SET_ITEM)) return -3;
    auto* items = static_cast<USER_SET_ITEM*>(alloc(reply.size() * sizeof(USER_SET_ITEM)));
    if (items == nullptr) return -3;
    *out = items;
    USER_SET_ITEM* item = items;
    for (const auto& entry : reply) {
        copyUserSetName(*item, entry.first);
        fillUserSetId(item->id, entry.second);
        ++item;
    }
    return static_cast<int>(reply.size());
}

}  // namespace client
}  // namespace vorx

#endif
