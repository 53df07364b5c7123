#ifndef VORXLABELMGR_CMD_FILE_H
#define VORXLABELMGR_CMD_FILE_H

#ifndef __cplusplus
#error "<vorxlabelmgr/cmd_file.h> declares C++ functions and types: include it from C++"
#endif

#include <string>

#include <vorxlabelmgr/export.h>

/*
 * Runs cmd through /bin/sh with "/usr/local/sbin:/usr/local/bin:/usr/sbin:
 * /usr/bin:/root/bin:/root/bin" appended to PATH and returns its standard
 * output (standard error is not captured; the exit status is discarded).
 * Each output line is one entry without its newline; a line longer than 1022
 * characters is split into pieces of 1022. The array has no null terminator:
 * *n entries, each released with free(), then the array with free(); an
 * entry is null when there was no memory for its copy. When the array cannot
 * grow, reading stops and the lines stored so far are returned.
 * Null with *n = 0 when the command printed nothing. Null with *n untouched
 * when cmd or n is null, cmd is longer than 932 characters (it is refused,
 * never cut), or no memory or no shell was available.
 * As with popen(3), the shell and every program it starts see the caller's
 * environment, and the caller's PATH is searched first. In a set-id program
 * that environment is the invoking user's: such a program cleans its
 * environment (PATH, IFS, ENV, LD_* and the like) before it calls this.
 */
VORX_EXPORT char** excuteCmd(const char* cmd, int* n);

/*
 * The whole content of path, byte for byte. An empty string when the file is
 * empty, or, after "Unable to open file: <path>" (or "Unable to read file:
 * <path>") on standard error, when it cannot be opened or read.
 */
VORX_EXPORT std::string readFile(const std::string& path);

/*
 * Replaces the content of path with data (creating the file). False, after
 * "Unable to open file for writing: <path>" or "Unable to write file: <path>"
 * on standard error, when the file cannot be opened, written or closed.
 */
VORX_EXPORT bool writeFile(const std::string& path, const std::string& data);

#endif
