#include "peer.h"

namespace standin {

DBusMessage* serviceAnswer(DBusMessage* call) {
    return dbus_message_new_error(call, DBUS_ERROR_UNKNOWN_METHOD, "not served yet");
}

}  // namespace standin
