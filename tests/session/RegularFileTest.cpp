#include "session/RegularFile.h"
#include "TestSupport.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefaults.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QByteArray oldText = "[General]\nNetScale=4\n";

QStringList folderEntries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

int writes = 0;

TEST(RegularFile, AReplacementIsAllOrNothing) {
    struct Case {
        const char* name;
        RegularFile::WriteFunction write; // fails the way disks and limits fail, part-way
        const char* failure;              // nullptr: the replacement works
    };
    for (const Case& c : {
             Case{"half, then a full disk",
                  [](int fd, const void*data, size_t size) -> ssize_t {
                      errno = ENOSPC;
                      return writes++ == 0 ? ::write(fd, data, size / 2) : -1;
                  },
                  "No space left on device"},
             Case{"a write that takes nothing",
                  [](int, const void*, size_t) -> ssize_t { return 0; }, "took no more"},
             Case{"an I/O error",
                  [](int, const void*, size_t) -> ssize_t {
                      errno = EIO;
                      return -1;
                  },
                  "Input/output error"},
             Case{"short writes that add up",
                  [](int fd, const void*data, size_t) { return ::write(fd, data, 1); }, nullptr},
         }) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.path() + "/Quorvel.conf";
        writeFileBytes(path, oldText);
        ::chmod(QFile::encodeName(path).constData(), 0640);
        const QByteArray newText = "[General]\nNetScale=9\nAutoHide=false\n";
        writes = 0;
        const auto failure = RegularFile::replace(path, newText, c.write);
        EXPECT_EQ(failure.has_value(), c.failure != nullptr);
        EXPECT_TRUE(!failure || failure->contains(c.failure)) << *failure;
        EXPECT_EQ(readFileBytes(path), c.failure ? oldText : newText);
        EXPECT_EQ(QFile::permissions(path), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser |
                                                QFile::WriteUser | QFile::ReadGroup)
            << "the old file's permissions";
        EXPECT_EQ(folderEntries(dir.path()), QStringList{"Quorvel.conf"}) << "nothing left behind";
    }
}

TEST(RegularFile, WhatIsNotARegularFileIsNeitherOpenedNorReplaced) {
    QTemporaryDir dir;
    const QString fifo = dir.path() + "/fifo", folder = dir.path() + "/folder";
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QDir().mkdir(folder);
    for (const QString& path : {fifo, folder}) {
        // A FIFO opened for reading would wait here for ever for a writer.
        const RegularFile::ReadResult read = RegularFile::read(path);
        EXPECT_EQ(read.status, RegularFile::ReadStatus::NotRegular);
        const auto failure = RegularFile::replace(path, "x");
        EXPECT_TRUE(failure && failure->contains("not a regular file"));
    }
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(fifo).constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_EQ(RegularFile::read(dir.path() + "/none").status, RegularFile::ReadStatus::Missing);

    writeFileBytes(dir.path() + "/big", QByteArray(2000, 'x'));
    EXPECT_EQ(RegularFile::read(dir.path() + "/big", 1000).status,
              RegularFile::ReadStatus::TooLarge);
    EXPECT_EQ(RegularFile::read(dir.path() + "/big", 2000).bytes.size(), 2000);

    // A link into the user's own store of settings stays a link.
    writeFileBytes(dir.path() + "/real.conf", oldText);
    ASSERT_EQ(::symlink("real.conf", QFile::encodeName(dir.path() + "/link.conf").constData()), 0);
    ASSERT_FALSE(RegularFile::replace(dir.path() + "/link.conf", "new"));
    EXPECT_TRUE(QFileInfo(dir.path() + "/link.conf").isSymLink());
    EXPECT_EQ(readFileBytes(dir.path() + "/real.conf"), "new");
}

// Runs body in a child process with a small file system of its own mounted on
// a fresh folder (a mount namespace, as root or in a user namespace), so that
// the test can fill it up or make it read-only. Skips where neither is allowed.
void inSmallFileSystem(const std::function<void(const QString& folder)>& body) {
    QTemporaryDir dir;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::unshare(CLONE_NEWNS) != 0 && ::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
            ::_exit(77);
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("quorvel-test", QFile::encodeName(dir.path()).constData(), "tmpfs", 0,
                    "size=256k") != 0)
            ::_exit(77);
        body(dir.path());
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child died of signal " << WTERMSIG(status);
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "no mount namespace to be had here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "see the child's failures above";
}

void fillUp(const QString& folder) {
    const int fd =
        ::open(QFile::encodeName(folder + "/filler").constData(), O_WRONLY | O_CREAT, 0600);
    const QByteArray block(4096, 'f');
    while (::write(fd, block.constData(), size_t(block.size())) > 0) {
    }
    ::close(fd);
}

TEST(RegularFile, AFullDiskAReadOnlyFolderAndASizeLimitLeaveTheOldFile) {
    const QByteArray newText = "[General]\nNetScale=9\n" + QByteArray(8000, '#') + "\n";
    inSmallFileSystem([&](const QString& folder) {
        const QString path = folder + "/Quorvel.conf";
        writeFileBytes(path, oldText);
        fillUp(folder);
        auto failure = RegularFile::replace(path, newText);
        ASSERT_TRUE(failure);
        EXPECT_TRUE(failure->contains("No space left")) << *failure;
        EXPECT_EQ(readFileBytes(path), oldText);
        QFile::remove(folder + "/filler");

        ::mount(nullptr, QFile::encodeName(folder).constData(), nullptr, MS_REMOUNT | MS_RDONLY,
                nullptr);
        failure = RegularFile::replace(path, newText);
        ASSERT_TRUE(failure);
        EXPECT_TRUE(failure->contains("Read-only")) << *failure;
        EXPECT_EQ(readFileBytes(path), oldText);
    });

    QTemporaryDir dir;
    const QString path = dir.path() + "/Quorvel.conf";
    writeFileBytes(path, oldText);
    const pid_t child = ::fork();
    if (child == 0) {
        // As a user's "ulimit -f" would; the program ignores the signal.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const auto failure = RegularFile::replace(path, newText);
        ::_exit(failure && failure->contains("File too large") ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(readFileBytes(path), oldText);
    EXPECT_EQ(folderEntries(dir.path()), QStringList{"Quorvel.conf"});
}

TEST(UserDefaults, AnUnreadableFileStaysInPlaceWhenTheSaveFails) {
    const QByteArray garbage("\x00\x01 not text", 11);
    inSmallFileSystem([&](const QString& folder) {
        writeFileBytes(folder + "/Quorvel.conf", garbage);
        testing::internal::CaptureStderr();
        UserDefaults defaults(folder + "/Quorvel.conf");
        fillUp(folder);
        EXPECT_FALSE(defaults.setObject(QStringList(2000, "some-application.desktop"),
                                        SettingsKeys::AutoHideApplications));
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(readFileBytes(folder + "/Quorvel.conf"), garbage);
        EXPECT_EQ(folderEntries(folder), (QStringList{"filler", "Quorvel.conf"}));
    });
}

} // namespace
