#ifndef VORX_TEST_C_CALLER_H
#define VORX_TEST_C_CALLER_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* One record as the C caller read it out of the array. */
struct c_record {
    char name[256];
    size_t name_len;
    uint64_t pkg_id;
    uint64_t file_id;
    uint64_t path_id;
};

/* The C-linkage functions whose prototypes c_caller.c checks. */
int c_prototype_count(void);

/* which: 0 package ids, 1 object ids, 2 subject ids, 3 tids, 4 inheritance
 * flags. Returns the function's result; on a positive count the records are
 * copied (at most max) and the array freed. *out_written tells whether the
 * function wrote the out-pointer. */
int c_show(int which, struct c_record* records, int max, int* out_written);
/* which: 0 object ids, 1 subject ids, 2 tids, 3 inheritance flags. */
int c_query(int which, const char* path, int option, struct c_record* records, int max, int* out_written);

#ifdef __cplusplus
}
#endif

#endif
