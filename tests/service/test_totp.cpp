// SPDX-License-Identifier: GPL-3.0-or-later
// The service's authenticator codes against oathtool's, at fixed instants: the codes agree, a
// step of drift either way passes, two do not, a code serves once, and codes and secrets are read
// as people type them.
#include "OathTool.h"
#include "auth/Totp.h"

#include <QTest>

using namespace OrvelanNimbal::Service;
using OrvelanNimbal::Testing::totpCodeAt;

namespace {

const QString secret = QStringLiteral("JBSWY3DPEHPK3PXPJBSWY3DPEHPK3PXP");
constexpr qint64 instant = 1'700'000'015; // the middle of a step
constexpr int neverUsed = 99;             // no code accepted before
constexpr int refused = 99;               // no step matched

} // namespace

class TestTotp : public QObject {
    Q_OBJECT

private slots:
    void agreesWithOathtool_data();
    void agreesWithOathtool();
    void acceptsEachCodeOnceWithinOneStep_data();
    void acceptsEachCodeOnceWithinOneStep();
    void decodesBase32_data();
    void decodesBase32();
};

void TestTotp::agreesWithOathtool_data()
{
    QTest::addColumn<QString>("secretText");
    QTest::addColumn<qint64>("unixSeconds");
    QTest::newRow("first step") << secret << qint64(0);
    QTest::newRow("last second of a step") << secret << qint64(59);
    QTest::newRow("beyond 32-bit seconds") << secret << qint64(20'000'000'000);
    QTest::newRow("ten-byte secret") << QStringLiteral("GEZDGNBVGY3TQOJQ") << instant;
}

void TestTotp::agreesWithOathtool()
{
    QFETCH(QString, secretText);
    QFETCH(qint64, unixSeconds);
    QCOMPARE(Totp::codeAt(Totp::decodeBase32(secretText).value(), Totp::stepAt(unixSeconds)),
             totpCodeAt(secretText, unixSeconds));
}

void TestTotp::acceptsEachCodeOnceWithinOneStep_data()
{
    const auto code = [](int offset) { return totpCodeAt(secret, instant + offset * 30); };
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("lastUsedOffset"); // steps from now of the last code accepted
    QTest::addColumn<int>("matchedOffset");  // steps from now of the step matched
    QTest::newRow("two steps early") << code(-2) << neverUsed << refused;
    QTest::newRow("one step early") << code(-1) << neverUsed << -1;
    QTest::newRow("current step") << code(0) << neverUsed << 0;
    QTest::newRow("one step late") << code(1) << neverUsed << 1;
    QTest::newRow("two steps late") << code(2) << neverUsed << refused;
    QTest::newRow("same code again") << code(0) << 0 << refused;
    QTest::newRow("earlier code after a later one") << code(-1) << 0 << refused;
    QTest::newRow("later code after the current one") << code(1) << 0 << 1;
    QTest::newRow("spaces and a line break around")
        << u"  "_qs + code(0) + u"\n"_qs << neverUsed << 0;
    QTest::newRow("a digit missing") << code(0).left(5) << neverUsed << refused;
    QTest::newRow("a space inside") << code(0).insert(3, u' ') << neverUsed << refused;
}

void TestTotp::acceptsEachCodeOnceWithinOneStep()
{
    QFETCH(QString, typed);
    QFETCH(int, lastUsedOffset);
    QFETCH(int, matchedOffset);
    const qint64 now = Totp::stepAt(instant);
    const qint64 lastUsed = lastUsedOffset == neverUsed ? 0 : now + lastUsedOffset;
    QCOMPARE(Totp::matchingStep(Totp::decodeBase32(secret).value(), typed, instant, lastUsed),
             matchedOffset == refused ? std::nullopt
                                      : std::optional<std::int64_t>(now + matchedOffset));
}

void TestTotp::decodesBase32_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVariant>("bytes"); // invalid: not base32
    // RFC 4648, section 10.
    QTest::newRow("f") << QStringLiteral("MY======") << QVariant(QByteArray("f"));
    QTest::newRow("foobar") << QStringLiteral("MZXW6YTBOI======") << QVariant(QByteArray("foobar"));
    QTest::newRow("as apps show it: grouped, lower case, unpadded")
        << QStringLiteral("mzxw 6ytb-oi") << QVariant(QByteArray("foobar"));
    QTest::newRow("digit outside the alphabet") << QStringLiteral("MZXW1YTB") << QVariant();
    QTest::newRow("data after padding") << QStringLiteral("MZ==XW6Y") << QVariant();
    QTest::newRow("too short for a byte") << QStringLiteral("M") << QVariant();
}

void TestTotp::decodesBase32()
{
    QFETCH(QString, text);
    QFETCH(QVariant, bytes);
    const auto decoded = Totp::decodeBase32(text);
    QCOMPARE(decoded.has_value(), bytes.isValid());
    if (decoded)
        QCOMPARE(*decoded, bytes.toByteArray());
}

QTEST_GUILESS_MAIN(TestTotp)
#include "test_totp.moc"
