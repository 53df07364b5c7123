#ifndef VORXLABELMGR_LABEL_NOTIFY_H
#define VORXLABELMGR_LABEL_NOTIFY_H

#ifndef __cplusplus
#error "<vorxlabelmgr/label_notify.h> declares C++ functions and types: include it from C++"
#endif

/*
 * Label-change notifications. The publisher binds
 * "ipc:///tmp/vorx_label_manager.socket" and sends each change as one message
 * of two frames: a topic, matched by subscribers as a prefix, then the body.
 * A handle wraps a ZMQSocket of the subscriber type; it is used by one thread
 * at a time and belongs to the caller (delete it as a ZMQSocket*, or keep it
 * until the process ends). These functions do not log; each line they write
 * to standard error goes out in one write and leaves the stream's formatting
 * as it was.
 *
 * The endpoint's place is fixed, and any local user can bind it while the
 * real publisher is not running. Only a publisher whose peer credentials name
 * uid 0 or the subscriber's own effective uid is heard; messages of any other
 * are dropped unseen, and the subscriber then connects to the endpoint again,
 * to reach a real publisher that has taken the path over meanwhile. One that
 * holds the endpoint and sends nothing keeps the subscriber from a later
 * publisher until it closes.
 */

#include <string>

#include <vorxlabelmgr/export.h>

/* A new handle, neither connected nor subscribed. std::bad_alloc and the
 * constructor's std::runtime_error reach the caller; nothing is written. */
VORX_EXPORT void* createSubscriber();

/* Connects the handle to the publisher's endpoint (again on every call; the
 * publisher need not be running yet) and adds `topic` as a prefix ("" takes
 * every message). 0, or -1 after "Exception: <reason>" on standard error; -1
 * at once, with nothing written, for a null handle. */
VORX_EXPORT int subscribeLabelChangeMsg(void* handle, const std::string& topic);

/* Waits without time-out for the next matching message of a trusted publisher
 * (above) and stores its body in *body: malloc'ed, body length + 1 bytes with
 * a NUL appended, freed by the caller with free(). A message of one frame, or
 * of an untrusted publisher, is skipped; frames after the body are discarded.
 * 0; -1 after "Exception: <reason>" on standard error (*body untouched, e.g.
 * when a signal interrupts the wait for a message; one that comes once the
 * message's first frame is in loses nothing); -1 after "malloc error." (*body
 * is null). A null handle or body is -1 at once: nothing is written or
 * received. */
VORX_EXPORT int recvLabelChangeMsg(void* handle, char** body);

#endif
