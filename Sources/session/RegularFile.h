#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

#include <sys/types.h>

// Reading and replacing the user's own files (the settings file, the autostart
// entry, desktop entries) so that nothing found in their place can block the
// program and no failure can leave a file cut short.
//
// Only regular files are read or replaced. A FIFO, socket, device or directory
// at the path is never opened (opening a FIFO waits for a writer), and it is
// never written over.
namespace RegularFile {

enum class ReadStatus { Read, Missing, NotRegular, TooLarge, Failed };

struct ReadResult {
    ReadStatus status = ReadStatus::Failed;
    QByteArray bytes;
    QString error; // why, for every status but Read and Missing
};

// Far more than any settings file or desktop entry; a larger file is not one.
constexpr qint64 defaultMaxBytes = 4 * 1024 * 1024;

ReadResult read(const QString& path, qint64 maxBytes = defaultMaxBytes);

// The write(2) the replacement uses; tests hand in one that fails part-way.
using WriteFunction = ssize_t (*)(int fd, const void* data, size_t size);

// Replaces the file at path (or the file a symbolic link there points to) with
// bytes, all or nothing: the text goes into a new file beside it, which is
// written whole, flushed to the disk and only then renamed over the old one;
// the folder is flushed after the rename. The new file keeps the old one's
// permissions. On any failure (a full disk, a file-size limit, a short write,
// a read-only folder, something other than a regular file at the path) the old
// file stays exactly as it was and the reason is returned.
std::optional<QString> replace(const QString& path, const QByteArray& bytes,
                               WriteFunction write = nullptr);

} // namespace RegularFile
