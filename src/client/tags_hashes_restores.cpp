// System-wide tags, path hashes and label restores: the answer is passed on as
// it comes.
#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

#include <vorxlabelmgr/labelmgr_client.h>

#include "client/call_frame.h"
#include "client/labelmgr_proxy.h"

using vorx::client::callService;

namespace {

using Proxy = com::tarne::vorx::labelmgr_proxy;

// The path is made a string inside the call, so that even a null C string
// ends as a failed call rather than an exception.
template <typename Path>
std::string askForText(decltype(&Proxy::getPathSm3HashValue) member, const Path& path)
{
    std::string text;
    callService(-2, std::cerr, [&](LabelMgrClient& client) {
        text = (client.*member)(std::string(path));
        return 0;
    });
    return text;
}

}  // namespace

VORX_EXPORT void addTagFullSystem(const char* path, std::vector<std::string> tags)
{
    int32_t answer = 0;
    int rc = callService(-2, std::cerr, [&](LabelMgrClient& client) {
        answer = client.addTagFullSystem(std::string(path), tags);
        return 0;
    });
    if (rc != 0) return;
    vorx::client::writeLine(std::cout,
                            {path, " addTagFullSystem: ", vorx::client::decimalText(static_cast<uint32_t>(answer))});
}

VORX_EXPORT std::string getPathSm3HashValue(const char* path)
{
    return askForText(&Proxy::getPathSm3HashValue, path);
}

VORX_EXPORT std::string restoreSingleFileLabel(const std::string& path)
{
    return askForText(&Proxy::restoreSingleFileLabel, path);
}

VORX_EXPORT std::string restoreSingleFileInitLabel(const std::string& path)
{
    return askForText(&Proxy::restoreSingleFileInitLabel, path);
}
