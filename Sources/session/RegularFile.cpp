#include "session/RegularFile.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace RegularFile {
namespace {

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QString notRegularText(mode_t mode) {
    const char* kind = S_ISFIFO(mode)                   ? "a FIFO"
                       : S_ISDIR(mode)                  ? "a directory"
                       : S_ISSOCK(mode)                 ? "a socket"
                       : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
                                                        : "not a regular file";
    return QStringLiteral("it is %1, not a regular file").arg(QLatin1String(kind));
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    // Closes now, since a close can report a write error of its own.
    bool close() { return ::close(std::exchange(fd_, -1)) == 0; }

private:
    int fd_;
};

// Where a replacement goes: the file a symbolic link points to, so that a link
// into the user's own store of settings stays a link.
QString replacementTarget(const QString& path) {
    const QFileInfo info(path);
    if (!info.isSymLink())
        return path;
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.symLinkTarget() : canonical;
}

// The folder a path is in ("." for a bare name) and the name in it.
std::pair<QByteArray, QByteArray> splitPath(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return {".", path};
    return {slash == 0 ? QByteArray("/") : path.left(slash), path.mid(slash + 1)};
}

// A new file in the target's folder, created with O_EXCL so that nothing
// another program put there is ever written into.
int createTemporary(const QByteArray& folder, const QByteArray& base, QByteArray& name) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = folder + "/." + base + ".new-" + QByteArray::number(::getpid()) + '-' +
               QByteArray::number(attempt);
        // 0666 less the umask, as for any file the user's programs make.
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

std::optional<QString> writeAll(int fd, const QByteArray& bytes, WriteFunction write) {
    const char* data = bytes.constData();
    size_t left = size_t(bytes.size());
    while (left > 0) {
        const ssize_t written = write(fd, data, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return errnoText(errno);
        if (written == 0)
            return QStringLiteral("the file system took no more of it");
        data += written;
        left -= size_t(written);
    }
    return std::nullopt;
}

} // namespace

ReadResult read(const QString& path, qint64 maxBytes) {
    const QByteArray name = QFile::encodeName(path);
    ReadResult result;
    auto failed = [&result](ReadStatus status, const QString& why) {
        result.status = status;
        result.error = why;
        return result;
    };
    // Looked at before opening: opening a FIFO would wait for a writer, and
    // opening a device can do things of its own.
    struct stat info {};
    if (::stat(name.constData(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return failed(ReadStatus::Missing, {});
        return failed(ReadStatus::Failed, errnoText(errno));
    }
    if (!S_ISREG(info.st_mode))
        return failed(ReadStatus::NotRegular, notRegularText(info.st_mode));
    // O_NONBLOCK, and checked again once open, for what may have been put
    // there in between.
    Descriptor fd(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0)
        return failed(errno == ENOENT ? ReadStatus::Missing : ReadStatus::Failed, errnoText(errno));
    if (::fstat(fd.get(), &info) != 0)
        return failed(ReadStatus::Failed, errnoText(errno));
    if (!S_ISREG(info.st_mode))
        return failed(ReadStatus::NotRegular, notRegularText(info.st_mode));
    const auto tooLarge = [&] {
        return failed(ReadStatus::TooLarge,
                      QStringLiteral("it is larger than %1 MB").arg(maxBytes / (1024 * 1024)));
    };
    if (info.st_size > maxBytes)
        return tooLarge();

    QByteArray bytes(qsizetype(info.st_size) + 1, Qt::Uninitialized);
    qsizetype filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            // Grown since the fstat.
            if (bytes.size() > maxBytes)
                return tooLarge();
            bytes.resize(std::min<qsizetype>(bytes.size() * 2, maxBytes + 1));
        }
        const ssize_t got = ::read(fd.get(), bytes.data() + filled, size_t(bytes.size() - filled));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return failed(ReadStatus::Failed, errnoText(errno));
        if (got == 0)
            break;
        filled += got;
    }
    bytes.truncate(filled);
    result.status = ReadStatus::Read;
    result.bytes = std::move(bytes);
    return result;
}

std::optional<QString> replace(const QString& path, const QByteArray& bytes, WriteFunction write) {
    if (!write)
        write = ::write;
    const QByteArray target = QFile::encodeName(replacementTarget(path));
    struct stat old {};
    const bool exists = ::stat(target.constData(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode))
        return notRegularText(old.st_mode) + QStringLiteral(", so it is left alone");

    const auto [folder, base] = splitPath(target);
    QByteArray temporary;
    Descriptor fd(createTemporary(folder, base, temporary));
    if (fd.get() < 0)
        return errnoText(errno);
    auto fail = [&temporary](const QString& why) -> std::optional<QString> {
        ::unlink(temporary.constData());
        return why;
    };
    if (exists)
        ::fchmod(fd.get(), old.st_mode & 07777);
    if (const auto failure = writeAll(fd.get(), bytes, write))
        return fail(*failure);
    // On the disk before it replaces anything, so that a crash or a power cut
    // after the rename finds the whole new text, never an empty file.
    if (::fsync(fd.get()) != 0)
        return fail(errnoText(errno));
    if (!fd.close())
        return fail(errnoText(errno));
    if (::rename(temporary.constData(), target.constData()) != 0)
        return fail(errnoText(errno));

    Descriptor directory(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() >= 0)
        ::fsync(directory.get()); // the rename itself; a folder that cannot be synced still has it
    return std::nullopt;
}

} // namespace RegularFile
