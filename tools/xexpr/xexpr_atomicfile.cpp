// Atomic replacement of a file: sibling temporary file, fsync, rename.
#include "xexpr_atomicfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace xexpr {

namespace {

int fail(std::string& error, const std::string& path, const std::string& what, int code) {
    error = path + ": " + what + (code ? std::string(": ") + std::strerror(code) : std::string());
    return -1;
}

std::string directoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Writes all of `content`; false with errno set when the disk refuses.
bool writeAll(int fd, const std::string& content) {
    const char* at = content.data();
    size_t left = content.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, at, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        at += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

// The new content in a temporary file beside `target`, on the disk.
int writeTemporary(const std::string& target, const struct stat& original, const std::string& content,
                   std::string& temporary, std::string& error) {
    temporary = directoryOf(target) + "/.xexpr-rename-XXXXXX";
    int fd = ::mkstemp(temporary.data());
    if (fd < 0) return fail(error, target, "cannot create a temporary file beside it", errno);
    // The owner is kept where the user may give it away (a privileged one);
    // otherwise the file becomes the user's own, as any editor's would.
    [[maybe_unused]] const int ownerKept = ::fchown(fd, original.st_uid, original.st_gid);
    int code = 0;
    if (::fchmod(fd, original.st_mode & 07777) != 0 || !writeAll(fd, content) || ::fsync(fd) != 0)
        code = errno;
    if (::close(fd) != 0 && code == 0) code = errno;
    if (code == 0) return 0;
    ::unlink(temporary.c_str());
    return fail(error, target, "cannot write the new content", code);
}

}  // namespace

int replaceFileAtomically(const std::string& path, const std::string& content, std::string& error) {
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved)) return fail(error, path, "cannot find the file", errno);
    const std::string target = resolved;
    struct stat st;
    if (::stat(target.c_str(), &st) != 0) return fail(error, path, "cannot find the file", errno);
    if (!S_ISREG(st.st_mode)) return fail(error, path, "not a regular file", 0);
    // Checked by hand: a rename would replace a read-only file all the same,
    // and a privileged user passes access().
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(target.c_str(), W_OK) != 0)
        return fail(error, path, "the file is read-only", 0);
    std::string temporary;
    if (writeTemporary(target, st, content, temporary, error) != 0) return -1;
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const int code = errno;
        ::unlink(temporary.c_str());
        return fail(error, path, "cannot replace the file", code);
    }
    // The rename itself reaches the disk with its directory.
    int dir = ::open(directoryOf(target).c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return 0;
}

}  // namespace xexpr
