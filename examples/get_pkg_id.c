/* Prints the package id that the label-manager service keeps for each
 * package named on the command line.
 * Exit codes: 0 all found, 1 some package has no id, 2 usage, 3 the service
 * cannot be reached. */
#include <inttypes.h>
#include <stdio.h>

#include <vorxlabelmgr/labelmgr_client.h>

int main(int argc, char** argv)
{
    int status = 0;
    int i;

    if (argc < 2) {
        fprintf(stderr, "usage: %s PACKAGE...\n", argv[0]);
        return 2;
    }
    for (i = 1; i < argc; ++i) {
        uint64_t id = 0;
        int rc = getPkgId(argv[i], &id);
        if (rc == 0) {
            printf("%s %" PRIu64 "\n", argv[i], id);
        } else if (rc == -1) {
            fprintf(stderr, "%s: no package id\n", argv[i]);
            status = 1;
        } else {
            /* The library has written why on standard error. */
            fprintf(stderr, "%s: the label-manager service cannot be asked\n", argv[i]);
            return 3;
        }
    }
    return status;
}
