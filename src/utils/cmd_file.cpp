#include <vorxlabelmgr/cmd_file.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "utils/cmd_file_internal.h"
#include "utils/dir_handle.h"

namespace {

const char kPathPrefix[] =
    "export PATH=$PATH:/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/root/bin:/root/bin && ";
constexpr size_t kPrefixLength = sizeof kPathPrefix - 1;
constexpr size_t kLineSize = 1024;
// The whole shell line must fit in kLineSize with its terminator.
constexpr size_t kMaxCommandLength = kLineSize - 1 - kPrefixLength;
// As fgets() with a size of kLineSize - 1: room for the piece and its NUL.
constexpr size_t kMaxPieceLength = kLineSize - 2;
// The array keeps room for this many lines, then grows one pointer a line.
constexpr size_t kInitialSlots = kLineSize;

static_assert(kPrefixLength == 91, "command prefix");
static_assert(kMaxCommandLength == 932, "longest command");
static_assert(kMaxPieceLength == 1022, "output piece");

// The next piece of output into buf: the bytes up to and including the next
// newline, at most kMaxPieceLength of them, then a NUL. 0 at the end of the
// output or on a read error. Byte by byte so that an interrupted read loses
// nothing when it is retried.
size_t readPiece(FILE* stream, char* buf)
{
    size_t len = 0;
    while (len < kMaxPieceLength) {
        int c = getc(stream);
        if (c == EOF) {
            if (ferror(stream) && errno == EINTR) {
                clearerr(stream);
                continue;
            }
            break;
        }
        buf[len++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    buf[len] = '\0';
    return len;
}

// In one unformatted write: another thread's output never lands inside the
// line, and the stream's format state neither shapes it nor is changed.
void errorLine(const char* head, const std::string& shown)
{
    std::string line(head);
    line.append(shown).push_back('\n');
    std::cerr.write(line.data(), static_cast<std::streamsize>(line.size()));
    std::cerr.flush();
}

bool writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (written == 0) return false;
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

using vorx::utils::Descriptor;
using vorx::utils::openRetrying;

}  // namespace

char** excuteCmd(const char* cmd, int* n)
{
    if (cmd == nullptr || n == nullptr) return nullptr;
    // A cut command could do something else than asked: refuse it whole.
    if (strnlen(cmd, kMaxCommandLength + 1) > kMaxCommandLength) return nullptr;

    char* command = static_cast<char*>(calloc(1, kLineSize));
    if (command == nullptr) return nullptr;
    int len = snprintf(command, kLineSize, "%s%s", kPathPrefix, cmd);
    if (len < 0 || static_cast<size_t>(len) >= kLineSize) {
        free(command);
        return nullptr;
    }

    FILE* stream = popen(command, "re");
    if (stream == nullptr) {
        free(command);
        return nullptr;
    }

    char piece[kLineSize];
    char** lines = nullptr;
    size_t count = 0;
    while (count < static_cast<size_t>(INT_MAX) && readPiece(stream, piece) > 0) {
        // The line ends at its first NUL, like the C string it becomes.
        size_t length = strlen(piece);
        if (length > 0 && piece[length - 1] == '\n') piece[length - 1] = '\0';

        size_t slots = (count < kInitialSlots - 1 ? kInitialSlots - 1 : count) + 1;
        char** grown = static_cast<char**>(realloc(lines, slots * sizeof *lines));
        if (grown == nullptr) break;  // hand back what was stored so far
        lines = grown;
        lines[count++] = strdup(piece);
    }
    *n = static_cast<int>(count);

    free(command);
    pclose(stream);
    return lines;
}

namespace vorx {
namespace utils {

std::string readFileAt(int dirfd, const char* name, const std::string& shown)
{
    Descriptor fd(openRetrying(dirfd, name, O_RDONLY));
    if (fd.get() < 0) {
        errorLine("Unable to open file: ", shown);
        return std::string();
    }

    std::string data;
    char buf[4096];
    for (;;) {
        ssize_t got = ::read(fd.get(), buf, sizeof buf);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            // Part of a file is no file: a cut label must not be taken as one.
            errorLine("Unable to read file: ", shown);
            return std::string();
        }
        data.append(buf, static_cast<size_t>(got));
    }
    return data;
}

bool writeFileAt(int dirfd, const char* name, const std::string& shown, const std::string& data)
{
    Descriptor fd(openRetrying(dirfd, name, O_WRONLY | O_CREAT | O_TRUNC, 0666));
    if (fd.get() < 0) {
        errorLine("Unable to open file for writing: ", shown);
        return false;
    }
    // Label files refuse a text at write time, and a full disk shows at close.
    bool written = writeAll(fd.get(), data.data(), data.size());
    bool closed = fd.close();
    if (!written || !closed) {
        errorLine("Unable to write file: ", shown);
        return false;
    }
    return true;
}

}  // namespace utils
}  // namespace vorx

std::string readFile(const std::string& path)
{
    return vorx::utils::readFileAt(AT_FDCWD, path.c_str(), path);
}

bool writeFile(const std::string& path, const std::string& data)
{
    return vorx::utils::writeFileAt(AT_FDCWD, path.c_str(), path, data);
}
