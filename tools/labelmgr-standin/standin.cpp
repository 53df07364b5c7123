// The stand-in service: user-set entries kept in memory for the life of the
// process, answers by the rules the client relies on (all-ones for an
// unknown id, an empty dictionary for a query without entries, -1 or a
// non-zero status for a failed change).
#include <openssl/evp.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "standin_service.h"

namespace standin {

namespace {

using IdDict = std::map<std::string, uint64_t>;

constexpr uint64_t kNoId = UINT64_MAX;
constexpr uint32_t kNoValue = UINT32_MAX;

struct State {
    std::map<std::string, uint64_t> pkgIds;
    std::map<std::string, IdDict> fileOids;
    std::map<std::string, IdDict> fileSids;
    std::map<std::string, uint32_t> fileTids;
    std::map<std::string, uint32_t> inheritFlags;
    std::map<std::string, std::string> fileLabels;  // path to package
    std::map<std::string, std::vector<std::string>> tags;
};

State& state()
{
    static State s;
    return s;
}

// A stable id for names the service derives rather than stores (devices,
// kernel modules, policy entries): FNV-1a, never all-ones.
uint64_t derivedId(const std::string& text)
{
    uint64_t h = 14695981039346656037ull;
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h == kNoId ? h - 1 : h;
}

// Reading the call's arguments by signature.
class Args {
public:
    explicit Args(DBusMessage* msg) { valid_ = dbus_message_iter_init(msg, &it_); }

    bool str(std::string* out)
    {
        if (!at(DBUS_TYPE_STRING)) return false;
        const char* s = nullptr;
        dbus_message_iter_get_basic(&it_, &s);
        *out = s;
        next();
        return true;
    }
    template <class T>
    bool basic(int type, T* out)
    {
        if (!at(type)) return false;
        dbus_message_iter_get_basic(&it_, out);
        next();
        return true;
    }
    bool strings(std::vector<std::string>* out)
    {
        if (!at(DBUS_TYPE_ARRAY) || dbus_message_iter_get_element_type(&it_) != DBUS_TYPE_STRING) return false;
        DBusMessageIter sub;
        dbus_message_iter_recurse(&it_, &sub);
        while (dbus_message_iter_get_arg_type(&sub) == DBUS_TYPE_STRING) {
            const char* s = nullptr;
            dbus_message_iter_get_basic(&sub, &s);
            out->push_back(s);
            dbus_message_iter_next(&sub);
        }
        next();
        return true;
    }
    bool idDict(IdDict* out)
    {
        if (!at(DBUS_TYPE_ARRAY)) return false;
        DBusMessageIter sub;
        dbus_message_iter_recurse(&it_, &sub);
        while (dbus_message_iter_get_arg_type(&sub) == DBUS_TYPE_DICT_ENTRY) {
            DBusMessageIter e;
            dbus_message_iter_recurse(&sub, &e);
            const char* k = nullptr;
            dbus_uint64_t v = 0;
            if (dbus_message_iter_get_arg_type(&e) != DBUS_TYPE_STRING) return false;
            dbus_message_iter_get_basic(&e, &k);
            dbus_message_iter_next(&e);
            if (dbus_message_iter_get_arg_type(&e) != DBUS_TYPE_UINT64) return false;
            dbus_message_iter_get_basic(&e, &v);
            (*out)[k] = v;
            dbus_message_iter_next(&sub);
        }
        next();
        return true;
    }
    bool policies(std::map<std::string, std::vector<std::string>>* out)
    {
        if (!at(DBUS_TYPE_ARRAY)) return false;
        DBusMessageIter sub;
        dbus_message_iter_recurse(&it_, &sub);
        while (dbus_message_iter_get_arg_type(&sub) == DBUS_TYPE_DICT_ENTRY) {
            DBusMessageIter e;
            dbus_message_iter_recurse(&sub, &e);
            const char* k = nullptr;
            if (dbus_message_iter_get_arg_type(&e) != DBUS_TYPE_STRING) return false;
            dbus_message_iter_get_basic(&e, &k);
            dbus_message_iter_next(&e);
            std::vector<std::string>& list = (*out)[k];
            if (dbus_message_iter_get_arg_type(&e) != DBUS_TYPE_ARRAY) return false;
            DBusMessageIter l;
            dbus_message_iter_recurse(&e, &l);
            while (dbus_message_iter_get_arg_type(&l) == DBUS_TYPE_STRING) {
                const char* s = nullptr;
                dbus_message_iter_get_basic(&l, &s);
                list.push_back(s);
                dbus_message_iter_next(&l);
            }
            dbus_message_iter_next(&sub);
        }
        next();
        return true;
    }

private:
    bool at(int type) { return valid_ && dbus_message_iter_get_arg_type(&it_) == type; }
    void next() { valid_ = dbus_message_iter_next(&it_); }

    DBusMessageIter it_;
    bool valid_ = false;
};

// Writing the answer.
class Reply {
public:
    explicit Reply(DBusMessage* call) : msg_(dbus_message_new_method_return(call))
    {
        if (msg_) dbus_message_iter_init_append(msg_, &it_);
    }
    DBusMessage* take()
    {
        if (!ok_ && msg_) {
            dbus_message_unref(msg_);
            msg_ = nullptr;
        }
        return msg_;
    }
    Reply& i32(int32_t v) { return basic(&it_, DBUS_TYPE_INT32, &v); }
    Reply& u32(uint32_t v) { return basic(&it_, DBUS_TYPE_UINT32, &v); }
    Reply& u64(uint64_t v) { return basic(&it_, DBUS_TYPE_UINT64, &v); }
    Reply& str(const std::string& s)
    {
        const char* p = s.c_str();
        return basic(&it_, DBUS_TYPE_STRING, &p);
    }
    Reply& u64s(const std::vector<uint64_t>& v)
    {
        DBusMessageIter a;
        if (!open(&it_, DBUS_TYPE_ARRAY, "t", &a)) return *this;
        for (uint64_t x : v) basic(&a, DBUS_TYPE_UINT64, &x);
        close(&it_, &a);
        return *this;
    }
    Reply& idDict(const IdDict& d)
    {
        idDictInto(&it_, d);
        return *this;
    }
    Reply& ids(const std::map<std::string, uint64_t>& d) { return idDict(d); }
    Reply& u32Dict(const std::map<std::string, uint32_t>& d)
    {
        DBusMessageIter a;
        if (!open(&it_, DBUS_TYPE_ARRAY, "{su}", &a)) return *this;
        for (const auto& kv : d) {
            DBusMessageIter e;
            if (!open(&a, DBUS_TYPE_DICT_ENTRY, nullptr, &e)) break;
            const char* k = kv.first.c_str();
            basic(&e, DBUS_TYPE_STRING, &k);
            basic(&e, DBUS_TYPE_UINT32, &kv.second);
            close(&a, &e);
        }
        close(&it_, &a);
        return *this;
    }
    // A user-set listing in the form of its family's table.
    Reply& listing(const std::map<std::string, uint32_t>& d) { return u32Dict(d); }
    Reply& listing(const std::map<std::string, IdDict>& d) { return pathIds(d); }
    Reply& pathIds(const std::map<std::string, IdDict>& d)
    {
        DBusMessageIter a;
        if (!open(&it_, DBUS_TYPE_ARRAY, "{sa{st}}", &a)) return *this;
        for (const auto& kv : d) {
            DBusMessageIter e;
            if (!open(&a, DBUS_TYPE_DICT_ENTRY, nullptr, &e)) break;
            const char* k = kv.first.c_str();
            basic(&e, DBUS_TYPE_STRING, &k);
            idDictInto(&e, kv.second);
            close(&a, &e);
        }
        close(&it_, &a);
        return *this;
    }
    Reply& policyIds(const std::map<std::string, std::map<std::string, IdDict>>& d)
    {
        DBusMessageIter a;
        if (!open(&it_, DBUS_TYPE_ARRAY, "{sa{sa{st}}}", &a)) return *this;
        for (const auto& cat : d) {
            DBusMessageIter e, names;
            if (!open(&a, DBUS_TYPE_DICT_ENTRY, nullptr, &e)) break;
            const char* k = cat.first.c_str();
            basic(&e, DBUS_TYPE_STRING, &k);
            if (open(&e, DBUS_TYPE_ARRAY, "{sa{st}}", &names)) {
                for (const auto& n : cat.second) {
                    DBusMessageIter ne;
                    if (!open(&names, DBUS_TYPE_DICT_ENTRY, nullptr, &ne)) break;
                    const char* nk = n.first.c_str();
                    basic(&ne, DBUS_TYPE_STRING, &nk);
                    idDictInto(&ne, n.second);
                    close(&names, &ne);
                }
                close(&e, &names);
            }
            close(&a, &e);
        }
        close(&it_, &a);
        return *this;
    }

private:
    void idDictInto(DBusMessageIter* parent, const IdDict& d)
    {
        DBusMessageIter a;
        if (!open(parent, DBUS_TYPE_ARRAY, "{st}", &a)) return;
        for (const auto& kv : d) {
            DBusMessageIter e;
            if (!open(&a, DBUS_TYPE_DICT_ENTRY, nullptr, &e)) break;
            const char* k = kv.first.c_str();
            basic(&e, DBUS_TYPE_STRING, &k);
            basic(&e, DBUS_TYPE_UINT64, &kv.second);
            close(&a, &e);
        }
        close(parent, &a);
    }
    Reply& basic(DBusMessageIter* it, int type, const void* v)
    {
        if (ok_ && msg_ && !dbus_message_iter_append_basic(it, type, v)) ok_ = false;
        return *this;
    }
    bool open(DBusMessageIter* it, int type, const char* sig, DBusMessageIter* sub)
    {
        if (!ok_ || !msg_ || !dbus_message_iter_open_container(it, type, sig, sub)) {
            ok_ = false;
            return false;
        }
        return true;
    }
    void close(DBusMessageIter* it, DBusMessageIter* sub)
    {
        if (!dbus_message_iter_close_container(it, sub)) ok_ = false;
    }

    DBusMessage* msg_;
    DBusMessageIter it_;
    bool ok_ = true;
};

// `option` 0 means the path alone; any other value also reaches the entries
// below it, as a recursive request.
bool covers(const std::string& path, int32_t option, const std::string& entry)
{
    if (entry == path) return true;
    if (option == 0) return false;
    std::string prefix = path.empty() || path.back() == '/' ? path : path + "/";
    return entry.compare(0, prefix.size(), prefix) == 0;
}

template <class V>
std::map<std::string, V> query(const std::map<std::string, V>& table, const std::string& path, int32_t option)
{
    std::map<std::string, V> out;
    for (const auto& kv : table)
        if (covers(path, option, kv.first)) out.insert(kv);
    return out;
}

template <class V>
int32_t erase(std::map<std::string, V>& table, const std::string& path, int32_t option)
{
    int32_t removed = 0;
    for (auto it = table.begin(); it != table.end();) {
        if (covers(path, option, it->first)) {
            it = table.erase(it);
            ++removed;
        } else {
            ++it;
        }
    }
    return removed > 0 ? 0 : -1;
}

IdDict wholeId(const IdDict& given)
{
    IdDict out;
    for (const char* key : {"pkg_id", "file_id", "path_id"}) {
        auto it = given.find(key);
        out[key] = it == given.end() ? 0 : it->second;
    }
    return out;
}

const IdDict& noIdDict()
{
    static const IdDict d = {{"file_id", kNoId}, {"path_id", kNoId}, {"pkg_id", kNoId}};
    return d;
}

std::string sm3Hex(const std::string& text)
{
    const EVP_MD* md = EVP_get_digestbyname("SM3");
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    EVP_MD_CTX* ctx = md ? EVP_MD_CTX_new() : nullptr;
    bool ok = ctx && EVP_DigestInit_ex(ctx, md, nullptr) == 1 && EVP_DigestUpdate(ctx, text.data(), text.size()) == 1 &&
              EVP_DigestFinal_ex(ctx, digest, &len) == 1;
    EVP_MD_CTX_free(ctx);
    if (!ok) return "";
    std::string out;
    char buf[3];
    for (unsigned int i = 0; i < len; ++i) {
        std::snprintf(buf, sizeof buf, "%02x", digest[i]);
        out += buf;
    }
    return out;
}

DBusMessage* badArgs(DBusMessage* call, const char* expected)
{
    std::string text = std::string("expected arguments of signature \"") + expected + "\"";
    return dbus_message_new_error(call, DBUS_ERROR_INVALID_ARGS, text.c_str());
}

// One member's answer, built from the call and a reader of its arguments.
using Answer = DBusMessage* (*)(DBusMessage* call, Args& a);

// The (si) arguments of the file families' query and remove members.
bool pathAndOption(Args& a, std::string* path, int32_t* option)
{
    return a.str(path) && a.basic(DBUS_TYPE_INT32, option);
}

// The four file families share everything but their tables, named here by
// their place in `State`.
template <auto Table>
DBusMessage* userSetQuery(DBusMessage* call, Args& a)
{
    std::string path;
    int32_t option = 0;
    if (!pathAndOption(a, &path, &option)) return badArgs(call, "si");
    return Reply(call).listing(query(state().*Table, path, option)).take();
}

template <auto Table>
DBusMessage* userSetShow(DBusMessage* call, Args&)
{
    return Reply(call).listing(state().*Table).take();
}

template <auto Table>
DBusMessage* userSetDel(DBusMessage* call, Args& a)
{
    std::string path;
    int32_t option = 0;
    if (!pathAndOption(a, &path, &option)) return badArgs(call, "si");
    return Reply(call).i32(erase(state().*Table, path, option)).take();
}

template <auto Table>
DBusMessage* userSetClear(DBusMessage* call, Args&)
{
    (state().*Table).clear();
    return Reply(call).i32(0).take();
}

template <auto Table>
DBusMessage* idGet(DBusMessage* call, Args& a)
{
    std::string path;
    if (!a.str(&path)) return badArgs(call, "s");
    const auto& table = state().*Table;
    auto it = table.find(path);
    return Reply(call).idDict(it == table.end() ? noIdDict() : it->second).take();
}

template <auto Table>
DBusMessage* idSet(DBusMessage* call, Args& a)
{
    std::string path;
    IdDict id;
    int32_t option = 0;
    if (!a.str(&path) || !a.idDict(&id) || !a.basic(DBUS_TYPE_INT32, &option)) return badArgs(call, "sa{st}i");
    (state().*Table)[path] = wholeId(id);
    return Reply(call).i32(0).take();
}

template <auto Table>
DBusMessage* valueGet(DBusMessage* call, Args& a)
{
    std::string path;
    if (!a.str(&path)) return badArgs(call, "s");
    const auto& table = state().*Table;
    auto it = table.find(path);
    return Reply(call).u32(it == table.end() ? kNoValue : it->second).take();
}

template <auto Table>
DBusMessage* valueSet(DBusMessage* call, Args& a)
{
    std::string path;
    uint32_t v = 0;
    int32_t option = 0;
    if (!a.str(&path) || !a.basic(DBUS_TYPE_UINT32, &v) || !a.basic(DBUS_TYPE_INT32, &option))
        return badArgs(call, "sui");
    (state().*Table)[path] = v;
    return Reply(call).i32(0).take();
}

DBusMessage* getPkgId(DBusMessage* call, Args& a)
{
    std::string name;
    if (!a.str(&name)) return badArgs(call, "s");
    auto it = state().pkgIds.find(name);
    return Reply(call).u64(it == state().pkgIds.end() ? kNoId : it->second).take();
}

DBusMessage* getPkgIds(DBusMessage* call, Args& a)
{
    std::vector<std::string> names;
    if (!a.strings(&names)) return badArgs(call, "as");
    std::vector<uint64_t> ids;
    int32_t unknown = 0;
    for (const std::string& n : names) {
        auto it = state().pkgIds.find(n);
        ids.push_back(it == state().pkgIds.end() ? kNoId : it->second);
        if (it == state().pkgIds.end()) ++unknown;
    }
    return Reply(call).u64s(ids).i32(unknown == 0 ? 0 : -1).take();
}

DBusMessage* setPkgId(DBusMessage* call, Args& a)
{
    std::string name;
    uint64_t id = 0;
    if (!a.str(&name) || !a.basic(DBUS_TYPE_UINT64, &id)) return badArgs(call, "st");
    if (name.empty()) return Reply(call).i32(-1).take();
    state().pkgIds[name] = id;
    return Reply(call).i32(0).take();
}

DBusMessage* queryUserSetPkgId(DBusMessage* call, Args& a)
{
    std::string name;
    if (!a.str(&name)) return badArgs(call, "s");
    std::map<std::string, uint64_t> out;
    auto it = state().pkgIds.find(name);
    if (it != state().pkgIds.end()) out.insert(*it);
    return Reply(call).ids(out).take();
}

DBusMessage* showUserSetPkgId(DBusMessage* call, Args&)
{
    return Reply(call).ids(state().pkgIds).take();
}

DBusMessage* delUserSetPkgId(DBusMessage* call, Args& a)
{
    std::string name;
    if (!a.str(&name)) return badArgs(call, "s");
    return Reply(call).i32(state().pkgIds.erase(name) == 1 ? 0 : 1).take();
}

DBusMessage* delAllUserSetPkgId(DBusMessage* call, Args&)
{
    state().pkgIds.clear();
    return Reply(call).i32(0).take();
}

DBusMessage* setLabelForPkg(DBusMessage* call, Args& a)
{
    std::vector<std::string> files;
    std::string name;
    if (!a.strings(&files) || !a.str(&name)) return badArgs(call, "ass");
    if (state().pkgIds.find(name) == state().pkgIds.end()) return Reply(call).i32(-1).take();
    for (const std::string& f : files) state().fileLabels[f] = name;
    return Reply(call).i32(0).take();
}

// Devices and kernel modules have ids derived from the single member's name
// and theirs, the same through either member.
constexpr char kKernelModuleOid[] = "getKernelModuleOid";
constexpr char kDeviceOid[] = "getDeviceOid";

template <const char* Single>
DBusMessage* objectId(DBusMessage* call, Args& a)
{
    std::string name;
    if (!a.str(&name)) return badArgs(call, "s");
    return Reply(call).u64(name.empty() ? kNoId : derivedId(std::string(Single) + ":" + name)).take();
}

template <const char* Single>
DBusMessage* objectIds(DBusMessage* call, Args& a)
{
    std::vector<std::string> names;
    if (!a.strings(&names)) return badArgs(call, "as");
    std::map<std::string, uint64_t> out;
    for (const std::string& n : names)
        if (!n.empty()) out[n] = derivedId(std::string(Single) + ":" + n);
    return Reply(call).ids(out).take();
}

DBusMessage* addTagFullSystem(DBusMessage* call, Args& a)
{
    std::string name;
    std::vector<std::string> tags;
    if (!a.str(&name) || !a.strings(&tags)) return badArgs(call, "sas");
    if (name.empty()) return Reply(call).i32(-1).take();
    state().tags[name] = tags;
    return Reply(call).i32(0).take();
}

DBusMessage* getPathSm3HashValue(DBusMessage* call, Args& a)
{
    std::string name;
    if (!a.str(&name)) return badArgs(call, "s");
    return Reply(call).str(sm3Hex(name)).take();
}

DBusMessage* policiesParse(DBusMessage* call, Args& a)
{
    std::map<std::string, std::vector<std::string>> policies;
    if (!a.policies(&policies)) return badArgs(call, "a{sas}");
    std::map<std::string, std::map<std::string, IdDict>> out;
    for (const auto& cat : policies) {
        std::map<std::string, IdDict>& names = out[cat.first];
        for (const std::string& n : cat.second) {
            std::string key = cat.first + ":" + n;
            names[n] = {{"file_id", derivedId("file:" + key)},
                        {"path_id", derivedId("path:" + key)},
                        {"pkg_id", derivedId("pkg:" + key)}};
        }
    }
    return Reply(call).policyIds(out).take();
}

template <bool Init>
DBusMessage* restoreLabel(DBusMessage* call, Args& a)
{
    std::string name;
    if (!a.str(&name)) return badArgs(call, "s");
    if (name.empty()) return Reply(call).str("").take();
    return Reply(call).str((Init ? "restored the initial label of " : "restored the label of ") + name).take();
}

DBusMessage* getLabelSetStatus(DBusMessage* call, Args&)
{
    return Reply(call).i32(0).take();
}

struct Member {
    const char* name;
    Answer answer;
};

// The interface, member by member, in the order of its description.
constexpr Member kMembers[] = {
    {"getPkgId", getPkgId},
    {"getPkgIds", getPkgIds},
    {"setPkgId", setPkgId},
    {"queryUserSetPkgId", queryUserSetPkgId},
    {"showUserSetPkgId", showUserSetPkgId},
    {"delUserSetPkgId", delUserSetPkgId},
    {"delAllUserSetPkgId", delAllUserSetPkgId},

    {"getFileOid", idGet<&State::fileOids>},
    {"setFileOid", idSet<&State::fileOids>},
    {"queryUserSetFileOid", userSetQuery<&State::fileOids>},
    {"showUserSetFileOid", userSetShow<&State::fileOids>},
    {"delUserSetFileOid", userSetDel<&State::fileOids>},
    {"delAllUserSetFileOid", userSetClear<&State::fileOids>},

    {"getFileSid", idGet<&State::fileSids>},
    {"setFileSid", idSet<&State::fileSids>},
    {"queryUserSetFileSid", userSetQuery<&State::fileSids>},
    {"showUserSetFileSid", userSetShow<&State::fileSids>},
    {"delUserSetFileSid", userSetDel<&State::fileSids>},
    {"delAllUserSetFileSid", userSetClear<&State::fileSids>},

    {"getFileTid", valueGet<&State::fileTids>},
    {"setFileTid", valueSet<&State::fileTids>},
    {"queryUserSetFileTid", userSetQuery<&State::fileTids>},
    {"showUserSetFileTid", userSetShow<&State::fileTids>},
    {"delUserSetFileTid", userSetDel<&State::fileTids>},
    {"delAllUserSetFileTid", userSetClear<&State::fileTids>},

    {"getFileInheritFlag", valueGet<&State::inheritFlags>},
    {"setFileInheritFlag", valueSet<&State::inheritFlags>},
    {"queryUserSetFileInheritFlag", userSetQuery<&State::inheritFlags>},
    {"showUserSetFileInheritFlag", userSetShow<&State::inheritFlags>},
    {"delUserSetFileInheritFlag", userSetDel<&State::inheritFlags>},
    {"delAllUserSetFileInheritFlag", userSetClear<&State::inheritFlags>},

    {"setLabelForPkg", setLabelForPkg},
    {"getKernelModuleOid", objectId<kKernelModuleOid>},
    {"getKernelModuleOids", objectIds<kKernelModuleOid>},
    {"getDeviceOid", objectId<kDeviceOid>},
    {"getDeviceOids", objectIds<kDeviceOid>},
    {"addTagFullSystem", addTagFullSystem},
    {"getPathSm3HashValue", getPathSm3HashValue},
    {"policies_parse", policiesParse},
    {"restoreSingleFileLabel", restoreLabel<false>},
    {"restoreSingleFileInitLabel", restoreLabel<true>},
    {"getLabelSetStatus", getLabelSetStatus},
};

constexpr bool sameName(const char* a, const char* b)
{
    while (*a && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

constexpr bool namesDistinct()
{
    for (size_t i = 0; i < std::size(kMembers); ++i)
        for (size_t j = i + 1; j < std::size(kMembers); ++j)
            if (sameName(kMembers[i].name, kMembers[j].name)) return false;
    return true;
}

// A member left out, or one answered twice, shows here; the stand-in's tests
// call every member of the interface by its signature.
static_assert(std::size(kMembers) == 42, "the interface has 42 members");
static_assert(namesDistinct(), "each member is answered once");

}  // namespace

bool seedPackage(const char* text)
{
    std::string t = text;
    size_t eq = t.rfind('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == t.size()) return false;
    char* end = nullptr;
    unsigned long long id = std::strtoull(t.c_str() + eq + 1, &end, 0);
    if (*end != '\0') return false;
    state().pkgIds[t.substr(0, eq)] = id;
    return true;
}

DBusMessage* serviceAnswer(DBusMessage* call)
{
    const std::string member = dbus_message_get_member(call) ? dbus_message_get_member(call) : "";
    for (const Member& m : kMembers) {
        if (member == m.name) {
            Args a(call);
            return m.answer(call, a);
        }
    }
    std::string text = "no method " + member + " in interface com.tarne.vorx.labelmgr";
    return dbus_message_new_error(call, DBUS_ERROR_UNKNOWN_METHOD, text.c_str());
}

}  // namespace standin
