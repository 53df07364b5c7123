#ifndef VORXLABELMGR_PATH_UTILS_H
#define VORXLABELMGR_PATH_UTILS_H

#ifndef __cplusplus
#error "<vorxlabelmgr/path_utils.h> declares C++ functions and types: include it from C++"
#endif

/*
 * Path helpers. Paths are byte strings with "/" as the only separator and are
 * never decoded; relative paths are resolved against the current directory.
 * A std::string path is passed to the C library up to its first NUL.
 */

#include <string>
#include <vector>

#include <vorxlabelmgr/export.h>

/* Drops a trailing star after a slash, folds runs of "/" and drops a
 * trailing "/" (except for "/" itself). "." and ".." stay. Never fails. */
VORX_EXPORT std::string formatPath(const std::string& path);

/* 1 if the path itself (lstat, links not followed) is a directory, else 0. */
VORX_EXPORT int pathIsDir(const char* path);

/* 1 if the path itself is a symbolic link, else 0. */
VORX_EXPORT int pathIsLinkFile(const char* path);

/* Note the sense: 0 if the path exists (links followed), -1 if not. */
VORX_EXPORT int pathIsExists(const char* path);

/* 1 if the file system holding the path is mounted read-only, else 0; when
 * statvfs fails, "statfs error: <reason>" goes to standard error and the
 * result is 0. */
VORX_EXPORT int isPartitionReadOnly(const char* path);

/* The canonical absolute path (realpath), or "" when it cannot be resolved. */
VORX_EXPORT std::string getRealPath(const std::string& path);

/* The canonical directory part, "/" and the unresolved last component, so a
 * link keeps its own name ("/x" gives "//x"); "" when the directory part
 * cannot be resolved. */
VORX_EXPORT std::string getLinkRealPath(const std::string& path);

/* Appends the directory, then every entry below it in pre-order (readdir
 * order, links listed and not followed). 0, or -1 when the directory itself
 * cannot be opened (it is still appended); unopenable directories are logged
 * as warnings. Each subdirectory is opened under its parent's descriptor and
 * never through a link, so the walk stays in the tree while others change
 * it: a subdirectory swapped for a link after it was listed counts as one
 * that cannot be opened. The directory passed is opened as given (a link to
 * a directory is walked). */
VORX_EXPORT int traverseDirectory(const std::string& directory, std::vector<std::string>& list);

/* True if the path lies below the directory, by text only. */
VORX_EXPORT bool isSubDirectory(const std::string& path, const std::string& directory);

/* The directory part of a path or pattern, cut before the first "*" or "?";
 * may be "" (see the documentation for relative names). */
VORX_EXPORT std::string getParentDirWithoutWildcard(const std::string& path);

/* The nearest proper ancestor (before any "*" or "?") that stat reports as a
 * directory, "/" when the walk reaches the root, "" for relative paths that
 * run out of components. */
VORX_EXPORT std::string findFirstExistingParentDir(const std::string& path);

#endif
