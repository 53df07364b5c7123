#ifndef VORXLABELMGR_PROCESS_LABEL_H
#define VORXLABELMGR_PROCESS_LABEL_H

#ifndef __cplusplus
#error "<vorxlabelmgr/process_label.h> declares C++ functions and types: include it from C++"
#endif

#include <map>
#include <string>
#include <vector>

#include <vorxlabelmgr/export.h>

/*
 * Running processes grouped by the target of their "/proc/<pid>/exe" link,
 * each key's ids in the order the "/proc" listing gave them. Processes whose
 * link cannot be read are left out. Empty, after a line at Logger::error,
 * when "/proc" cannot be opened.
 */
VORX_EXPORT std::map<std::string, std::vector<int>> findProcessExeFile();

/*
 * Gives each process in pids the subject id of the label of exePath (its
 * "security.vorx" attribute, symbolic links followed) by rewriting field 0
 * of "/proc/<pid>/attr/vorx/current"; fields 1 to 4 are kept as they are.
 * 0 when the subject id was read and every label write was taken; -1 when
 * it could not be read (nothing touched), or a label could not be written or
 * had fewer than five fields (the other processes are still handled).
 * Only a process that runs the very file exePath names (the same device and
 * inode, links followed) is written: each process is checked, read and
 * written through one descriptor of its "/proc/<pid>" directory, so a pid
 * that another process has taken since is not written either. A process that
 * runs another file (whatever its exe link shows) is skipped after one line
 * at Logger::warn, and one that has gone is skipped; neither changes the
 * result. Progress is logged at info and debug, failures at error; the
 * label file's open, read and write failures go to stderr in readFile's and
 * writeFile's words.
 */
VORX_EXPORT int updateProcessAttr(const std::vector<int>& pids, const std::string& exePath);

#endif
