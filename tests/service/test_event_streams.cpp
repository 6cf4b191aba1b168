// SPDX-License-Identifier: GPL-3.0-or-later
// The service's event streams without a server: the decision a stream's writer makes at each
// turn, a burst of changes announced once, news waking the writer, and a stop of the service
// ending the streams.
#include "events/EventStreams.h"
#include "foundation/Database.h"
#include "foundation/DataDirectory.h"
#include "ServiceContext.h"
#include "ServiceSchema.h"

#include <QTemporaryDir>
#include <QTest>

#include <thread>

using namespace OrvelanNimbal::Service;
using namespace std::chrono_literals;

using Kind = StreamStep::Kind;

Q_DECLARE_METATYPE(StreamStep::Kind)

namespace {

// Far longer than any test: a stream with something to say must have been given news.
constexpr auto never = std::chrono::milliseconds(std::chrono::hours(1));

} // namespace

class TestEventStreams : public QObject {
    Q_OBJECT

private slots:
    void nextStep_data();
    void nextStep();
    void burstIsAnnouncedOnce();
    void stopEndsStreamsAndRefusesNewOnes();
};

void TestEventStreams::nextStep_data()
{
    // Keep-alive every second, changes held 50 ms; times in milliseconds before "now".
    QTest::addColumn<bool>("ended");
    QTest::addColumn<bool>("stalled");
    QTest::addColumn<int>("changedAgo"); // -1: no change waiting
    QTest::addColumn<int>("writtenAgo");
    QTest::addColumn<Kind>("expected");
    QTest::addColumn<int>("waitMilliseconds"); // for waitUntil: how long from now

    QTest::newRow("just written, quiet") << false << false << -1 << 0 << Kind::waitUntil << 1000;
    QTest::newRow("keep-alive due") << false << false << -1 << 1000 << Kind::keepAlive << 0;
    QTest::newRow("change joins others") << false << false << 10 << 10 << Kind::waitUntil << 40;
    QTest::newRow("change debounced") << false << false << 50 << 50 << Kind::announceChange << 0;
    QTest::newRow("keep-alive sooner than the change")
        << false << false << 10 << 980 << Kind::waitUntil << 20;
    QTest::newRow("ended") << true << false << -1 << 0 << Kind::end << 0;
    QTest::newRow("ended with a change waiting")
        << true << false << 10 << 10 << Kind::announceChange << 0;
    QTest::newRow("stalled, everything due")
        << false << true << 500 << 5000 << Kind::waitForNews << 0;
}

void TestEventStreams::nextStep()
{
    QFETCH(bool, ended);
    QFETCH(bool, stalled);
    QFETCH(int, changedAgo);
    QFETCH(int, writtenAgo);
    QFETCH(Kind, expected);
    QFETCH(int, waitMilliseconds);
    const StreamClock::time_point now = StreamClock::now();
    StreamState state;
    state.ended = ended;
    state.stalled = stalled;
    if (changedAgo >= 0)
        state.changedSince = now - std::chrono::milliseconds(changedAgo);
    state.lastWrite = now - std::chrono::milliseconds(writtenAgo);

    const StreamStep step = OrvelanNimbal::Service::nextStep(state, {1000ms, 50ms}, now);
    QCOMPARE(step.kind, expected);
    if (expected == Kind::waitUntil)
        QCOMPARE(step.until, now + std::chrono::milliseconds(waitMilliseconds));
}

void TestEventStreams::burstIsAnnouncedOnce()
{
    OpenStream stream(1, StreamTiming{never, 5ms});
    const StreamClock::time_point start = StreamClock::now();
    QCOMPARE(stream.take(start).kind, Kind::keepAlive); // the greeting, at once
    const StreamStep quiet = stream.take(start);
    QCOMPARE(quiet.kind, Kind::waitUntil);

    // A writer asleep until the keep-alive (an hour away) wakes with the first change.
    std::thread changes([&stream] {
        for (int i = 0; i < 10; ++i)
            stream.noteChange();
    });
    stream.wait(quiet, never);
    changes.join();
    QCOMPARE(stream.take(StreamClock::now() + 5ms).kind, Kind::announceChange);
    // Nothing more is due: the ten changes were one announcement.
    QCOMPARE(stream.take(StreamClock::now() + 10ms).kind, Kind::waitUntil);
}

void TestEventStreams::stopEndsStreamsAndRefusesNewOnes()
{
    QTemporaryDir directory;
    ServiceConfig config;
    config.dataDirectory = directory.path().toStdString();
    ServiceContext context(config, openDataDirectory(config.dataDirectory, serviceSchema()));
    EventStreams &streams = context.eventStreams;
    const auto stream = streams.open(1, never);
    QCOMPARE(stream->take(StreamClock::now()).kind, Kind::keepAlive);
    const StreamStep quiet = stream->take(StreamClock::now());
    QCOMPARE(quiet.kind, Kind::waitUntil);

    std::thread stop([&context] { context.requestStop(); });
    stream->wait(quiet, never); // woken by the stop, not by the keep-alive an hour away
    stop.join();

    QCOMPARE(stream->take(StreamClock::now()).kind, Kind::end);
    QVERIFY(!streams.open(1, never));
}

QTEST_GUILESS_MAIN(TestEventStreams)
#include "test_event_streams.moc"
