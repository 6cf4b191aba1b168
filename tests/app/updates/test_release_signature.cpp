// SPDX-License-Identifier: GPL-3.0-or-later
#include "OpensslSigner.h"
#include "updates/ReleaseSignature.h"
#include "updates/UpdateConfiguration.h"
#include "updates/UpdateError.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;

namespace {

using Kind = UpdateError::Kind;

// What a release download holds in these tests: a few pieces' worth of varied bytes.
QByteArray releaseBytes()
{
    QByteArray bytes;
    for (int i = 0; i < 300000; ++i)
        bytes.append(char((quint32(i) * 7919u) >> 3));
    return bytes;
}

} // namespace

class TestReleaseSignature : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void downloads_data();
    void downloads();
    void keysOfAnotherKind_data();
    void keysOfAnotherKind();
    void compiledInKey();

private:
    std::unique_ptr<OpensslSigner> m_signer;
    std::unique_ptr<OpensslSigner> m_stranger;
    QTemporaryDir m_folder;
};

void TestReleaseSignature::initTestCase()
{
    m_signer = std::make_unique<OpensslSigner>();
    m_stranger = std::make_unique<OpensslSigner>();
}

void TestReleaseSignature::downloads_data()
{
    QTest::addColumn<QByteArray>("downloaded");
    QTest::addColumn<qint64>("announced");
    QTest::addColumn<QByteArray>("signature");
    QTest::addColumn<int>("refusal"); // -1: accepted

    const QByteArray release = releaseBytes();
    const QByteArray good = m_signer->signature(release);
    const QByteArray raw = QByteArray::fromBase64(good);
    const qint64 length = release.size();
    const auto add = [](const char *name, const QByteArray &downloaded, qint64 announced,
                        const QByteArray &signature, int refusal) {
        QTest::newRow(name) << downloaded << announced << signature << refusal;
    };
    QByteArray flipped = release;
    flipped[123456] = char(flipped[123456] ^ 0x01);

    add("good", release, length, good, -1);
    add("one bit changed", flipped, length, good, int(Kind::signatureInvalid));
    add("signed by another key", release, length, m_stranger->signature(release),
        int(Kind::signatureInvalid));
    add("signature of other bytes", release, length, m_signer->signature("other"),
        int(Kind::signatureInvalid));
    add("no signature", release, length, {}, int(Kind::signatureInvalid));
    add("signature one byte short", release, length, raw.chopped(1).toBase64(),
        int(Kind::signatureInvalid));
    add("signature one byte long", release, length, (raw + 'x').toBase64(),
        int(Kind::signatureInvalid));
    add("signature not base64", release, length, "not*base64!", int(Kind::signatureInvalid));
    add("truncated download", release.left(length - 1), length, good, int(Kind::incomplete));
    add("truncated, and announced so", release.left(length - 1), length - 1, good,
        int(Kind::signatureInvalid));
    add("longer than announced", release + "x", length, good, int(Kind::incomplete));
}

void TestReleaseSignature::downloads()
{
    QFETCH(QByteArray, downloaded);
    QFETCH(qint64, announced);
    QFETCH(QByteArray, signature);
    QFETCH(int, refusal);
    const QString path = m_folder.filePath(QStringLiteral("release.part"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(downloaded), downloaded.size());
    file.close();
    try {
        verifyRelease(path, announced, signature, m_signer->publicKey());
        QCOMPARE(refusal, -1);
    } catch (const UpdateError &error) {
        QCOMPARE(int(error.kind()), refusal);
    }
}

// Only an Ed25519 key vouches for anything, whatever the signature.
void TestReleaseSignature::keysOfAnotherKind_data()
{
    QTest::addColumn<QByteArray>("publicKey");
    const QTemporaryDir folder;
    const QString ecKey = folder.filePath(QStringLiteral("ec.pem"));
    runOpenssl({QStringLiteral("genpkey"), QStringLiteral("-algorithm"), QStringLiteral("EC"),
                QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:P-256"),
                QStringLiteral("-out"), ecKey});
    QTest::newRow("P-256") << runOpenssl({QStringLiteral("pkey"), QStringLiteral("-in"), ecKey,
                                          QStringLiteral("-pubout"), QStringLiteral("-outform"),
                                          QStringLiteral("DER")});
    const QByteArray ed25519 = m_signer->publicKey();
    QTest::newRow("raw 32 bytes instead of DER") << ed25519.right(32);
    QTest::newRow("trailing bytes") << ed25519 + QByteArray(1, '\0');
    QTest::newRow("cut short") << ed25519.chopped(1);
    QTest::newRow("none") << QByteArray();
}

void TestReleaseSignature::keysOfAnotherKind()
{
    QFETCH(QByteArray, publicKey);
    const QByteArray message = "release";
    QVERIFY(!isValidEd25519Signature(publicKey, message,
                                     QByteArray::fromBase64(m_signer->signature(message))));
    // The control: the same signature under the signer's key.
    QVERIFY(isValidEd25519Signature(m_signer->publicKey(), message,
                                    QByteArray::fromBase64(m_signer->signature(message))));
}

// The key the build compiled in is the public half of the build tree's signing key.
void TestReleaseSignature::compiledInKey()
{
#ifdef NIMBAL_UPDATE_SIGNING_KEY
    const OpensslSigner build(QStringLiteral(NIMBAL_UPDATE_SIGNING_KEY));
    const QByteArray message = "a release of this build";
    QCOMPARE(UpdateConfiguration::compiledIn().publicKey, build.publicKey());
    QVERIFY(isValidEd25519Signature(UpdateConfiguration::compiledIn().publicKey, message,
                                    QByteArray::fromBase64(build.signature(message))));
#else
    QSKIP("built with a release key: no private key in the build tree");
#endif
}

QTEST_GUILESS_MAIN(TestReleaseSignature)
#include "test_release_signature.moc"
