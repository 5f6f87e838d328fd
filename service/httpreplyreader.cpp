#include "httpreplyreader.h"

#include <QList>

HttpReplyReader::State HttpReplyReader::feed(QByteArrayView bytes)
{
    if (current != State::NeedMore)
        return current;
    in = in.mid(at) + bytes.toByteArray();
    at = 0;
    parse();
    return current;
}

HttpReplyReader::State HttpReplyReader::end()
{
    if (current == State::NeedMore)
        current = stage == Stage::UntilClose ? State::Complete : State::Truncated;
    in.clear();
    return current;
}

void HttpReplyReader::parse()
{
    QByteArray line;
    while (current == State::NeedMore) {
        switch (stage) {
        case Stage::Head:
        case Stage::Trailers:
            if (!takeLine(&line, headLeft) || !headLine(line))
                return;
            break;
        case Stage::Sized: {
            const qsizetype n = qMin(in.size() - at, qsizetype(length - content.size()));
            content += in.mid(at, n);
            at += n;
            if (content.size() == length)
                current = State::Complete;
            return;
        }
        case Stage::UntilClose:
            content += in.mid(at);
            at = in.size();
            if (content.size() > maxBodySize)
                fail(QStringLiteral("reply over %1 bytes").arg(maxBodySize));
            return;
        case Stage::ChunkSize: {
            if (!takeLine(&line, maxChunkLine))
                return;
            bool ok = false;
            const QByteArray size = line.split(';').first().trimmed(); // no extension used
            chunkLeft = size.toLongLong(&ok, 16);
            if (!ok || size.isEmpty() || chunkLeft < 0)
                return fail(QStringLiteral("bad chunk size"));
            if (chunkLeft > maxBodySize - content.size())
                return fail(QStringLiteral("reply over %1 bytes").arg(maxBodySize));
            stage = chunkLeft ? Stage::ChunkData : Stage::Trailers;
            break;
        }
        case Stage::ChunkData: {
            const qsizetype n = qMin(in.size() - at, qsizetype(chunkLeft));
            content += in.mid(at, n);
            at += n;
            chunkLeft -= n;
            if (chunkLeft)
                return;
            stage = Stage::ChunkEnd;
            break;
        }
        case Stage::ChunkEnd:
            if (!takeLine(&line, 2))
                return;
            if (!line.isEmpty())
                return fail(QStringLiteral("chunk not ended by CRLF"));
            stage = Stage::ChunkSize;
            break;
        }
    }
}

// Takes one line, LF or CRLF ended, of at most `bound` bytes with its end. False when none is
// whole yet, or after failing when the line is longer than `bound`.
bool HttpReplyReader::takeLine(QByteArray *line, qsizetype bound)
{
    const qsizetype lineEnd = in.indexOf('\n', at);
    if (lineEnd < 0 ? in.size() - at >= bound : lineEnd + 1 - at > bound) {
        fail(stage == Stage::ChunkSize || stage == Stage::ChunkEnd
                 ? QStringLiteral("chunk line too long")
                 : QStringLiteral("reply head over %1 bytes").arg(maxHeadSize));
        return false;
    }
    if (lineEnd < 0)
        return false;
    *line = in.mid(at, lineEnd - at);
    if (line->endsWith('\r'))
        line->chop(1);
    if (stage == Stage::Head || stage == Stage::Trailers)
        headLeft -= lineEnd + 1 - at;
    at = lineEnd + 1;
    return true;
}

// The status line, a header line, or the empty line that ends the head or the trailers. False
// once the reply has ended.
bool HttpReplyReader::headLine(const QByteArray &line)
{
    if (--headLinesLeft < 0) {
        fail(QStringLiteral("reply head over %1 lines").arg(maxHeadLines));
        return false;
    }
    if (stage == Stage::Trailers) {
        if (line.isEmpty())
            current = State::Complete;
        return current == State::NeedMore;
    }
    if (statusCode == 0) {
        const QList<QByteArray> parts = line.split(' ');
        bool ok = false;
        statusCode = parts.size() >= 2 && parts[0].startsWith("HTTP/1.") && parts[1].size() == 3
                         ? parts[1].toInt(&ok)
                         : 0;
        if (!ok || statusCode < 100) {
            fail(QStringLiteral("no HTTP status line"));
            return false;
        }
        return true;
    }
    if (!line.isEmpty()) {
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0) {
            fail(QStringLiteral("malformed header line"));
            return false;
        }
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "content-length") {
            if (!contentLength.isNull() && contentLength != value) {
                fail(QStringLiteral("conflicting Content-Length"));
                return false;
            }
            contentLength = value;
        } else if (name == "transfer-encoding") {
            transferEncoding += (transferEncoding.isEmpty() ? "" : ",") + value.toLower();
        } else if (name == "content-encoding") {
            contentEncoding = value.toLower();
        } else if (name == "location") {
            location = value;
        }
        return true;
    }
    // An interim reply (100 Continue and the like) precedes the real one, within the same bounds.
    if (statusCode < 200 && statusCode != 101) {
        statusCode = 0;
        contentLength = transferEncoding = contentEncoding = location = QByteArray();
        return true;
    }
    startBody();
    return current == State::NeedMore;
}

void HttpReplyReader::startBody()
{
    if (statusCode < 200 || (statusCode >= 300 && statusCode < 400))
        return fail(QStringLiteral("unexpected HTTP status %1%2")
                        .arg(statusCode)
                        .arg(location.isEmpty() ? QString()
                                                : QStringLiteral(" to ") +
                                                      QString::fromLatin1(location.left(200))));
    if (!contentEncoding.isEmpty() && contentEncoding != "identity")
        return fail(QStringLiteral("content encoding %1")
                        .arg(QString::fromLatin1(contentEncoding.left(50))));
    if (statusCode == 204 || statusCode == 304) {
        current = State::Complete;
        return;
    }
    if (!transferEncoding.isEmpty()) {
        if (transferEncoding != "chunked")
            return fail(QStringLiteral("transfer encoding %1")
                            .arg(QString::fromLatin1(transferEncoding.left(50))));
        stage = Stage::ChunkSize;
        return;
    }
    if (contentLength.isNull()) {
        stage = Stage::UntilClose;
        return;
    }
    bool ok = false;
    length = contentLength.toLongLong(&ok);
    if (!ok || length < 0)
        return fail(QStringLiteral("bad Content-Length"));
    if (length > maxBodySize)
        return fail(QStringLiteral("reply over %1 bytes").arg(maxBodySize));
    stage = Stage::Sized;
    if (length == 0)
        current = State::Complete;
}

void HttpReplyReader::fail(const QString &detail)
{
    current = State::Unreadable;
    why = detail;
    in.clear();
    content.clear();
}
