#ifndef VORXLABELMGR_FILE_LABEL_H
#define VORXLABELMGR_FILE_LABEL_H

#ifndef __cplusplus
#error "<vorxlabelmgr/file_label.h> declares C++ functions and types: include it from C++"
#endif

#include <vorxlabelmgr/export.h>
#include <vorxlabelmgr/label_context.h>

/*
 * File labels live in the extended attribute "security.vorx" as the label
 * text of <vorxlabelmgr/label_context.h>.
 *
 * fileType selects the attribute call:
 *   1       follow symbolic links (getxattr / setxattr);
 *   3       the symbolic link's own attribute (lgetxattr / lsetxattr);
 *   0, 2    refused by the readers; the writer uses lsetxattr;
 *   < 0     writer only (the readers' type is unsigned): lsetxattr;
 *   > 3     refused by all four.
 * Failures are logged through Logger; all four return 0 or -1.
 */

/*
 * Reads and parses the label of path into ctx. 0 on success; -1 on a null
 * path, a refused fileType, a failed read (missing attribute, missing path,
 * a value of 1024 bytes or more: logged at debug) or a value that is no label
 * text (ctx then holds what the parser stored before it failed).
 */
VORX_EXPORT int getFileLabelFromXattr(const char* path, context_t& ctx, unsigned int fileType);

/* Writes the 170-byte label text of ctx to path (creating or replacing). 0 or -1. */
VORX_EXPORT int setFileLabelToXattr(const char* path, const context_t& ctx, int fileType);

/* The sid of the label of path into id. 0 or -1; on -1 id is untouched. */
VORX_EXPORT int getFileSidFromXattr(const char* path, vorx_id_t& id, unsigned int fileType);

/*
 * The creator_oid of the label of path into id. 0 or -1; on -1 id is
 * untouched. A label that cannot be read is logged at debug, not error.
 */
VORX_EXPORT int getFileCreateOidFromXattr(const char* path, vorx_id_t& id, unsigned int fileType);

#endif
