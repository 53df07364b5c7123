#ifndef VORXLABELMGR_EXPORT_H
#define VORXLABELMGR_EXPORT_H

/* The library is built with hidden visibility; only what carries this macro is exported. */
#define VORX_EXPORT __attribute__((visibility("default")))

#endif
