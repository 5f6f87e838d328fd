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
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body"); // of a complete reply
        QTest::addColumn<QString>("detail");  // of an unreadable one
        const QByteArray chunked = ok + "Transfer-Encoding: chunked\r\n";
        const QByteArray chunks =
            "1a;name=\"v\"\r\nabcdefghijklmnopqrstuvwxyz\r\n3\r\n123\r\n0\r\n";
        const QByteArray letters = "abcdefghijklmnopqrstuvwxyz123", cap(65536, ' ');
        const auto done = [](const char *name, const QByteArray &bytes, int status,
                             const QByteArray &body, bool closed = false) {
            QTest::addRow("%s", name)
                << bytes << closed << State::Complete << status << body << QString();
        };
        const auto bad = [](const char *name, const QByteArray &bytes, const QString &why) {
            QTest::addRow("%s", name)
                << bytes << false << State::Unreadable << 0 << QByteArray() << why;
        };
        const auto more = [](const char *name, const QByteArray &bytes, bool closed) {
            QTest::addRow("%s", name)
                << bytes << closed << (closed ? State::Truncated : State::NeedMore) << 0
                << QByteArray() << QString();
        };
        done("Content-Length, bytes after the body", sized("hello") + "HTTP/1.1", 200, "hello");
        done("LF line ends, HTTP/1.0", "HTTP/1.0 200 OK\nContent-Length: 2\n\nhi", 200, "hi");
        done("204", "HTTP/1.1 204 No Content\r\n\r\n", 204, {});
        done("fault at 500", sized("<f/>", "HTTP/1.1 500 Internal\r\n"), 500, "<f/>");
        done("chunked, hex sizes, extension, trailer", chunked + end + chunks + "X-T: t\r\n\r\n",
             200, letters);
        done("chunked over Content-Length", chunked + "Content-Length: 4\r\n\r\n" + chunks + end,
             200, letters);
        done("delimited by the close", ok + end + "whole", 200, "whole", true);
        done("interim headers forgotten",
             "HTTP/1.1 103 Early Hints\r\nContent-Length: 9\r\n\r\n" + sized("ok"), 200, "ok");
        done("body at the cap", sized(cap), 200, cap);
        done("head at the bounds", ok + lines(98, 16300 / 98) + end, 200, {}, true);
        more("until the close, not closed", ok + end + "part", false);
        more("head cut", ok + "Content-", true);
        more("sized body cut", sized("hello").chopped(1), true);
        more("chunks cut", chunked + end + chunks, true);
        const QString headBytes = "reply head over 16384 bytes", tooBig = "reply over 65536 bytes";
        bad("head of 20 KiB", ok + lines(25, 800) + end, headBytes);
        bad("trailers of 20 KiB", chunked + end + "0\r\n" + lines(25, 800) + end, headBytes);
        bad("head of 101 lines", ok + lines(100, 10) + end, "reply head over 100 lines");
        bad("interim lines counted",
            "HTTP/1.1 100 Continue\r\n" + lines(60, 10) + end + ok + lines(40, 10) + end,
            "reply head over 100 lines");
        bad("Content-Length over the cap", sized(cap + ' '), tooBig);
        bad("close-delimited over the cap", ok + end + cap + ' ', tooBig);
        bad("chunk over the cap", chunked + end + "10001\r\n", tooBig);
        bad("chunks over the cap", chunked + end + "8000\r\n" + cap.left(0x8000) + end + "8001\r\n",
            tooBig);
        bad("chunk line of 1 KiB", chunked + end + QByteArray(1024, '0'), "chunk line too long");
        bad("chunk longer than its size", chunked + end + "3\r\nabcdef\r\n", "chunk line too long");
        bad("chunk without its CRLF", chunked + end + "3\r\nabcX\n", "chunk not ended by CRLF");
        bad("chunk size not hex", chunked + end + "zz\r\n", "bad chunk size");
        bad("302 with a fault", sized("<f/>", "HTTP/1.1 302 Found\r\nLocation: /moved\r\n"),
            "unexpected HTTP status 302 to /moved");
        bad("101 final", "HTTP/1.1 101 Switching\r\n\r\n", "unexpected HTTP status 101");
        bad("gzip content", ok + "Content-Encoding: gzip\r\n\r\n", "content encoding gzip");
        bad("gzip transfer", ok + "Transfer-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n\r\n",
            "transfer encoding gzip,chunked");
        bad("conflicting Content-Length", ok + "Content-Length: 1\r\nContent-Length: 2\r\n",
            "conflicting Content-Length");
        bad("bad Content-Length", ok + "Content-Length: -5\r\n\r\n", "bad Content-Length");
        bad("no status line", "<html>\r\n", "no HTTP status line");
        bad("status of four digits", "HTTP/1.1 2000 OK\r\n", "no HTTP status line");
        bad("header without colon", ok + "NoColon\r\n", "malformed header line");
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
            QTEST(reader.detail(), "detail");
            if (state == State::Complete) {
                QTEST(reader.status(), "status");
                QTEST(reader.body(), "body");
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestHttpReplyReader)
#include "tst_httpreplyreader.moc"
