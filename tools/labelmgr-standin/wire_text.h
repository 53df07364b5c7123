#ifndef LABELMGR_STANDIN_WIRE_TEXT_H
#define LABELMGR_STANDIN_WIRE_TEXT_H

// A one-line text form of D-Bus values, used to script the test peer's
// answers and to report what it received:
//   integers in decimal (or 0x hex on input), true/false, doubles,
//   "strings" with \\ \" \n \t \xHH escapes,
//   arrays [v, v], dictionaries {k: v, k: v} (entries kept in wire order,
//   repeats allowed), structs (v, v), variants <sig v>.
// Several top-level values are separated by ", ".

#include <dbus/dbus.h>

#include <string>

namespace standin {

// Text of every argument from `iter` to the end of its level.
std::string printArgs(DBusMessageIter* iter);

// Appends `text` to `msg` as arguments of signature `sig`. Returns false and
// sets `why` when the text does not fit the signature.
bool appendArgs(DBusMessage* msg, const std::string& sig, const std::string& text, std::string* why);

// Quotes `s` in the form above.
std::string quote(const std::string& s);

}  // namespace standin

#endif
