#ifndef VORXLABELMGR_LABELMGR_CLIENT_H
#define VORXLABELMGR_LABELMGR_CLIENT_H

/*
 * Client of the label-manager service on the D-Bus system bus. Every function
 * makes one blocking call on a private connection of its own (time-out
 * 180000 ms). Common codes: 0 success, -1 rejected argument or failure answer,
 * -2 failed bus call (after "DBus error occurred: <message>" on standard
 * error), -3 failed allocation. Arrays handed out are released with free().
 */

#include <stddef.h>
#include <stdint.h>

#include <vorxlabelmgr/export.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct VORX_ID {
    uint64_t pkg_id;
    uint64_t file_id;
    uint64_t path_id;
} VORX_ID;

typedef struct USER_SET_ITEM {
    char name[4096];
    VORX_ID id;
} USER_SET_ITEM;

/* -1 on a null argument or an answer with every bit set (still stored in
 * *pkgId); -2 on a failed call, *pkgId untouched. */
VORX_EXPORT int getPkgId(const char* pkgName, uint64_t* pkgId);

#ifdef __cplusplus
}

static_assert(sizeof(VORX_ID) == 24, "VORX_ID is three packed 64-bit ids");
static_assert(sizeof(USER_SET_ITEM) == 4120, "USER_SET_ITEM is name[4096] then VORX_ID, no padding");
static_assert(offsetof(USER_SET_ITEM, id) == 4096, "id follows name directly");
#else
_Static_assert(sizeof(USER_SET_ITEM) == 4120, "USER_SET_ITEM is name[4096] then VORX_ID, no padding");
#endif

#endif
