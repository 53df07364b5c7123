#ifndef LABELMGR_STANDIN_SERVICE_H
#define LABELMGR_STANDIN_SERVICE_H

#include <dbus/dbus.h>

namespace standin {

constexpr const char kServiceName[] = "com.tarne.vorx.labelmgr";
constexpr const char kObjectPath[] = "/org/freedesktop/DBus/tarne/vorx/labelmgr";
constexpr const char kInterface[] = "com.tarne.vorx.labelmgr";

// The stateful service: builds the answer to one method call of the
// label-manager interface (a method return or an error), or null when out of
// memory.
DBusMessage* serviceAnswer(DBusMessage* call);

// Starts the service with a user-set package id, "NAME=ID"; false when the
// text is not of that form.
bool seedPackage(const char* text);

}  // namespace standin

#endif
