// SPDX-License-Identifier: GPL-3.0-or-later
// The service's authenticator codes against oathtool's, at fixed instants: the codes agree, a
// step of drift either way passes, two do not, a code serves once, and secrets are read as
// authenticator apps show them.
#include "OathTool.h"
#include "auth/Totp.h"

#include <QTest>

using namespace OrvelanNimbal::Service;
using OrvelanNimbal::Testing::totpCodeAt;

namespace {

const QString secret = QStringLiteral("JBSWY3DPEHPK3PXPJBSWY3DPEHPK3PXP");
constexpr qint64 instant = 1'700'000'015; // the middle of a step
constexpr int neverUsed = 99;             // no code accepted before

} // namespace

class TestTotp : public QObject {
    Q_OBJECT

private slots:
    void agreesWithOathtool_data();
    void agreesWithOathtool();
    void acceptsEachCodeOnceWithinOneStep_data();
    void acceptsEachCodeOnceWithinOneStep();
    void readsTypedCodes_data();
    void readsTypedCodes();
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
    QTest::addColumn<int>("codeOffset");     // steps from now of the code typed
    QTest::addColumn<int>("lastUsedOffset"); // steps from now of the last code accepted
    QTest::addColumn<bool>("accepted");
    QTest::newRow("two steps early") << -2 << neverUsed << false;
    QTest::newRow("one step early") << -1 << neverUsed << true;
    QTest::newRow("current step") << 0 << neverUsed << true;
    QTest::newRow("one step late") << 1 << neverUsed << true;
    QTest::newRow("two steps late") << 2 << neverUsed << false;
    QTest::newRow("same code again") << 0 << 0 << false;
    QTest::newRow("earlier code after a later one") << -1 << 0 << false;
    QTest::newRow("later code after the current one") << 1 << 0 << true;
}

void TestTotp::acceptsEachCodeOnceWithinOneStep()
{
    QFETCH(int, codeOffset);
    QFETCH(int, lastUsedOffset);
    QFETCH(bool, accepted);
    const qint64 now = Totp::stepAt(instant);
    const QString code = totpCodeAt(secret, instant + codeOffset * Totp::stepSeconds);
    const qint64 lastUsed = lastUsedOffset == neverUsed ? 0 : now + lastUsedOffset;

    QCOMPARE(Totp::matchingStep(Totp::decodeBase32(secret).value(), code, instant, lastUsed),
             accepted ? std::optional<std::int64_t>(now + codeOffset) : std::nullopt);
}

void TestTotp::readsTypedCodes_data()
{
    const QString code = totpCodeAt(secret, instant);
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("spaces and a line break around") << u"  "_qs + code + u"\n"_qs << true;
    QTest::newRow("a digit missing") << code.left(5) << false;
    QTest::newRow("a space inside") << code.left(3) + u" "_qs + code.mid(3) << false;
}

void TestTotp::readsTypedCodes()
{
    QFETCH(QString, typed);
    QFETCH(bool, accepted);
    const auto step = Totp::matchingStep(Totp::decodeBase32(secret).value(), typed, instant, 0);
    QCOMPARE(step.has_value(), accepted);
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
