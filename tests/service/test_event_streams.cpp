// SPDX-License-Identifier: GPL-3.0-or-later
// The service's event streams without a server: the decision a stream's worker makes at each
// turn, a burst of changes announced once, and a stop of the service ending the streams.
#include "events/EventStreams.h"
#include "foundation/DataDirectory.h"
#include "foundation/Database.h"
#include "foundation/ServiceContext.h"

#include <QTemporaryDir>
#include <QTest>

#include <future>

using namespace OrvelanNimbal::Service;
using namespace std::chrono_literals;

using Kind = StreamStep::Kind;
using Next = OpenStream::Next;

Q_DECLARE_METATYPE(StreamStep::Kind)

namespace {

// Far longer than any test: a stream that answers must have been woken.
constexpr auto never = std::chrono::milliseconds(std::chrono::hours(1));

// The worker's next answer, from another thread, so that a test can see it still waiting.
std::future<Next> nextInBackground(const std::shared_ptr<OpenStream> &stream)
{
    return std::async(std::launch::async, [stream] { return stream->waitForNext(); });
}

bool isWaiting(std::future<Next> &next)
{
    return next.wait_for(20ms) == std::future_status::timeout;
}

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
    auto stream = std::make_shared<OpenStream>(1, StreamTiming{never, 5ms});
    QCOMPARE(stream->waitForNext(), Next::keepAlive); // the greeting, at once
    for (int i = 0; i < 10; ++i)
        stream->noteChange();
    QCOMPARE(stream->waitForNext(), Next::announceChange);

    // Nothing more is due: the ten changes were one announcement.
    auto next = nextInBackground(stream);
    QVERIFY(isWaiting(next));
    stream->end();
    QCOMPARE(next.wait_for(2s), std::future_status::ready);
    QCOMPARE(next.get(), Next::end);
}

void TestEventStreams::stopEndsStreamsAndRefusesNewOnes()
{
    QTemporaryDir directory;
    ServiceConfig config;
    config.dataDirectory = directory.path().toStdString();
    ServiceContext context(config, openDataDirectory(config.dataDirectory));
    EventStreams &streams = context.component<EventStreams>();
    const auto stream = streams.open(1, never);
    QCOMPARE(stream->waitForNext(), Next::keepAlive);
    auto next = nextInBackground(stream);
    QVERIFY(isWaiting(next));

    context.requestStop();

    QCOMPARE(next.wait_for(2s), std::future_status::ready);
    QCOMPARE(next.get(), Next::end);
    QVERIFY(!streams.open(1, never));
}

QTEST_GUILESS_MAIN(TestEventStreams)
#include "test_event_streams.moc"
