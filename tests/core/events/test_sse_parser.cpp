// SPDX-License-Identifier: GPL-3.0-or-later
#include "events/SSEParser.h"

#include <QTest>

using namespace OrvelanNimbal;
using namespace Qt::StringLiterals;

using Events = QList<ServerSentEvent>;
Q_DECLARE_METATYPE(Events)

namespace OrvelanNimbal {
char *toString(const ServerSentEvent &event)
{
    return QTest::toString(event.event + QStringLiteral(" « ") + event.data + QStringLiteral(" »"));
}
} // namespace OrvelanNimbal

namespace {

ServerSentEvent message(const QString &data)
{
    return {u"message"_s, data};
}

} // namespace

// The same bytes must give the same events however the network cuts them: byte by byte, and in
// one, two or three pieces split at every position (inside CR LF and inside multi-byte
// characters among them).
class TestSSEParser : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
};

void TestSSEParser::parse_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Events>("expected");
    const auto row = [](const char *tag, QByteArray bytes, Events expected) {
        QTest::newRow(tag) << bytes << expected;
    };
    const ServerSentEvent changed{u"drive.changed"_s, u"{}"_s};

    row("named event with data", "event: drive.changed\ndata: {}\n\n", {changed});
    row("CR LF line ends", "event: drive.changed\r\ndata: {}\r\n\r\n", {changed});
    row("lone CR stays in the line", "data: a\rb\n\n", {message(u"a\rb"_s)});
    row("only the CR before LF is dropped", "data: a\r\r\n\n", {message(u"a\r"_s)});
    row("data lines joined with LF", "data: a\ndata: b\n\n", {message(u"a\nb"_s)});
    row("only one leading space removed", "data:  x\n\n", {message(u" x"_s)});
    row("no space after the colon", "data:x\n\n", {message(u"x"_s)});
    row("further colons belong to the value", "data: a: b\n\n", {message(u"a: b"_s)});
    row("comment between data lines", "data: a\n: ping\ndata: b\n\n", {message(u"a\nb"_s)});
    row("event without data", "event: x\n\n", {{u"x"_s, {}}});
    row("data field without colon", "data\n\n", {message({})});
    row("later event lines replace earlier ones",
        "event: a\nevent: b\n\nevent: x\nevent:\ndata: d\n\n", {{u"b"_s, {}}, message(u"d"_s)});
    row("event name keeps other spaces", "event:  drive.changed \n\n",
        {{u" drive.changed "_s, {}}});
    row("id and retry are ignored", "id: 7\n\nid: 8\nretry: 10\ndata: d\n\n", {message(u"d"_s)});
    row("field names are exact", "Event: x\nDATA: y\n data: z\n\n", {});
    row("unfinished event and line kept back", "data: a\n\ndata: b\ndata: c", {message(u"a"_s)});
    row("several events in order",
        "event: drive.changed\ndata: 1\n\n: ping\n\nevent: other\ndata: 2\n\ndata: 3\n\n",
        {{u"drive.changed"_s, u"1"_s}, {u"other"_s, u"2"_s}, message(u"3"_s)});
    row("multi-byte characters", "data: été ✓ 🙂\r\n\r\n", {message(u"été ✓ 🙂"_s)});
    // U+FEFF is EF BB BF in UTF-8.
    row("a byte-order mark opens the stream",
        "\xEF\xBB\xBF"
        "data: a\n\n",
        {message(u"a"_s)});
    row("only one byte-order mark",
        "\xEF\xBB\xBF\xEF\xBB\xBF"
        "data: a\n\n",
        {});
    row("U+FEFF later makes another field name",
        "data: a\n\xEF\xBB\xBF"
        "data: b\n\n",
        {message(u"a"_s)});
    row("U+FEFF in values kept",
        "data:\xEF\xBB\xBF"
        "a\nevent: \xEF\xBB\xBFx\n\n",
        {{u"\uFEFFx"_s, u"\uFEFFa"_s}});
    row("invalid byte replaced", "data: a\xFF-\n\n", {message(u"a\uFFFD-"_s)});
    row("character cut by the line end replaced", "data: \xC3\ndata: ok\n\n",
        {message(u"\uFFFD\nok"_s)});
}

void TestSSEParser::parse()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Events, expected);
    const QByteArrayView all(bytes);
    const auto feed = [](SSEParser &parser, QByteArrayView piece, Events &events) {
        const std::vector<ServerSentEvent> completed = parser.feed(piece);
        events.append(Events(completed.begin(), completed.end()));
        return !completed.empty();
    };

    // Byte by byte, an event comes out exactly with the line feed that ends it: neither
    // earlier nor on some later call.
    SSEParser byteByByte;
    Events events;
    for (qsizetype i = 0; i < all.size(); ++i) {
        if (feed(byteByByte, all.sliced(i, 1), events))
            QCOMPARE(all[i], '\n');
    }
    QCOMPARE(events, expected);

    for (qsizetype first = 0; first <= all.size(); ++first) {
        for (qsizetype second = first; second <= all.size(); ++second) {
            SSEParser parser;
            Events split;
            for (QByteArrayView piece :
                 {all.first(first), all.sliced(first, second - first), all.sliced(second)})
                feed(parser, piece, split);
            if (split != expected) {
                qWarning("split at %lld and %lld", static_cast<long long>(first),
                         static_cast<long long>(second));
                QCOMPARE(split, expected);
            }
        }
    }
}

QTEST_GUILESS_MAIN(TestSSEParser)
#include "test_sse_parser.moc"
