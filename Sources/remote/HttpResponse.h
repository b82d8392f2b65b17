#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <utility>

// One HTTP/1.1 answer read from a connection as its bytes come: the status
// line, the header fields and the body, sized by Content-Length, in chunks,
// or running until the server closes. Nothing in it is trusted: a head or a
// chunk line without end, a body larger than allowed or framing that does
// not add up stops the reading.
class HttpResponse {
public:
    enum class Progress {
        Incomplete, // more bytes are needed
        Complete,
        Malformed, // not HTTP as a server should write it
        TooLarge,  // a body over the limit
        Cut,       // the connection closed before the answer was whole
    };

    explicit HttpResponse(qint64 largestBody) : largestBody_(largestBody) {}

    Progress feed(QByteArrayView bytes);
    // The server closed the connection: a body that runs until then is whole.
    Progress closed();

    int status() const { return status_; }
    // A header field's value by its name in lower case; empty when absent.
    QByteArray header(QByteArrayView lowerName) const;
    const QByteArray& body() const { return body_; }
    // Whether the connection may carry the next request.
    bool keepsConnection() const;

private:
    enum class Framing { Length, Chunked, UntilClose };
    enum class Chunk { Size, Data, DataEnd, Trailer };

    Progress parse();
    Progress parseHead();
    Progress parseChunks();
    // A line ending in CRLF from pos_, or nothing yet; longer lines than
    // longest are malformed.
    bool takeLine(QByteArrayView& line, qsizetype longest, Progress& failure);

    qint64 largestBody_;
    QByteArray in_;
    qsizetype pos_ = 0;
    Progress progress_ = Progress::Incomplete;
    bool headDone_ = false;
    bool http10_ = false;
    int status_ = 0;
    QList<std::pair<QByteArray, QByteArray>> headers_;
    Framing framing_ = Framing::UntilClose;
    qint64 remaining_ = 0; // of a sized body, or of the chunk being read
    Chunk chunk_ = Chunk::Size;
    QByteArray body_;
};
