#ifndef VORX_TEST_FRAME_RUN_H
#define VORX_TEST_FRAME_RUN_H

// For programs that link the static archive: drive the proxy directly inside
// the library's own call frame, as an exported function would.
#include <functional>
#include <sstream>
#include <string>

#include "client/call_frame.h"
#include "client/labelmgr_proxy.h"

namespace vorxtest {

// The frame's result (0, or its bus code -2); the frame's error text goes to
// `errors`.
inline int runInFrame(const std::function<void(LabelMgrClient&)>& body, std::string& errors)
{
    std::ostringstream err;
    int rc = vorx::client::callService(-2, err, [&](LabelMgrClient& c) {
        body(c);
        return 0;
    });
    errors = err.str();
    return rc;
}

}  // namespace vorxtest

#endif
