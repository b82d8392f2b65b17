// The program's path written as the autostart entry's Exec key, checked both
// against the text expected and by reading it back as the desktop-entry rules
// have it: the file's string escapes first, then the quoting.
#include "session/AutostartEntry.h"

#include <gtest/gtest.h>

namespace {

// What a launcher reads: the file's string escapes undone, then one argument
// unquoted and unescaped, field codes' %% made %.
QString readBack(const QString& value) {
    QString unescaped;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == u'\\' && i + 1 < value.size()) {
            const QChar next = value[++i];
            unescaped += next == u'n'   ? QChar(u'\n')
                         : next == u't' ? QChar(u'\t')
                         : next == u'r' ? QChar(u'\r')
                                        : next;
        } else {
            unescaped += value[i];
        }
    }
    QString argument;
    const bool quoted = unescaped.startsWith(u'"');
    for (qsizetype i = quoted ? 1 : 0; i < unescaped.size() - (quoted ? 1 : 0); ++i) {
        if (quoted && unescaped[i] == u'\\')
            ++i;
        argument += unescaped[i];
    }
    return argument.replace(QStringLiteral("%%"), QStringLiteral("%"));
}

TEST(AutostartEntry, ExecQuotesEscapesAndReadsBackAsThePath) {
    const std::pair<const char*, const char*> cases[] = {
        {"quorvel", "quorvel"},
        {"/usr/bin/quorvel", "/usr/bin/quorvel"},
        {"/opt/my apps/quorvel", "\"/opt/my apps/quorvel\""},
        {"/opt/a\"b/quorvel", "\"/opt/a\\\\\"b/quorvel\""},
        {"/opt/back\\slash/quorvel", "\"/opt/back\\\\\\\\slash/quorvel\""},
        {"/opt/$HOME/quorvel", "\"/opt/\\\\$HOME/quorvel\""},
        {"/opt/tick`/quorvel", "\"/opt/tick\\\\`/quorvel\""},
        {"/opt/100%/quorvel", "/opt/100%%/quorvel"},
        {"/opt/a;b/quorvel", "\"/opt/a;b/quorvel\""},
        {"/opt/line\nend/quorvel", "\"/opt/line\\nend/quorvel\""},
    };
    for (const auto& [path, written] : cases) {
        const QString exec = AutostartEntry::execArgument(QString::fromUtf8(path));
        EXPECT_EQ(exec, QString::fromUtf8(written)) << path;
        EXPECT_EQ(readBack(exec), QString::fromUtf8(path)) << path;
        EXPECT_TRUE(AutostartEntry::entryText(QString::fromUtf8(path))
                        .contains("\nExec=" + exec.toUtf8() + "\n"));
    }
}

} // namespace
