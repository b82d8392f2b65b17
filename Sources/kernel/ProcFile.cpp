#include "kernel/ProcFile.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>

ProcFile::ProcFile(std::string path) : path_(std::move(path)) {}

ProcFile::~ProcFile() {
    if (keptFd_ >= 0)
        ::close(keptFd_);
}

int ProcFile::openForReading() {
    if (keptFd_ >= 0)
        return keptFd_;
    // Never waits: a FIFO or device put where a kernel file should be (bound
    // over it, or a stuck driver's) is opened without blocking and then
    // refused, since only a regular file is read.
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    struct statfs fileSystem {};
    if (::fstatfs(fd, &fileSystem) == 0 &&
        (fileSystem.f_type == PROC_SUPER_MAGIC || fileSystem.f_type == SYSFS_MAGIC))
        keptFd_ = fd;
    return fd;
}

const std::string* ProcFile::read() {
    const int fd = openForReading();
    if (fd < 0)
        return nullptr;
    text_.clear();
    char chunk[8192];
    off_t offset = 0;
    ssize_t n = 0;
    while ((n = ::pread(fd, chunk, sizeof chunk, offset)) != 0) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        text_.append(chunk, std::size_t(n));
        offset += n;
    }
    const int readErrno = errno;
    if (fd != keptFd_) {
        ::close(fd);
    } else if (n < 0) {
        // A kept descriptor that failed is opened afresh next time.
        ::close(keptFd_);
        keptFd_ = -1;
    }
    errno = readErrno;
    return n < 0 ? nullptr : &text_;
}
