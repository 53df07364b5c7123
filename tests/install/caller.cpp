// A C++ caller of every installed header; calls that neither log nor need a
// bus or a publisher.
#include <vorxlabelmgr/cmd_file.h>
#include <vorxlabelmgr/file_label.h>
#include <vorxlabelmgr/label_context.h>
#include <vorxlabelmgr/label_notify.h>
#include <vorxlabelmgr/labelmgr_client.h>
#include <vorxlabelmgr/logger.h>
#include <vorxlabelmgr/path_utils.h>
#include <vorxlabelmgr/pattern.h>
#include <vorxlabelmgr/process_label.h>
#include <vorxlabelmgr/sm3.h>
#include <vorxlabelmgr/zmq_socket.h>

int main()
{
    context_t a{};
    context_t b{};
    uint64_t id = 0;
    bool ok = compareContext(a, b) && getPkgId(nullptr, &id) == -1 && getKmodNameHash("ext4", 4) != 0;
    return ok ? 0 : 1;
}
