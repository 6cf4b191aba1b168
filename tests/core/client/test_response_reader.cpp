// SPDX-License-Identifier: GPL-3.0-or-later
// The framings an upload's own connection must read its answer in, fed whole and a byte at a
// time, and the answers cut short or malformed that must never pass for complete.
#include "client/ResponseReader_p.h"

#include <QTest>

using namespace OrvelanNimbal;

Q_DECLARE_METATYPE(OrvelanNimbal::ResponseReader::State)

class TestResponseReader : public QObject {
    Q_OBJECT

private slots:
    void readsEveryFraming_data();
    void readsEveryFraming();
    void refusesWhatIsNotAnAnswer_data();
    void refusesWhatIsNotAnAnswer();
};

void TestResponseReader::readsEveryFraming_data()
{
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<bool>("closed"); // the connection ends after the bytes
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("etag");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("length, no body")
        << QByteArray("HTTP/1.1 200 OK\r\nETag: \"ab\"\r\nContent-Length: 0\r\n\r\n") << false
        << 200 << QByteArray("\"ab\"") << QByteArray();
    QTest::newRow("length, body, bytes after it ignored")
        << QByteArray("HTTP/1.1 403 Forbidden\r\ncontent-length: 5\r\n\r\nnon !extra") << false
        << 403 << QByteArray() << QByteArray("non !");
    QTest::newRow("chunks with an extension and a trailer")
        << QByteArray("HTTP/1.1 503 Busy\r\nTransfer-Encoding: chunked\r\n\r\n"
                      "4;x=y\r\nplus\r\n3\r\n tl\r\n0\r\nX-Trailer: 1\r\n\r\n")
        << false << 503 << QByteArray() << QByteArray("plus tl");
    QTest::newRow("until the connection ends")
        << QByteArray("HTTP/1.0 200 OK\r\nETag: e\r\n\r\nfin") << true << 200 << QByteArray("e")
        << QByteArray("fin");
    QTest::newRow("an interim answer first")
        << QByteArray("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nETag: z\r\n"
                      "Content-Length: 2\r\n\r\nok")
        << false << 200 << QByteArray("z") << QByteArray("ok");
}

void TestResponseReader::readsEveryFraming()
{
    QFETCH(QByteArray, wire);
    QFETCH(bool, closed);
    QFETCH(int, status);
    QFETCH(QByteArray, etag);
    QFETCH(QByteArray, body);

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
        QCOMPARE(reader.state(), ResponseReader::State::complete);
        QCOMPARE(reader.response().statusCode, status);
        QCOMPARE(reader.response().header("ETag").value_or(QByteArray()), etag);
        QCOMPARE(reader.body(), body);
    }
}

void TestResponseReader::refusesWhatIsNotAnAnswer_data()
{
    QTest::addColumn<QByteArray>("wire");

    QTest::newRow("not HTTP") << QByteArray("SSH-2.0-OpenSSH\r\n\r\n");
    QTest::newRow("no status") << QByteArray("HTTP/1.1 abc\r\n\r\n");
    QTest::newRow("header without a colon") << QByteArray("HTTP/1.1 200 OK\r\nETag\r\n\r\n");
    QTest::newRow("head cut short") << QByteArray("HTTP/1.1 200 OK\r\nETag: x\r\n");
    QTest::newRow("body shorter than announced")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc");
    QTest::newRow("chunks cut short")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nab");
    QTest::newRow("chunk size not hexadecimal")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n");
    QTest::newRow("negative length") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n");
}

void TestResponseReader::refusesWhatIsNotAnAnswer()
{
    QFETCH(QByteArray, wire);
    ResponseReader reader;
    reader.feed(wire);
    reader.finish();
    QCOMPARE(reader.state(), ResponseReader::State::malformed);
}

QTEST_APPLESS_MAIN(TestResponseReader)
#include "test_response_reader.moc"
