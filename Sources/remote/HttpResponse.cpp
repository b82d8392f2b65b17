#include "remote/HttpResponse.h"

#include <algorithm>

namespace {

// Far more than any server's head or chunk line.
constexpr qsizetype longestHead = 64 * 1024;
constexpr qsizetype longestLine = 1024;

bool isDigits(QByteArrayView text) {
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool isHex(QByteArrayView text) {
    return !text.isEmpty() && text.size() <= 15 &&
           std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
           });
}

} // namespace

QByteArray HttpResponse::header(QByteArrayView lowerName) const {
    for (const auto& [name, value] : headers_)
        if (name == lowerName)
            return value;
    return {};
}

bool HttpResponse::keepsConnection() const {
    return progress_ == Progress::Complete && !http10_ && framing_ != Framing::UntilClose &&
           !header("connection").toLower().contains("close");
}

HttpResponse::Progress HttpResponse::feed(QByteArrayView bytes) {
    if (progress_ != Progress::Incomplete)
        return progress_;
    in_.append(bytes.data(), bytes.size());
    progress_ = parse();
    // What is read goes, so the buffer holds only what waits for more.
    in_.remove(0, pos_);
    pos_ = 0;
    return progress_;
}

HttpResponse::Progress HttpResponse::closed() {
    if (progress_ == Progress::Incomplete)
        progress_ =
            headDone_ && framing_ == Framing::UntilClose ? Progress::Complete : Progress::Cut;
    return progress_;
}

bool HttpResponse::takeLine(QByteArrayView& line, qsizetype longest, Progress& failure) {
    const qsizetype end = in_.indexOf("\r\n", pos_);
    if (end < 0) {
        failure = in_.size() - pos_ > longest ? Progress::Malformed : Progress::Incomplete;
        return false;
    }
    if (end - pos_ > longest) {
        failure = Progress::Malformed;
        return false;
    }
    line = QByteArrayView(in_).sliced(pos_, end - pos_);
    pos_ = end + 2;
    return true;
}

HttpResponse::Progress HttpResponse::parse() {
    while (!headDone_) {
        if (const Progress head = parseHead(); head != Progress::Complete)
            return head;
    }
    switch (framing_) {
    case Framing::Length: {
        const qint64 taken = std::min<qint64>(remaining_, in_.size() - pos_);
        body_.append(in_.constData() + pos_, taken);
        pos_ += taken;
        remaining_ -= taken;
        return remaining_ == 0 ? Progress::Complete : Progress::Incomplete;
    }
    case Framing::UntilClose:
        if (body_.size() + (in_.size() - pos_) > largestBody_)
            return Progress::TooLarge;
        body_.append(in_.constData() + pos_, in_.size() - pos_);
        pos_ = in_.size();
        return Progress::Incomplete;
    case Framing::Chunked:
        return parseChunks();
    }
    return Progress::Malformed;
}

// The status line and the header fields, up to the empty line. An interim
// answer (1xx) is passed over.
HttpResponse::Progress HttpResponse::parseHead() {
    // Another protocol's greeting (an SSH server's port) is told at its first
    // bytes, not when the deadline ends a wait for a head that never comes.
    const QByteArrayView version("HTTP/1.");
    const qsizetype start = std::min(in_.size() - pos_, version.size());
    if (QByteArrayView(in_).sliced(pos_, start) != version.first(start))
        return Progress::Malformed;
    const qsizetype end = in_.indexOf("\r\n\r\n", pos_);
    if (end < 0)
        return in_.size() - pos_ > longestHead ? Progress::Malformed : Progress::Incomplete;
    if (end - pos_ > longestHead)
        return Progress::Malformed;
    const QByteArray head = in_.mid(pos_, end - pos_);
    pos_ = end + 4;
    QList<QByteArray> fields;
    for (qsizetype from = 0;;) {
        const qsizetype next = head.indexOf("\r\n", from);
        fields.append(head.mid(from, next < 0 ? -1 : next - from));
        if (next < 0)
            break;
        from = next + 2;
    }
    const QByteArray& statusLine = fields.front();
    // "HTTP/1.1 200 OK": the version, a space, three digits, then anything.
    if (!statusLine.startsWith("HTTP/1.") || statusLine.size() < 12 || statusLine[8] != ' ' ||
        !isDigits(QByteArrayView(statusLine).sliced(9, 3)) ||
        (statusLine.size() > 12 && statusLine[12] != ' '))
        return Progress::Malformed;
    http10_ = statusLine[7] == '0';
    status_ = statusLine.mid(9, 3).toInt();
    if (status_ < 100)
        return Progress::Malformed;
    headers_.clear();
    for (qsizetype i = 1; i < fields.size(); ++i) {
        const QByteArray& field = fields[i];
        if (field.contains('\n') || field.contains('\r'))
            return Progress::Malformed; // a bare CR or LF inside the head
        const qsizetype colon = field.indexOf(':');
        // A name without white space (a folded line starts with some).
        if (colon <= 0 || field.left(colon).contains(' ') || field.left(colon).contains('\t'))
            return Progress::Malformed;
        headers_.append({field.left(colon).toLower(), field.mid(colon + 1).trimmed()});
    }
    if (status_ < 200)
        return Progress::Complete; // interim: the real head follows (headDone_ stays false)
    headDone_ = true;

    const QByteArray transfer = header("transfer-encoding").toLower();
    QByteArray length;
    for (const auto& [name, value] : std::as_const(headers_)) {
        if (name != "content-length")
            continue;
        if (!isDigits(value) || value.size() > 15 || (!length.isNull() && value != length))
            return Progress::Malformed;
        length = value;
    }
    if (status_ == 204 || status_ == 304) {
        framing_ = Framing::Length;
        remaining_ = 0;
    } else if (!transfer.isEmpty()) {
        if (transfer != "chunked")
            return Progress::Malformed; // no other coding is asked for or read
        framing_ = Framing::Chunked;
    } else if (!length.isNull()) {
        framing_ = Framing::Length;
        remaining_ = length.toLongLong();
        if (remaining_ > largestBody_)
            return Progress::TooLarge;
    } else {
        framing_ = Framing::UntilClose;
    }
    return Progress::Complete;
}

HttpResponse::Progress HttpResponse::parseChunks() {
    Progress failure = Progress::Incomplete;
    for (;;) {
        QByteArrayView line;
        switch (chunk_) {
        case Chunk::Size: {
            if (!takeLine(line, longestLine, failure))
                return failure;
            // The size in hex, then maybe ";extension".
            const qsizetype semicolon = line.indexOf(';');
            const QByteArrayView size = (semicolon < 0 ? line : line.first(semicolon)).trimmed();
            if (!isHex(size))
                return Progress::Malformed;
            const qint64 bytes = size.toLongLong(nullptr, 16);
            if (body_.size() + bytes > largestBody_)
                return Progress::TooLarge;
            remaining_ = bytes;
            chunk_ = bytes == 0 ? Chunk::Trailer : Chunk::Data;
            break;
        }
        case Chunk::Data: {
            const qint64 taken = std::min<qint64>(remaining_, in_.size() - pos_);
            body_.append(in_.constData() + pos_, taken);
            pos_ += taken;
            remaining_ -= taken;
            if (remaining_ > 0)
                return Progress::Incomplete;
            chunk_ = Chunk::DataEnd;
            break;
        }
        case Chunk::DataEnd:
            if (in_.size() - pos_ < 2)
                return Progress::Incomplete;
            if (in_[pos_] != '\r' || in_[pos_ + 1] != '\n')
                return Progress::Malformed;
            pos_ += 2;
            chunk_ = Chunk::Size;
            break;
        case Chunk::Trailer:
            // Trailer fields are passed over up to the empty line.
            if (!takeLine(line, longestLine, failure))
                return failure;
            if (line.isEmpty())
                return Progress::Complete;
            break;
        }
    }
}
