#include "session/SystemLog.h"

#include <syslog.h>

#include <cstdio>

void systemLog(const QString& line) {
    static const bool opened = [] {
        openlog("Quorvel", LOG_PID, LOG_USER);
        return true;
    }();
    (void)opened;
    const QByteArray text = line.toUtf8();
    std::fprintf(stderr, "Quorvel: %s\n", text.constData());
    std::fflush(stderr);
    syslog(LOG_NOTICE, "%s", text.constData());
}
