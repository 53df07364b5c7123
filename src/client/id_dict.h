#ifndef VORX_CLIENT_ID_DICT_H
#define VORX_CLIENT_ID_DICT_H

#include <cstdint>
#include <map>
#include <string>

#include <vorxlabelmgr/labelmgr_client.h>

namespace vorx {
namespace client {

// A VORX_ID on the bus: "pkg_id", "file_id" and "path_id" to their values.
using IdDict = std::map<std::string, uint64_t>;

// All three entries, zeros included: the client always sends them all.
IdDict toIdDict(const VORX_ID& id);

// Stores the values of the three keys that `dict` holds in the fields of the
// same names; a field whose key is absent is not written. Other keys are
// ignored.
void readIdDict(const IdDict& dict, VORX_ID& id);

}  // namespace client
}  // namespace vorx

#endif
