#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Reads one HTTP/1.1 reply from bytes handed in as they arrive, in any slicing, and never holds
// more than its bounds: the head (status line and header lines, interim 1xx replies included)
// within maxHeadSize bytes and maxHeadLines lines, a body of at most maxBodySize bytes, chunk
// lines within maxChunkLine bytes. The body ends by its Content-Length, by chunked encoding
// (preferred when both come) or by the close. Only identity content is accepted, and a 1xx or
// 3xx final status is refused: a redirect's body, whatever it says, is not the service's answer.
class HttpReplyReader
{
public:
    static constexpr qint64 maxBodySize = 64 * 1024;
    static constexpr qint64 maxHeadSize = 16 * 1024;
    static constexpr int maxHeadLines = 100;
    static constexpr qsizetype maxChunkLine = 1024;

    enum class State {
        NeedMore,
        Complete,   // status() and body() hold the reply
        Unreadable, // not the HTTP reply expected, or over a bound; detail() says which
        Truncated,  // the connection ended before a whole reply
    };

    // Takes the next bytes received. Once the state is no longer NeedMore it stays as it is.
    State feed(QByteArrayView bytes);
    // The connection ended: completes a reply delimited by the close.
    State end();

    State state() const { return current; }
    int status() const { return statusCode; }
    const QByteArray &body() const { return content; }
    // What went wrong, for the log.
    const QString &detail() const { return why; }

private:
    enum class Stage { Head, Sized, UntilClose, ChunkSize, ChunkData, ChunkEnd, Trailers };

    void parse();
    bool takeLine(QByteArray *line, qsizetype bound);
    bool headLine(const QByteArray &line);
    void startBody();
    void fail(const QString &detail);

    State current = State::NeedMore;
    Stage stage = Stage::Head;
    QByteArray in; // received; parsed up to `at`
    qsizetype at = 0;
    qint64 headLeft = maxHeadSize;
    int headLinesLeft = maxHeadLines;
    int statusCode = 0; // 0 until the status line
    QByteArray contentLength, transferEncoding, contentEncoding, location;
    qint64 chunkLeft = 0;
    qint64 length = 0;
    QByteArray content;
    QString why;
};
