/* Sets, reads, lists and removes user-set object ids of files.
 *   file-oid set PATH PKG_ID FILE_ID PATH_ID | get PATH | show | del PATH
 * Exit codes: 0 done, 1 the service refused or has no entry, 2 usage, 3 the
 * service cannot be reached. */
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vorxlabelmgr/labelmgr_client.h>

static int usage(const char* prog)
{
    fprintf(stderr, "usage: %s set PATH PKG_ID FILE_ID PATH_ID | get PATH | show | del PATH\n", prog);
    return 2;
}

/* -2 is the bus code: the library has written why on standard error. */
static int exitCode(int rc)
{
    return rc == -2 ? 3 : rc < 0 ? 1 : 0;
}

int main(int argc, char** argv)
{
    if (argc == 6 && strcmp(argv[1], "set") == 0) {
        VORX_ID id = {strtoull(argv[3], NULL, 0), strtoull(argv[4], NULL, 0), strtoull(argv[5], NULL, 0)};
        return exitCode(setFileOid(argv[2], id, 0));
    }
    if (argc == 3 && strcmp(argv[1], "get") == 0) {
        VORX_ID id;
        int rc = getFileOid(argv[2], &id);
        if (rc == 0)
            printf("%s pkg_id=%" PRIu64 " file_id=%" PRIu64 " path_id=%" PRIu64 "\n", argv[2], id.pkg_id, id.file_id,
                   id.path_id);
        else if (rc == -1)
            fprintf(stderr, "%s: no object id\n", argv[2]);
        return exitCode(rc);
    }
    if (argc == 2 && strcmp(argv[1], "show") == 0) {
        USER_SET_ITEM* items = NULL;
        int n = showUserSetFileOid(&items);
        for (int i = 0; i < n; ++i)
            printf("%s pkg_id=%" PRIu64 " file_id=%" PRIu64 " path_id=%" PRIu64 "\n", items[i].name, items[i].id.pkg_id,
                   items[i].id.file_id, items[i].id.path_id);
        if (n > 0) free(items);
        return exitCode(n);
    }
    if (argc == 3 && strcmp(argv[1], "del") == 0) return exitCode(delFileOid(argv[2], 0));
    return usage(argv[0]);
}
