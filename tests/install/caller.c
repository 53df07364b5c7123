/* A C caller of the installed client header: a refused argument needs no bus. */
#include <vorxlabelmgr/labelmgr_client.h>

int main(void)
{
    uint64_t id = 0;
    return getPkgId(NULL, &id) == -1 ? 0 : 1;
}
