// SPDX-License-Identifier: GPL-3.0-or-later
// The service's event streams without a server: the keep-alive a client may ask for, the
// decision a stream's worker makes at each turn, and the registry that limits, ends and
// silences streams.
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

Q_DECLARE_METATYPE(std::chrono::milliseconds)
Q_DECLARE_METATYPE(StreamStep::Kind)

namespace {

constexpr std::int64_t ana = 1;
constexpr std::int64_t bruno = 2;
// Far longer than any test: a stream that answers must have been woken.
constexpr auto never = std::chrono::milliseconds(std::chrono::hours(1));
// How long a test waits before it concludes that a worker is still asleep, and the ceiling
// for one that should wake.
constexpr auto stillAsleep = 20ms;
constexpr auto ceiling = 2s;

// The worker's next answer, from another thread, so that a test can see it still waiting.
std::future<Next> nextInBackground(const std::shared_ptr<OpenStream> &stream)
{
    return std::async(std::launch::async, [stream] { return stream->waitForNext(); });
}

bool isWaiting(std::future<Next> &next)
{
    return next.wait_for(stillAsleep) == std::future_status::timeout;
}

} // namespace

class TestEventStreams : public QObject {
    Q_OBJECT

private slots:
    void cleanup();

    void keepAliveFromQuery_data();
    void keepAliveFromQuery();
    void nextStep_data();
    void nextStep();
    void burstIsAnnouncedOnce();
    void limitsOpenStreams();
    void endsAndStallsOneAccount();
    void stopEndsStreamsAndRefusesNewOnes();
    void testSettingsApplyToNewStreams();

private:
    // A service context over a fresh data directory, made on first use: the pure tests need
    // none.
    ServiceContext &context();
    EventStreams &streams() { return context().component<EventStreams>(); }

    std::unique_ptr<QTemporaryDir> m_directory;
    std::unique_ptr<ServiceContext> m_context;
};

ServiceContext &TestEventStreams::context()
{
    if (m_context)
        return *m_context;
    m_directory = std::make_unique<QTemporaryDir>();
    ServiceConfig config;
    config.dataDirectory = m_directory->path().toStdString();
    config.workerThreads = 6;
    config.workersReservedForRequests = 2;
    m_context = std::make_unique<ServiceContext>(config, openDataDirectory(config.dataDirectory));
    return *m_context;
}

void TestEventStreams::cleanup()
{
    m_context.reset();
    m_directory.reset();
}

void TestEventStreams::keepAliveFromQuery_data()
{
    QTest::addColumn<QString>("ping");
    QTest::addColumn<std::chrono::milliseconds>("expected");

    QTest::newRow("absent") << "" << std::chrono::milliseconds(30s);
    QTest::newRow("as the application asks") << "30" << std::chrono::milliseconds(30s);
    QTest::newRow("shortest") << "1" << std::chrono::milliseconds(1s);
    QTest::newRow("too long, held") << "3600" << std::chrono::milliseconds(5min);
    QTest::newRow("zero") << "0" << std::chrono::milliseconds(30s);
    QTest::newRow("negative") << "-5" << std::chrono::milliseconds(30s);
    QTest::newRow("fraction") << "0.05" << std::chrono::milliseconds(30s);
    QTest::newRow("with a unit") << "10s" << std::chrono::milliseconds(30s);
    QTest::newRow("text") << "often" << std::chrono::milliseconds(30s);
    QTest::newRow("beyond 64 bits") << "99999999999999999999999" << std::chrono::milliseconds(30s);
}

void TestEventStreams::keepAliveFromQuery()
{
    QFETCH(QString, ping);
    QFETCH(std::chrono::milliseconds, expected);
    QCOMPARE(keepAliveInterval(ping.toStdString()), expected);
}

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
    QTest::newRow("change before keep-alive")
        << false << false << 60 << 2000 << Kind::announceChange << 0;
    QTest::newRow("keep-alive sooner than the change")
        << false << false << 10 << 980 << Kind::waitUntil << 20;
    QTest::newRow("ended") << true << false << -1 << 0 << Kind::end << 0;
    QTest::newRow("ended with a change waiting")
        << true << false << 10 << 10 << Kind::announceChange << 0;
    QTest::newRow("stalled, everything due")
        << false << true << 500 << 5000 << Kind::waitForNews << 0;
    QTest::newRow("stalled then ended") << true << true << -1 << 0 << Kind::end << 0;
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
    auto stream = std::make_shared<OpenStream>(ana, StreamTiming{never, 5ms});
    QCOMPARE(stream->waitForNext(), Next::keepAlive); // the greeting, at once

    for (int i = 0; i < 10; ++i)
        stream->noteChange();
    QCOMPARE(stream->waitForNext(), Next::announceChange);

    // Nothing more is due: the ten changes were one announcement.
    auto next = nextInBackground(stream);
    QVERIFY(isWaiting(next));
    stream->end();
    QCOMPARE(next.wait_for(ceiling), std::future_status::ready);
    QCOMPARE(next.get(), Next::end);
}

void TestEventStreams::limitsOpenStreams()
{
    EventStreams &streams = this->streams();
    QCOMPARE(streams.defaultLimit(), 4); // six workers, two kept for requests

    std::vector<std::shared_ptr<OpenStream>> open;
    for (int i = 0; i < 4; ++i) {
        open.push_back(streams.open(ana, never));
        QVERIFY(open.back());
    }
    QVERIFY(!streams.open(bruno, never));
    QCOMPARE(streams.count(std::nullopt), 4);

    // A stream counts until its worker lets it go, and then its place is free.
    open.pop_back();
    QCOMPARE(streams.count(std::nullopt), 3);
    QVERIFY(streams.open(bruno, never));
}

void TestEventStreams::endsAndStallsOneAccount()
{
    EventStreams &streams = this->streams();
    const auto anaFirst = streams.open(ana, never);
    const auto anaSecond = streams.open(ana, never);
    const auto brunos = streams.open(bruno, 5ms);
    for (const auto &stream : {anaFirst, anaSecond, brunos})
        QCOMPARE(stream->waitForNext(), Next::keepAlive);
    QCOMPARE(streams.count(ana), 2);
    QCOMPARE(streams.count(bruno), 1);

    QCOMPARE(streams.endStreams(ana), 2);
    QCOMPARE(anaFirst->waitForNext(), Next::end);
    QCOMPARE(anaSecond->waitForNext(), Next::end);
    // Ended is not gone: the streams count until their workers finish.
    QCOMPARE(streams.count(ana), 2);

    // Bruno's stream goes on with its keep-alives, until it is stalled: then even a change
    // leaves it silent.
    QCOMPARE(brunos->waitForNext(), Next::keepAlive);
    QCOMPARE(streams.stallStreams(bruno), 1);
    brunos->noteChange();
    auto next = nextInBackground(brunos);
    QVERIFY(isWaiting(next));
    QCOMPARE(streams.endStreams(std::nullopt), 3);
    QCOMPARE(next.wait_for(ceiling), std::future_status::ready);
    QCOMPARE(next.get(), Next::announceChange);
}

void TestEventStreams::stopEndsStreamsAndRefusesNewOnes()
{
    EventStreams &streams = this->streams();
    const auto stream = streams.open(ana, never);
    QCOMPARE(stream->waitForNext(), Next::keepAlive);
    auto next = nextInBackground(stream);
    QVERIFY(isWaiting(next));

    context().requestStop();

    QCOMPARE(next.wait_for(ceiling), std::future_status::ready);
    QCOMPARE(next.get(), Next::end);
    QVERIFY(!streams.open(ana, never));
}

void TestEventStreams::testSettingsApplyToNewStreams()
{
    EventStreams &streams = this->streams();
    const auto before = streams.open(ana, never);
    EventStreams::Settings settings = streams.settings();
    settings.keepAlive = 5ms;
    settings.limit = 2;
    streams.setSettings(settings);

    // The new stream keeps alive every 5 ms whatever it asked for; the one before keeps its
    // hour.
    const auto after = streams.open(ana, never);
    QVERIFY(!streams.open(ana, never));
    QCOMPARE(after->waitForNext(), Next::keepAlive);
    auto afterNext = nextInBackground(after);
    QCOMPARE(afterNext.wait_for(ceiling), std::future_status::ready);
    QCOMPARE(afterNext.get(), Next::keepAlive);
    QCOMPARE(before->waitForNext(), Next::keepAlive);
    auto beforeNext = nextInBackground(before);
    QVERIFY(isWaiting(beforeNext));

    streams.reset();
    QCOMPARE(beforeNext.wait_for(ceiling), std::future_status::ready);
    QCOMPARE(beforeNext.get(), Next::end);
    QCOMPARE(streams.settings().limit, streams.defaultLimit());
    QVERIFY(!streams.settings().keepAlive);
}

QTEST_GUILESS_MAIN(TestEventStreams)
#include "test_event_streams.moc"
