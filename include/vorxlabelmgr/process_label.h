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
 * A process that has gone is skipped. Progress is logged at info and debug,
 * failures at error; readFile/writeFile write their own lines to stderr.
 */
VORX_EXPORT int updateProcessAttr(const std::vector<int>& pids, const std::string& exePath);

#endif
