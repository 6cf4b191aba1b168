// SPDX-License-Identifier: GPL-3.0-or-later
// The framings an upload's own connection must read its answer in, fed whole and a byte at a
// time, and the answers cut short or malformed that must never pass for complete.
#include "net/ResponseReader_p.h"

#include <QTest>

using namespace OrvelanNimbal;

Q_DECLARE_METATYPE(OrvelanNimbal::ResponseReader::State)

class TestResponseReader : public QObject {
    Q_OBJECT

private slots:
    void read_data();
    void read();
};

void TestResponseReader::read_data()
{
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<bool>("closed"); // the connection ends after the bytes
    QTest::addColumn<int>("status");  // 0: never a whole answer
    QTest::addColumn<QByteArray>("etag");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("reusable"); // the connection may carry the next request
    const auto answer = [](const char *tag, QByteArray wire, bool closed, int status,
                           QByteArray etag, QByteArray body, bool reusable) {
        QTest::newRow(tag) << wire << closed << status << etag << body << reusable;
    };
    const auto malformed = [](const char *tag, QByteArray wire) {
        QTest::newRow(tag) << wire << true << 0 << QByteArray() << QByteArray() << false;
    };

    answer("length, no body", "HTTP/1.1 200 OK\r\nETag: \"ab\"\r\nContent-Length: 0\r\n\r\n", false,
           200, "\"ab\"", {}, true);
    answer("length, body, bytes after it ignored",
           "HTTP/1.1 403 Forbidden\r\ncontent-length: 5\r\n\r\nnon !extra", false, 403, {}, "non !",
           false);
    answer("chunks with an extension and a trailer",
           "HTTP/1.1 503 Busy\r\nTransfer-Encoding: chunked\r\n\r\n"
           "4;x=y\r\nplus\r\n3\r\n tl\r\n0\r\nX-Trailer: 1\r\n\r\n",
           false, 503, {}, "plus tl", true);
    answer("until the connection ends", "HTTP/1.0 200 OK\r\nETag: e\r\n\r\nfin", true, 200, "e",
           "fin", false);
    answer("an interim answer first",
           "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nETag: z\r\nContent-Length: 2\r\n\r\nok",
           false, 200, "z", "ok", true);
    answer("the server closes after it",
           "HTTP/1.1 200 OK\r\nConnection: keep-alive, Close\r\nContent-Length: 2\r\n\r\nok", false,
           200, {}, "ok", false);
    answer("HTTP/1.0 with a length", "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok", false, 200,
           {}, "ok", false);

    malformed("not HTTP", "SSH-2.0-OpenSSH\r\n\r\n");
    malformed("no status", "HTTP/1.1 abc\r\n\r\n");
    malformed("header without a colon", "HTTP/1.1 200 OK\r\nETag\r\n\r\n");
    malformed("head cut short", "HTTP/1.1 200 OK\r\nETag: x\r\n");
    malformed("body shorter than announced", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc");
    malformed("chunks cut short", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nab");
    malformed("chunk size not hexadecimal",
              "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n");
    malformed("negative length", "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n");
}

void TestResponseReader::read()
{
    QFETCH(QByteArray, wire);
    QFETCH(bool, closed);
    QFETCH(int, status);
    QFETCH(QByteArray, etag);
    QFETCH(QByteArray, body);
    QFETCH(bool, reusable);

    for (const bool byteByByte : {false, true}) {
        ResponseReader reader;
        if (byteByByte) {
            for (const char byte : wire)
                reader.feed(QByteArrayView(&byte, 1));
        } else {
            reader.feed(wire);
        }
        if (closed)
            reader.finish();
        if (status == 0) {
            QCOMPARE(reader.state(), ResponseReader::State::malformed);
            continue;
        }
        QCOMPARE(reader.state(), ResponseReader::State::complete);
        QCOMPARE(reader.response().statusCode, status);
        QCOMPARE(reader.response().header("ETag").value_or(QByteArray()), etag);
        QCOMPARE(reader.body(), body);
        QCOMPARE(reader.leavesConnectionOpen(), reusable);
    }
}

QTEST_APPLESS_MAIN(TestResponseReader)
#include "test_response_reader.moc"
