// SPDX-License-Identifier: GPL-3.0-or-later
#include "events/SSEParser.h"

#include <QTest>

using namespace OrvelanNimbal;

using Events = QList<ServerSentEvent>;
Q_DECLARE_METATYPE(Events)

namespace OrvelanNimbal {
char *toString(const ServerSentEvent &event) {
    return QTest::toString(event.event + QStringLiteral(" « ") + event.data + QStringLiteral(" »"));
}
} // namespace OrvelanNimbal

namespace {

ServerSentEvent message(const QString &data) {
    return {QStringLiteral("message"), data};
}

Events feedAll(SSEParser &parser, const QList<QByteArrayView> &chunks) {
    Events events;
    for (QByteArrayView chunk : chunks) {
        for (ServerSentEvent &event : parser.feed(chunk))
            events.append(std::move(event));
    }
    return events;
}

} // namespace

// The same bytes must give the same events however the network cuts them: in one piece, byte
// by byte, and in two or three pieces split at every position (inside CR LF and inside
// multi-byte characters among them).
class TestSSEParser : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
};

void TestSSEParser::parse_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Events>("expected");

    const ServerSentEvent changed{QStringLiteral("drive.changed"), QStringLiteral("{}")};
    QTest::newRow("named event with data")
        << QByteArray("event: drive.changed\ndata: {}\n\n") << Events{changed};
    QTest::newRow("CR LF line ends")
        << QByteArray("event: drive.changed\r\ndata: {}\r\n\r\n") << Events{changed};
    QTest::newRow("lone CR stays in the line")
        << QByteArray("data: a\rb\n\n") << Events{message(QStringLiteral("a\rb"))};
    QTest::newRow("only the CR before LF is dropped")
        << QByteArray("data: a\r\r\n\n") << Events{message(QStringLiteral("a\r"))};
    QTest::newRow("CR LF alone ends the event")
        << QByteArray("data: a\n\r\n") << Events{message(QStringLiteral("a"))};
    QTest::newRow("CR CR LF is not an empty line") << QByteArray("data: a\n\r\r\n") << Events{};
    QTest::newRow("data lines joined with LF")
        << QByteArray("data: a\ndata: b\n\n") << Events{message(QStringLiteral("a\nb"))};
    QTest::newRow("only one leading space removed")
        << QByteArray("data:  x\n\n") << Events{message(QStringLiteral(" x"))};
    QTest::newRow("no space after the colon")
        << QByteArray("data:x\n\n") << Events{message(QStringLiteral("x"))};
    QTest::newRow("further colons belong to the value")
        << QByteArray("data: a: b\n\n") << Events{message(QStringLiteral("a: b"))};
    QTest::newRow("comment alone gives nothing") << QByteArray(": keep-alive\n\n") << Events{};
    QTest::newRow("comment between data lines")
        << QByteArray("data: a\n: ping\ndata: b\n\n") << Events{message(QStringLiteral("a\nb"))};
    QTest::newRow("event without data")
        << QByteArray("event: x\n\n") << Events{{QStringLiteral("x"), QString()}};
    QTest::newRow("data field without colon") << QByteArray("data\n\n") << Events{message({})};
    QTest::newRow("empty data value") << QByteArray("data: \n\n") << Events{message({})};
    QTest::newRow("empty event value clears the name")
        << QByteArray("event: x\nevent:\ndata: d\n\n") << Events{message(QStringLiteral("d"))};
    QTest::newRow("last event name wins")
        << QByteArray("event: a\nevent: b\n\n") << Events{{QStringLiteral("b"), QString()}};
    QTest::newRow("event name keeps other spaces")
        << QByteArray("event:  drive.changed \n\n")
        << Events{{QStringLiteral(" drive.changed "), QString()}};
    QTest::newRow("id and retry are ignored")
        << QByteArray("id: 7\nretry: 10\ndata: d\n\n") << Events{message(QStringLiteral("d"))};
    QTest::newRow("id alone makes no event") << QByteArray("id: 7\n\n") << Events{};
    QTest::newRow("field names are case-sensitive")
        << QByteArray("Event: x\nDATA: y\n\n") << Events{};
    QTest::newRow("a leading space is part of the name") << QByteArray(" data: x\n\n") << Events{};
    QTest::newRow("blank lines between events")
        << QByteArray("\n\n\ndata: a\n\n\n\n") << Events{message(QStringLiteral("a"))};
    QTest::newRow("unfinished event is kept back")
        << QByteArray("event: drive.changed\ndata: a\n") << Events{};
    QTest::newRow("unfinished line is kept back")
        << QByteArray("data: a\n\ndata: b\n\ndata: c")
        << Events{message(QStringLiteral("a")), message(QStringLiteral("b"))};
    QTest::newRow("several events in order")
        << QByteArray("event: drive.changed\ndata: 1\n\n: ping\n\nevent: other\ndata: 2\n\n"
                      "data: 3\n\n")
        << Events{{QStringLiteral("drive.changed"), QStringLiteral("1")},
                  {QStringLiteral("other"), QStringLiteral("2")},
                  message(QStringLiteral("3"))};
    QTest::newRow("multi-byte characters") << QByteArray("data: été ✓ 🙂\r\n\r\n")
                                           << Events{message(QStringLiteral("été ✓ 🙂"))};
    QTest::newRow("multi-byte event name") << QByteArray("event: dossier.créé\n\n")
                                           << Events{{QStringLiteral("dossier.créé"), QString()}};
    QTest::newRow("invalid byte replaced") << QByteArray("data: a\xFF"
                                                         "b\n\n")
                                           << Events{message(QStringLiteral("a\uFFFDb"))};
    QTest::newRow("character cut by the line end replaced")
        << QByteArray("data: \xC3\ndata: ok\n\n") << Events{message(QStringLiteral("\uFFFD\nok"))};
}

void TestSSEParser::parse() {
    QFETCH(QByteArray, bytes);
    QFETCH(Events, expected);
    const QByteArrayView all(bytes);

    {
        SSEParser parser;
        QCOMPARE(feedAll(parser, {all}), expected);
    }
    {
        // Byte by byte, an event comes out exactly with the line feed that ends it: neither
        // earlier nor on some later call.
        SSEParser parser;
        Events events;
        for (qsizetype i = 0; i < all.size(); ++i) {
            const std::vector<ServerSentEvent> completed = parser.feed(all.sliced(i, 1));
            if (!completed.empty())
                QCOMPARE(all[i], '\n');
            events.append(Events(completed.begin(), completed.end()));
        }
        QCOMPARE(events, expected);
    }
    for (qsizetype first = 0; first <= all.size(); ++first) {
        for (qsizetype second = first; second <= all.size(); ++second) {
            SSEParser parser;
            const Events events = feedAll(
                parser, {all.first(first), all.sliced(first, second - first), all.sliced(second)});
            if (events != expected) {
                qWarning("split at %lld and %lld", static_cast<long long>(first),
                         static_cast<long long>(second));
                QCOMPARE(events, expected);
            }
        }
    }
}

QTEST_GUILESS_MAIN(TestSSEParser)
#include "test_sse_parser.moc"
