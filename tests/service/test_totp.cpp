// SPDX-License-Identifier: GPL-3.0-or-later
// The service's authenticator codes against oathtool's, at fixed instants: the codes agree, a
// step of drift either way passes, two do not, and a code serves once.
#include "OathTool.h"
#include "auth/Totp.h"

#include <QTest>

using namespace OrvelanNimbal::Service;
using OrvelanNimbal::Testing::totpCodeAt;

namespace {

const QString secret = QStringLiteral("JBSWY3DPEHPK3PXPJBSWY3DPEHPK3PXP");
constexpr qint64 instant = 1'700'000'015; // the middle of a step

QByteArray secretBytes() {
    return Totp::decodeBase32(secret).value();
}

} // namespace

class TestTotp : public QObject {
    Q_OBJECT

private slots:
    void agreesWithOathtool_data();
    void agreesWithOathtool();
    void acceptsOneStepOfDrift_data();
    void acceptsOneStepOfDrift();
    void codeServesOnce_data();
    void codeServesOnce();
    void typedCodes_data();
    void typedCodes();
    void decodesBase32_data();
    void decodesBase32();
};

void TestTotp::agreesWithOathtool_data() {
    QTest::addColumn<QString>("secretText");
    QTest::addColumn<qint64>("unixSeconds");
    const QString shortSecret = QStringLiteral("GEZDGNBVGY3TQOJQ");
    QTest::newRow("first step") << secret << qint64(0);
    QTest::newRow("last second of a step") << secret << qint64(59);
    QTest::newRow("2009") << secret << qint64(1'234'567'890);
    QTest::newRow("2033") << secret << qint64(2'000'000'000);
    QTest::newRow("beyond 32-bit seconds") << secret << qint64(20'000'000'000);
    QTest::newRow("ten-byte secret") << shortSecret << instant;
    QTest::newRow("lower-case secret") << secret.toLower() << instant;
}

void TestTotp::agreesWithOathtool() {
    QFETCH(QString, secretText);
    QFETCH(qint64, unixSeconds);
    const auto bytes = Totp::decodeBase32(secretText);
    QVERIFY(bytes);
    QCOMPARE(Totp::codeAt(*bytes, Totp::stepAt(unixSeconds)),
             totpCodeAt(secretText.toUpper(), unixSeconds));
}

void TestTotp::acceptsOneStepOfDrift_data() {
    QTest::addColumn<int>("offsetSteps");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("two steps early") << -2 << false;
    QTest::newRow("one step early") << -1 << true;
    QTest::newRow("current step") << 0 << true;
    QTest::newRow("one step late") << 1 << true;
    QTest::newRow("two steps late") << 2 << false;
}

void TestTotp::acceptsOneStepOfDrift() {
    QFETCH(int, offsetSteps);
    QFETCH(bool, accepted);
    const QString code = totpCodeAt(secret, instant + offsetSteps * Totp::stepSeconds);

    const auto step = Totp::matchingStep(secretBytes(), code, instant, 0);

    QCOMPARE(step.has_value(), accepted);
    if (accepted)
        QCOMPARE(*step, Totp::stepAt(instant) + offsetSteps);
}

void TestTotp::codeServesOnce_data() {
    QTest::addColumn<int>("codeOffset");     // steps from now of the code typed
    QTest::addColumn<int>("lastUsedOffset"); // steps from now of the last code accepted
    QTest::addColumn<bool>("accepted");
    QTest::newRow("fresh code after an older one") << 0 << -1 << true;
    QTest::newRow("same code again") << 0 << 0 << false;
    QTest::newRow("earlier code after a later one") << -1 << 0 << false;
    QTest::newRow("later code after the current one") << 1 << 0 << true;
}

void TestTotp::codeServesOnce() {
    QFETCH(int, codeOffset);
    QFETCH(int, lastUsedOffset);
    QFETCH(bool, accepted);
    const QString code = totpCodeAt(secret, instant + codeOffset * Totp::stepSeconds);
    const qint64 lastUsed = Totp::stepAt(instant) + lastUsedOffset;

    QCOMPARE(Totp::matchingStep(secretBytes(), code, instant, lastUsed).has_value(), accepted);
}

void TestTotp::typedCodes_data() {
    const QString code = totpCodeAt(secret, instant);
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("as shown") << code << true;
    QTest::newRow("spaces and a line break around") << u"  "_qs + code + u"\n"_qs << true;
    QTest::newRow("a digit missing") << code.left(5) << false;
    QTest::newRow("a digit too many") << code + u"0"_qs << false;
    QTest::newRow("a space inside") << code.left(3) + u" "_qs + code.mid(3) << false;
    QTest::newRow("empty") << QString() << false;
}

void TestTotp::typedCodes() {
    QFETCH(QString, typed);
    QFETCH(bool, accepted);
    QCOMPARE(Totp::matchingStep(secretBytes(), typed, instant, 0).has_value(), accepted);
}

void TestTotp::decodesBase32_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVariant>("bytes"); // invalid: not base32
    // RFC 4648, section 10.
    QTest::newRow("f") << QStringLiteral("MY======") << QVariant(QByteArray("f"));
    QTest::newRow("fo") << QStringLiteral("MZXQ====") << QVariant(QByteArray("fo"));
    QTest::newRow("foo") << QStringLiteral("MZXW6===") << QVariant(QByteArray("foo"));
    QTest::newRow("foob") << QStringLiteral("MZXW6YQ=") << QVariant(QByteArray("foob"));
    QTest::newRow("fooba") << QStringLiteral("MZXW6YTB") << QVariant(QByteArray("fooba"));
    QTest::newRow("foobar") << QStringLiteral("MZXW6YTBOI======") << QVariant(QByteArray("foobar"));
    QTest::newRow("lower case, no padding")
        << QStringLiteral("mzxw6ytboi") << QVariant(QByteArray("foobar"));
    QTest::newRow("grouped as apps show it")
        << QStringLiteral("MZXW 6YTB-OI") << QVariant(QByteArray("foobar"));
    QTest::newRow("digit outside the alphabet") << QStringLiteral("MZXW1YTB") << QVariant();
    QTest::newRow("data after padding") << QStringLiteral("MZ==XW6Y") << QVariant();
    QTest::newRow("empty") << QString() << QVariant();
    QTest::newRow("too short for a byte") << QStringLiteral("M") << QVariant();
}

void TestTotp::decodesBase32() {
    QFETCH(QString, text);
    QFETCH(QVariant, bytes);
    const auto decoded = Totp::decodeBase32(text);
    QCOMPARE(decoded.has_value(), bytes.isValid());
    if (decoded)
        QCOMPARE(*decoded, bytes.toByteArray());
}

QTEST_GUILESS_MAIN(TestTotp)
#include "test_totp.moc"
