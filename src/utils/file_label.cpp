#include <vorxlabelmgr/file_label.h>

#include <cerrno>
#include <cstring>
#include <string>

#include <sys/xattr.h>

#include <vorxlabelmgr/logger.h>

namespace {

const char kLabelAttr[] = "security.vorx";
constexpr size_t kReadBufferSize = 1024;

// The same text strerror() gives, without its shared buffer.
const char* errorText(int err, char* buf, size_t size)
{
    return strerror_r(err, buf, size);
}

// Reads the attribute into buf. A value that fills the whole buffer leaves
// no room for its terminator and is refused like a longer one.
ssize_t readLabelAttr(const char* path, bool follow, char* buf, size_t size)
{
    ssize_t len;
    do {
        len = follow ? getxattr(path, kLabelAttr, buf, size) : lgetxattr(path, kLabelAttr, buf, size);
    } while (len == -1 && errno == EINTR);
    if (len >= static_cast<ssize_t>(size)) {
        errno = ERANGE;
        return -1;
    }
    return len;
}

int writeLabelAttr(const char* path, bool follow, const std::string& text)
{
    int rc;
    do {
        rc = follow ? setxattr(path, kLabelAttr, text.data(), text.size(), 0)
                    : lsetxattr(path, kLabelAttr, text.data(), text.size(), 0);
    } while (rc == -1 && errno == EINTR);
    return rc;
}

}  // namespace

int getFileLabelFromXattr(const char* path, context_t& ctx, unsigned int fileType)
{
    if (path == nullptr || fileType > 3) {
        Logger::getInstance()->error("get file label from xattr error, invalid parameter");
        return -1;
    }
    if (fileType != 1 && fileType != 3) {
        Logger::getInstance()->error("get file label from xattr error, file type %d", static_cast<int>(fileType));
        return -1;
    }

    char value[kReadBufferSize];
    ssize_t len = readLabelAttr(path, fileType == 1, value, sizeof value);
    if (len < 0) {
        char err[128];
        const char* text = errorText(errno, err, sizeof err);
        Logger::getInstance()->debug("get file label from xattr error, %s getxattr failed, %s", path, text);
        return -1;
    }
    value[len] = '\0';

    if (stringToContext(std::string(value), ctx) != 0) {
        Logger::getInstance()->error("get file label from xattr, label string to convert context error.");
        return -1;
    }
    return 0;
}

int setFileLabelToXattr(const char* path, const context_t& ctx, int fileType)
{
    if (path == nullptr || fileType > 3) {
        Logger::getInstance()->error("set file label to xattr: parameter error.");
        return -1;
    }
    std::string text = contextToString(ctx);
    if (writeLabelAttr(path, fileType == 1, text) != 0) {
        char err[128];
        const char* msg = errorText(errno, err, sizeof err);
        Logger::getInstance()->error("set file label to xattr: %s setxattr error, %s", path, msg);
        return -1;
    }
    return 0;
}

namespace {

enum class LabelId { sid, creatorOid };

int getFileIdFromXattr(const char* path, vorx_id_t& id, unsigned int fileType, LabelId which)
{
    if (path == nullptr || fileType > 3) {
        if (which == LabelId::sid)
            Logger::getInstance()->error("get file sid from xattr error, invalid parameter");
        else
            Logger::getInstance()->error("get file creator oid from xattr error, invalid parameter");
        return -1;
    }
    context_t label;
    memset(&label, 0, sizeof label);
    if (getFileLabelFromXattr(path, label, fileType) != 0) {
        if (which == LabelId::sid)
            Logger::getInstance()->error("get file sid from xattr error, get file label failed.");
        else
            Logger::getInstance()->debug("get file creator oid from xattr error, get file label failed.");
        return -1;
    }
    id = which == LabelId::sid ? label.sid : label.creator_oid;
    return 0;
}

}  // namespace

int getFileSidFromXattr(const char* path, vorx_id_t& id, unsigned int fileType)
{
    return getFileIdFromXattr(path, id, fileType, LabelId::sid);
}

int getFileCreateOidFromXattr(const char* path, vorx_id_t& id, unsigned int fileType)
{
    return getFileIdFromXattr(path, id, fileType, LabelId::creatorOid);
}
