// Runs the real helper program.
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct Helper {
    QProcess process;

    // With errorsToo, standard error comes with standard output.
    explicit Helper(const QStringList& args, bool errorsToo = false) {
        if (errorsToo)
            process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral(QUORVEL_HELPER), args);
    }
    ~Helper() { exitStatus(0); }
    // Reads until `lines` newlines arrived or the time is up.
    QByteArray readLines(int lines, int timeoutMs) {
        QByteArray text;
        const QDeadlineTimer deadline(timeoutMs);
        while (text.count('\n') < lines && process.waitForReadyRead(int(deadline.remainingTime())))
            text += process.readAll();
        return text;
    }
    // Its exit status once it has ended by itself, -1 if it did not.
    int exitStatus(int timeoutMs) {
        if (!process.waitForFinished(timeoutMs)) {
            process.kill();
            process.waitForFinished();
            return -1;
        }
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
};

// A /proc/net/dev stand-in that the test swaps between fixtures, the way the
// kernel's counters change under the helper.
class ChangingSource {
public:
    void show(const char* fixture) {
        const QString next = path() + QStringLiteral(".new");
        QFile::copy(QStringLiteral(QUORVEL_FIXTURES "/netdev/") + fixture, next);
        std::rename(qPrintable(next), qPrintable(path()));
    }
    void vanish() { QFile::remove(path()); }
    QString path() const { return dir_.filePath(QStringLiteral("dev")); }

private:
    QTemporaryDir dir_;
};

std::vector<unsigned long long> counters(const QByteArray& line) {
    std::vector<unsigned long long> v;
    for (const QByteArray& field : line.simplified().split(' '))
        v.push_back(field.toULongLong());
    return v.size() == 7 ? v : std::vector<unsigned long long>{};
}

QStringList fromSource(const ChangingSource& source) {
    return {"-w", "1", "--proc-net-dev", source.path(), "--sys-class-net", "/nonexistent"};
}

TEST(Helper, CountsTheChosenInterfacesOfTheFileItReads) {
    // One interval from dev-1 to dev-2: eth0 +900/+600 bytes, wlan0 +100/+40,
    // lo +400000/+400000.
    const struct {
        QStringList choice;
        unsigned long long in, out;
        const char* said; // on standard error
    } cases[] = {
        {{}, 1000, 640, ""},            // every real interface, lo excluded
        {{"-I", "wlan0"}, 100, 40, ""}, // as BSD netstat's -I
        {{"-I", "eth0", "-I", "wlan0"}, 1000, 640, ""},
        {{"-I", "lo"}, 400000, 400000, ""}, // named, so counted
        {{"-I", "wlan0", "-I", "wlan0"}, 100, 40, ""},
        {{"-I", "tun0"}, 0, 0, "quorvel-netstat: there is no interface tun0"},
    };
    for (const auto& c : cases) {
        ChangingSource source;
        source.show("dev-1");
        Helper helper(fromSource(source) + c.choice, *c.said);
        QByteArray text = helper.readLines(*c.said ? 3 : 2, 2000);
        source.show("dev-2");
        text += helper.readLines(1, 2500);
        const auto v = counters(text.sliced(text.lastIndexOf('\n', -2) + 1));
        ASSERT_EQ(v.size(), 7u) << text.toStdString();
        EXPECT_EQ(v[2], c.in) << text.toStdString();
        EXPECT_EQ(v[5], c.out) << text.toStdString();
        EXPECT_TRUE(text.contains(c.said)) << text.toStdString();
    }
}

TEST(Helper, AReadFailureSkipsTheIntervalsItSpans) {
    ChangingSource source;
    source.show("dev-1");
    Helper helper(fromSource(source));
    helper.readLines(2, 2000); // headings, right after the first read
    source.vanish();           // the read at 1 s fails
    QThread::msleep(1400);
    source.show("dev-2"); // 1000 bytes more, read at 2 s and 3 s
    const auto v = counters(helper.readLines(1, 3500));
    ASSERT_EQ(v.size(), 7u);
    EXPECT_EQ(v[2], 0u) << "the bytes that came while the file could not be read are not one "
                           "interval's";
}

TEST(Helper, EndsByItselfOnceItsReaderHasGone) {
    QProcess shell;
    shell.start(QStringLiteral("bash"),
                {"-c", R"(set -o pipefail; "$0" -w 1 | head -n 4 >/dev/null)", QUORVEL_HELPER});
    ASSERT_TRUE(shell.waitForFinished(5000)) << "still running after its reader went";
    EXPECT_EQ(shell.exitCode(), 0);
}

TEST(Helper, ArgumentsAndAnUnreadableSourceAreCheckedAtStart) {
    const struct {
        QStringList args;
        int status;
    } cases[] = {
        {{}, 2},
        {{"-w"}, 2},
        {{"-w", "0"}, 2},
        {{"-w", "-3"}, 2},
        {{"-w", "1x"}, 2},
        {{"-w", "99999999"}, 2},
        {{"-w", "86400"}, -1}, // a day, the longest: it runs on
        {{"-x", "1"}, 2},
        {{"-w", "1", "-I"}, 2},
        {{"-w", "1", "-I", ""}, 2},
        {{"-w", "1", "--proc-net-dev", "/nonexistent/dev"}, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Helper(c.args).exitStatus(2000), c.status) << c.args.join(' ').toStdString();
}

} // namespace
