#ifndef VORXLABELMGR_LABELMGR_CLIENT_H
#define VORXLABELMGR_LABELMGR_CLIENT_H

/*
 * Client of the label-manager service on the D-Bus system bus. Every function
 * makes one blocking call on a private connection of its own (time-out
 * 180000 ms); calls from several threads run side by side. Common codes: 0
 * success, -1 rejected argument or failure answer, -2 failed bus call (after
 * "DBus error occurred: <message>" on standard error), -3 failed allocation.
 * Arrays handed out are released with free(). No exception leaves a function.
 * Every line a function prints is written in one piece and no stream's format
 * state is read or changed.
 *
 * fork(): POSIX allows the child of a multi-threaded process only
 * async-signal-safe calls until it execs, and these functions are not. On
 * Linux with glibc, a child forked while no call of this library was in flight
 * in any thread can make calls as usual (libdbus used by other code of the
 * process is outside what the library can see). In a child forked while one
 * was, every function fails at once, before touching libdbus: the error line
 * "DBus error occurred: forked while another thread was in a D-Bus call: no
 * call before exec" and the function's bus-call code; so do the children of
 * that child. fork() itself never waits for a call. The option argument of
 * the file functions is passed to the service unchanged.
 *
 * Failed allocation, for every function below: when memory cannot be had in
 * the library (a user-set array, or anything the call builds), the function
 * returns -3, writes no line and hands out nothing; a function that returns a
 * string returns an empty one, addTagFullSystem just returns. Out-parameters
 * keep what was written before.
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

/* ---- package ids ---- */

/* 0 with the id in *pkgId; -1 on a null argument or an answer with every bit
 * set (still stored in *pkgId); -2 on a failed call, *pkgId untouched. */
VORX_EXPORT int getPkgId(const char* pkgName, uint64_t* pkgId);

/* Writes at most count ids to pkgIds, in the service's order; returns how many
 * (0 or more). -1 on a null argument; -2 on a failed call, pkgIds untouched. */
VORX_EXPORT int getPkgIds(const char** pkgNames, unsigned int count, uint64_t* pkgIds);

/* 0 when the service accepts; -1 on a null pkgName or any non-zero status; -2 on a failed call. */
VORX_EXPORT int setPkgId(const char* pkgName, uint64_t pkgId);

/* 0 with the user-set id in *pkgId (0 when the answer lists only other
 * packages); 1 when there is no entry, *pkgId untouched; -1 on a null
 * argument; -2 on a failed call. */
VORX_EXPORT int queryUserSetPkgId(const char* pkgName, uint64_t* pkgId);

/* Count of records (id.pkg_id filled) with *out set to a malloc'd array that
 * the caller free()s; 0 when there is none; -1 on a null out; -2 on a failed
 * call. *out is written only on a positive count. */
VORX_EXPORT int showUserSetPkgId(USER_SET_ITEM** out);

/* 0 when the service accepts; -1 on a null pkgName or any non-zero status; -2 on a failed call. */
VORX_EXPORT int delUserSetPkgId(const char* pkgName);

/* Removes every user-set package id. 0 on a zero status, -1 otherwise; -2 on a failed call. */
VORX_EXPORT int clearUserSetPkgId(void);

/* ---- object ids of files ---- */

/* 0 with the id in *oid; -1 on a null argument, or when all three values have
 * every bit set (*oid zeroed); -2 on a failed call (*oid zeroed once the
 * bus was reached; untouched when it could not be reached). */
VORX_EXPORT int getFileOid(const char* path, VORX_ID* oid);

/* option is passed on unchanged. 0 for any status but -1; -1 on a null path
 * or the status -1; -2 on a failed call. */
VORX_EXPORT int setFileOid(const char* path, VORX_ID oid, int option);

/* User-set entries for path: count of records with *out set to a malloc'd
 * array that the caller free()s; 0 when none; -1 on a null argument; -2 on a
 * failed call. */
VORX_EXPORT int queryUserSetFileOid(const char* path, USER_SET_ITEM** out, int option);

/* All user-set object ids; results as queryUserSetFileOid. */
VORX_EXPORT int showUserSetFileOid(USER_SET_ITEM** out);

/* 0 for any status but -1; -1 on a null path or the status -1; -2 on a failed call. */
VORX_EXPORT int delFileOid(const char* path, int option);

/* Removes every user-set object id. 0 for any status but -1; -1 on -1; -2 on a failed call. */
VORX_EXPORT int clearFileOid(void);

/* ---- subject ids of files: as their object-id twins ---- */

/* As getFileOid, for the subject id. */
VORX_EXPORT int getFileSid(const char* path, VORX_ID* sid);

/* As setFileOid, for the subject id. */
VORX_EXPORT int setFileSid(const char* path, VORX_ID sid, int option);

/* As queryUserSetFileOid, for subject ids; the caller free()s *out. */
VORX_EXPORT int queryUserSetFileSid(const char* path, USER_SET_ITEM** out, int option);

/* As showUserSetFileOid, for subject ids; the caller free()s *out. */
VORX_EXPORT int showUserSetFileSid(USER_SET_ITEM** out);

/* As delFileOid, for the subject id. */
VORX_EXPORT int delFileSid(const char* path, int option);

/* As clearFileOid, for subject ids. */
VORX_EXPORT int clearFileSid(void);

/* ---- tids of files ---- */

/* 0 with the tid in *tid; -1 on a null argument, or an answer of 0xFFFFFFFF
 * (still stored in *tid); -2 on a failed call, *tid untouched. */
VORX_EXPORT int getFileTid(const char* path, uint32_t* tid);

/* 0 for any status but -1; -1 on a null path, a tid of 0 or the status -1; -2 on a failed call. */
VORX_EXPORT int setFileTid(const char* path, uint32_t tid, int option);

/* Records with the tid in id.pkg_id; the caller free()s *out. Results as queryUserSetFileOid. */
VORX_EXPORT int queryUserSetFileTid(const char* path, USER_SET_ITEM** out, int option);

/* All user-set tids; results as queryUserSetFileTid. */
VORX_EXPORT int showUserSetFileTid(USER_SET_ITEM** out);

/* 0 for any status but -1; -1 on a null path or the status -1; -2 on a failed call. */
VORX_EXPORT int delFileTid(const char* path, int option);

/* Removes every user-set tid. 0 for any status but -1; -1 on -1; -2 on a failed call. */
VORX_EXPORT int clearFileTid(void);

/* ---- inheritance flags of files: as the tid functions, but a flag of 0 may be set ---- */

/* As getFileTid, for the inheritance flag. */
VORX_EXPORT int getFileInheritFlag(const char* path, uint32_t* flag);

/* 0 for any status but -1; -1 on a null path or the status -1; -2 on a failed call. */
VORX_EXPORT int setFileInheritFlag(const char* path, uint32_t flag, int option);

/* As queryUserSetFileTid, for inheritance flags; the caller free()s *out. */
VORX_EXPORT int queryUserSetFileInheritFlag(const char* path, USER_SET_ITEM** out, int option);

/* As showUserSetFileTid, for inheritance flags; the caller free()s *out. */
VORX_EXPORT int showUserSetFileInheritFlag(USER_SET_ITEM** out);

/* As delFileTid, for the inheritance flag. */
VORX_EXPORT int delFileInheritFlag(const char* path, int option);

/* As clearFileTid, for inheritance flags. */
VORX_EXPORT int clearFileInheritFlag(void);

/* ---- package labelling and label-setting status ---- */

/* Labels count files for pkgName. 0 for any status but -1; -1 on a null
 * argument or a count of 0 (a negative count sends no files); -2 on the
 * status -1; -3 on a failed call. */
VORX_EXPORT int setLabelForPkg(const char** files, int count, const char* pkgName);

/* The service's label-setting status as it comes; -1 also on a failed call
 * (told apart only by the error line on standard error). */
VORX_EXPORT int getLabelSetStatus(void);

#ifdef __cplusplus
}

static_assert(sizeof(VORX_ID) == 24, "VORX_ID is three packed 64-bit ids");
static_assert(sizeof(USER_SET_ITEM) == 4120, "USER_SET_ITEM is name[4096] then VORX_ID, no padding");
static_assert(offsetof(USER_SET_ITEM, id) == 4096, "id follows name directly");

#include <map>
#include <string>
#include <vector>

/* ---- C++ interface (overloadable names) ---- */

/* 0 with the id in *oid, after the line "<device>oid: <id in hex>" on standard
 * output (std::cout's format untouched); -1 on a null argument or
 * an answer with every bit set (stored in *oid, no line); -2 on a failed call,
 * *oid untouched. */
VORX_EXPORT int getDeviceOid(const char* device, unsigned long* oid);

/* As getDeviceOid, for a kernel module; its line is "<module> oid: <id in hex>". */
VORX_EXPORT int getKernelModuleOid(const char* module, unsigned long* oid);

/* Stores {id, 0, 0} in oids for every device the service answers, keeping
 * other entries; 0 after any answer; -1 on a failed call, oids untouched. */
VORX_EXPORT int getDeviceOids(std::vector<std::string> devices, std::map<std::string, VORX_ID>& oids);

/* As getDeviceOids, for kernel modules. */
VORX_EXPORT int getKernelModuleOids(std::vector<std::string> modules, std::map<std::string, VORX_ID>& oids);

/* Writes "<path> addTagFullSystem: <answer as unsigned 32-bit, in decimal>" to
 * standard output; on a failed call only the error line on standard error. */
VORX_EXPORT void addTagFullSystem(const char* path, std::vector<std::string> tags);

/* The service's SM3 hash text for path; empty on a failed call (after the error line). */
VORX_EXPORT std::string getPathSm3HashValue(const char* path);

/* The service's answer to restoring path's label; empty on a failed call. */
VORX_EXPORT std::string restoreSingleFileLabel(const std::string& path);

/* The service's answer to restoring path's initial label; empty on a failed call. */
VORX_EXPORT std::string restoreSingleFileInitLabel(const std::string& path);

/* Appends the service's answer to ids, by category and name; never removes
 * anything. 0 after any answer; -1 on a failed call, after the error line on
 * standard output, ids untouched. */
VORX_EXPORT int policies_parse(const std::map<std::string, std::vector<std::string>>& policies,
                               std::map<std::string, std::map<std::string, std::vector<VORX_ID>>>& ids);
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
_Static_assert(sizeof(USER_SET_ITEM) == 4120, "USER_SET_ITEM is name[4096] then VORX_ID, no padding");
#endif

#endif
