// HTTP answers as servers write them, and as they should not, read whole and
// a byte at a time.
#include "remote/HttpResponse.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

using Progress = HttpResponse::Progress;

struct Case {
    const char* name;
    QByteArray bytes;
    bool thenClosed;
    Progress progress;
    int status;
    QByteArray body;
    bool keeps;
};

TEST(HttpResponse, ReadsWhatServersWriteAndStopsAtWhatTheyShouldNot) {
    const QByteArray ok = "HTTP/1.1 200 OK\r\n";
    const Case cases[] = {
        {"sized", ok + "Content-Length: 5\r\nContent-Type: text/plain\r\n\r\nhello", false,
         Progress::Complete, 200, "hello", true},
        {"chunked with an extension and a trailer",
         ok + "Transfer-Encoding: chunked\r\n\r\n5;x=1\r\nhello\r\nA\r\n, world!!!\r\n0\r\nX: "
              "y\r\n\r\n",
         false, Progress::Complete, 200, "hello, world!!!", true},
        {"chunk sizes of fifteen digits and the highest of each kind",
         ok + "Transfer-Encoding: chunked\r\n\r\n00000000000000F\r\n" + QByteArray(15, 'F') +
             "\r\nf\r\n" + QByteArray(15, 'f') + "\r\n9\r\n" + QByteArray(9, '9') + "\r\n0\r\n\r\n",
         false, Progress::Complete, 200,
         QByteArray(15, 'F') + QByteArray(15, 'f') + QByteArray(9, '9'), true},
        {"told to close", ok + "Connection: close\r\nContent-Length: 2\r\n\r\nhi", false,
         Progress::Complete, 200, "hi", false},
        {"HTTP/1.0", "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nhi", false, Progress::Complete,
         200, "hi", false},
        {"until the close", ok + "\r\nevery byte", true, Progress::Complete, 200, "every byte",
         false},
        {"an interim answer first",
         "HTTP/1.1 103 Early\r\nLink: x\r\n\r\n" + ok + "Content-Length: 2\r\n\r\nhi", false,
         Progress::Complete, 200, "hi", true},
        {"no content", "HTTP/1.1 204 No Content\r\n\r\n", false, Progress::Complete, 204, "", true},
        {"not yet whole", ok + "Content-Length: 10\r\n\r\nhalf", false, Progress::Incomplete, 200,
         "half", false},
        {"cut short", ok + "Content-Length: 10\r\n\r\nhalf", true, Progress::Cut, 200, "half",
         false},
        {"cut in the head", "HTTP/1.1 200", true, Progress::Cut, 0, "", false},
        {"too large by its length", ok + "Content-Length: 1025\r\n\r\n", false, Progress::TooLarge,
         200, "", false},
        {"too large in chunks",
         ok + "Transfer-Encoding: chunked\r\n\r\n400\r\n" + QByteArray(1024, '#') + "\r\n1\r\n",
         false, Progress::TooLarge, 200, QByteArray(1024, '#'), false},
        {"too large until the close", ok + "\r\n" + QByteArray(1025, '#'), false,
         Progress::TooLarge, 200, "", false},
        {"not HTTP", "SSH-2.0-OpenSSH_9.2\r\n\r\n", false, Progress::Malformed, 0, "", false},
        {"no status", "HTTP/1.1 OK\r\n\r\n", false, Progress::Malformed, 0, "", false},
        {"a status below 100", "HTTP/1.1 099 X\r\n\r\n", false, Progress::Malformed, 99, "", false},
        {"a folded field", ok + "X: a\r\n b\r\n\r\n", false, Progress::Malformed, 200, "", false},
        {"a bare line feed", ok + "X: a\nY: b\r\n\r\n", false, Progress::Malformed, 200, "", false},
        {"two lengths", ok + "Content-Length: 2\r\nContent-Length: 3\r\n\r\nhi", false,
         Progress::Malformed, 200, "", false},
        {"a signed length", ok + "Content-Length: -2\r\n\r\n", false, Progress::Malformed, 200, "",
         false},
        {"a compressed transfer", ok + "Transfer-Encoding: gzip, chunked\r\n\r\n", false,
         Progress::Malformed, 200, "", false},
        {"a chunk size that is no number", ok + "Transfer-Encoding: chunked\r\n\r\nzz\r\n", false,
         Progress::Malformed, 200, "", false},
        {"a chunk without its end", ok + "Transfer-Encoding: chunked\r\n\r\n2\r\nhiXX", false,
         Progress::Malformed, 200, "hi", false},
        {"a head without end", "HTTP/1.1 200 OK\r\nX: " + QByteArray(70000, 'x'), false,
         Progress::Malformed, 0, "", false},
        {"a chunk line without end",
         ok + "Transfer-Encoding: chunked\r\n\r\n1;" + QByteArray(2000, 'x'), false,
         Progress::Malformed, 200, "", false},
    };
    for (const Case& c : cases) {
        for (const bool byteByByte : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (byteByByte ? ", a byte at a time" : ""));
            HttpResponse response(1024);
            Progress progress = Progress::Incomplete;
            if (byteByByte)
                for (char byte : c.bytes)
                    progress = response.feed(QByteArrayView(&byte, 1));
            else
                progress = response.feed(c.bytes);
            if (c.thenClosed)
                progress = response.closed();
            EXPECT_EQ(progress, c.progress);
            EXPECT_EQ(response.status(), c.status);
            if (c.progress == Progress::Complete || c.progress == Progress::Incomplete) {
                EXPECT_EQ(response.body(), c.body);
            }
            EXPECT_EQ(response.keepsConnection(), c.keeps);
        }
    }
}

} // namespace
