/* Compiled as C: the public header must be valid C, every C-linkage function
 * must have exactly the prototype a C caller is given, and a C caller walks a
 * user-set array by the 4120-byte stride with name at 0 and the ids at 4096. */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vorxlabelmgr/labelmgr_client.h>

#include "c_caller.h"

/* An incompatible prototype fails to compile here (-Werror). */
static int (*const c_proto_void[])(void) = {clearUserSetPkgId, clearFileOid,         clearFileSid,
                                            clearFileTid,      clearFileInheritFlag, getLabelSetStatus};
static int (*const c_proto_getPkgIds)(const char**, unsigned int, uint64_t*) = getPkgIds;
static int (*const c_proto_setPkgId)(const char*, uint64_t) = setPkgId;
static int (*const c_proto_queryPkg)(const char*, uint64_t*) = queryUserSetPkgId;
static int (*const c_proto_show[])(USER_SET_ITEM**) = {showUserSetPkgId, showUserSetFileOid, showUserSetFileSid,
                                                       showUserSetFileTid, showUserSetFileInheritFlag};
static int (*const c_proto_delPkg)(const char*) = delUserSetPkgId;
static int (*const c_proto_getId[])(const char*, VORX_ID*) = {getFileOid, getFileSid};
static int (*const c_proto_setId[])(const char*, VORX_ID, int) = {setFileOid, setFileSid};
static int (*const c_proto_query[])(const char*, USER_SET_ITEM**, int) = {
    queryUserSetFileOid, queryUserSetFileSid, queryUserSetFileTid, queryUserSetFileInheritFlag};
static int (*const c_proto_del[])(const char*, int) = {delFileOid, delFileSid, delFileTid, delFileInheritFlag};
static int (*const c_proto_getValue[])(const char*, uint32_t*) = {getFileTid, getFileInheritFlag};
static int (*const c_proto_setValue[])(const char*, uint32_t, int) = {setFileTid, setFileInheritFlag};
static int (*const c_proto_setLabel)(const char**, int, const char*) = setLabelForPkg;

int c_prototype_count(void)
{
    return (int)(sizeof c_proto_void / sizeof c_proto_void[0] + sizeof c_proto_show / sizeof c_proto_show[0] +
                 sizeof c_proto_getId / sizeof c_proto_getId[0] + sizeof c_proto_setId / sizeof c_proto_setId[0] +
                 sizeof c_proto_query / sizeof c_proto_query[0] + sizeof c_proto_del / sizeof c_proto_del[0] +
                 sizeof c_proto_getValue / sizeof c_proto_getValue[0] +
                 sizeof c_proto_setValue / sizeof c_proto_setValue[0]) +
           (c_proto_getPkgIds != 0) + (c_proto_setPkgId != 0) + (c_proto_queryPkg != 0) + (c_proto_delPkg != 0) +
           (c_proto_setLabel != 0);
}

static int c_walk(int n, USER_SET_ITEM* items, struct c_record* records, int max)
{
    const unsigned char* base = (const unsigned char*)items;
    int i;
    for (i = 0; i < n && i < max; ++i) {
        const unsigned char* rec = base + (size_t)i * 4120u;
        const unsigned char* nul = memchr(rec, '\0', 4096);
        size_t len = nul ? (size_t)(nul - rec) : 4096;
        records[i].name_len = len;
        memcpy(records[i].name, rec, len < sizeof records[i].name - 1 ? len : sizeof records[i].name - 1);
        records[i].name[len < sizeof records[i].name - 1 ? len : sizeof records[i].name - 1] = '\0';
        memcpy(&records[i].pkg_id, rec + 4096, 8);
        memcpy(&records[i].file_id, rec + 4104, 8);
        memcpy(&records[i].path_id, rec + 4112, 8);
    }
    free(items);
    return n;
}

int c_show(int which, struct c_record* records, int max, int* out_written)
{
    USER_SET_ITEM* items = (USER_SET_ITEM*)(uintptr_t)0x5a5a;
    int n = c_proto_show[which](&items);
    *out_written = items != (USER_SET_ITEM*)(uintptr_t)0x5a5a;
    if (n <= 0) return n;
    return c_walk(n, items, records, max);
}

int c_query(int which, const char* path, int option, struct c_record* records, int max, int* out_written)
{
    USER_SET_ITEM* items = (USER_SET_ITEM*)(uintptr_t)0x5a5a;
    int n = c_proto_query[which](path, &items, option);
    *out_written = items != (USER_SET_ITEM*)(uintptr_t)0x5a5a;
    if (n <= 0) return n;
    return c_walk(n, items, records, max);
}
