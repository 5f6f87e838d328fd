#include "service/httpreplyreader.h"

#include <QTest>

using State = HttpReplyReader::State;

namespace {

const QByteArray ok = "HTTP/1.1 200 OK\r\n", end = "\r\n";

QByteArray sized(const QByteArray &body, const QByteArray &status = ok)
{
    return status + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

QByteArray lines(int count, int size) // header lines of `size` bytes with their CRLF
{
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out += "X-" + QByteArray(size - 6, 'x') + ": \r\n";
    return out;
}

} // namespace

class TestHttpReplyReader : public QObject
{
    Q_OBJECT

private slots:
    void read_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("closed"); // the connection ends after them
        QTest::addColumn<State>("state");
        QTest::addColumn<QByteArray>("outcome"); // the status and body, or why it is unreadable
        const QByteArray chunked = ok + "Transfer-Encoding: chunked\r\n";
        const QByteArray chunks =
            "1a;name=\"v\"\r\nabcdefghijklmnopqrstuvwxyz\r\n3\r\n123\r\n0\r\n";
        const QByteArray letters = "abcdefghijklmnopqrstuvwxyz123", cap(65536, ' ');
        // `what` is the body of a complete reply, or why it is unreadable.
        const auto row = [](const char *name, const QByteArray &bytes, State state,
                            const QByteArray &what = {}, int status = 200, bool closed = false) {
            const QByteArray outcome =
                state == State::Complete ? QByteArray::number(status) + ' ' + what : what;
            QTest::addRow("%s", name)
                << bytes << (closed || state == State::Truncated) << state << outcome;
        };
        const State done = State::Complete, bad = State::Unreadable, cut = State::Truncated;
        row("Content-Length, bytes after the body", sized("hello") + "HTTP/1.1", done, "hello");
        row("LF line ends, HTTP/1.0", "HTTP/1.0 200 OK\nContent-Length: 2\n\nhi", done, "hi");
        row("204", "HTTP/1.1 204 No Content\r\n\r\n", done, {}, 204);
        row("fault at 500", sized("<f/>", "HTTP/1.1 500 Internal\r\n"), done, "<f/>", 500);
        row("chunked, hex sizes, extension, trailer", chunked + end + chunks + "X-T: t\r\n\r\n",
            done, letters);
        row("chunked over Content-Length", chunked + "Content-Length: 4\r\n\r\n" + chunks + end,
            done, letters);
        row("delimited by the close, at the cap", ok + end + cap, done, cap, 200, true);
        row("interim headers forgotten",
            "HTTP/1.1 103 Early Hints\r\nContent-Length: 9\r\n\r\n" + sized("ok"), done, "ok");
        row("body at the cap", sized(cap), done, cap);
        row("head at the bounds", ok + lines(98, 16300 / 98) + end, done, {}, 200, true);
        row("head cut", ok + "Content-", cut);
        row("chunks cut", chunked + end + chunks, cut);
        const QByteArray headBytes = "reply head over 16384 bytes",
                         tooBig = "reply over 65536 bytes";
        const QByteArray headLines = "reply head over 100 lines", longLine = "chunk line too long";
        row("head of 20 KiB", ok + lines(25, 800) + end, bad, headBytes);
        row("trailers of 20 KiB", chunked + end + "0\r\n" + lines(25, 800) + end, bad, headBytes);
        row("head of 101 lines", ok + lines(100, 10) + end, bad, headLines);
        row("interim lines counted",
            "HTTP/1.1 100 Continue\r\n" + lines(60, 10) + end + ok + lines(40, 10) + end, bad,
            headLines);
        row("Content-Length over the cap", sized(cap + ' '), bad, tooBig);
        row("close-delimited over the cap", ok + end + cap + ' ', bad, tooBig);
        row("chunk over the cap", chunked + end + "10001\r\n", bad, tooBig);
        row("chunks over the cap", chunked + end + "8000\r\n" + cap.left(0x8000) + end + "8001\r\n",
            bad, tooBig);
        row("chunk line of 1 KiB", chunked + end + QByteArray(1024, '0'), bad, longLine);
        row("chunk longer than its size", chunked + end + "3\r\nabcdef\r\n", bad, longLine);
        row("chunk without CRLF", chunked + end + "3\r\nabcX\n", bad, "chunk not ended by CRLF");
        row("chunk size not hex", chunked + end + "zz\r\n", bad, "bad chunk size");
        row("302 with a fault", sized("<f/>", "HTTP/1.1 302 Found\r\nLocation: /moved\r\n"), bad,
            "unexpected HTTP status 302 to /moved");
        row("101 final", "HTTP/1.1 101 Switching\r\n\r\n", bad, "unexpected HTTP status 101");
        row("gzip content", ok + "Content-Encoding: gzip\r\n\r\n", bad, "content encoding gzip");
        row("gzip transfer", ok + "Transfer-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n\r\n",
            bad, "transfer encoding gzip,chunked");
        row("conflicting Content-Length", ok + "Content-Length: 1\r\nContent-Length: 2\r\n", bad,
            "conflicting Content-Length");
        row("bad Content-Length", ok + "Content-Length: -5\r\n\r\n", bad, "bad Content-Length");
        row("no status line", "<html>\r\n", bad, "no HTTP status line");
        row("status of four digits", "HTTP/1.1 2000 OK\r\n", bad, "no HTTP status line");
        row("header without colon", ok + "NoColon\r\n", bad, "malformed header line");
    }

    void read()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, closed);
        QFETCH(State, state);
        // Whole, a byte at a time, and in two pieces split all along.
        const qsizetype step = qMax<qsizetype>(1, bytes.size() / 300);
        QList<QPair<qsizetype, qsizetype>> slicings{{bytes.size(), 1}, {1, 1}};
        for (qsizetype first = 1; first < bytes.size(); first += step)
            slicings.append({first, bytes.size()});
        for (const auto &[first, rest] : slicings) {
            HttpReplyReader reader; // pieces of `first` bytes, then of `rest`
            for (qsizetype at = 0; at < bytes.size(); at += at ? rest : first)
                reader.feed(bytes.sliced(at, qMin(at ? rest : first, bytes.size() - at)));
            QCOMPARE(closed ? reader.end() : reader.state(), state);
            const QByteArray reply = QByteArray::number(reader.status()) + ' ' + reader.body();
            QTEST(reader.detail().toUtf8() + (state == State::Complete ? reply : ""), "outcome");
        }
    }
};

QTEST_GUILESS_MAIN(TestHttpReplyReader)
#include "tst_httpreplyreader.moc"
