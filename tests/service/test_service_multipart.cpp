// SPDX-License-Identifier: GPL-3.0-or-later
// Multipart uploads on the running service, spoken to by hand: however the parts came (in
// order and cut as the service suggests, so that they are written into their places as they
// arrive; out of order; sent again; cut otherwise; broken off), the completion keeps exactly
// the listed bytes with their hash, and a list that names bytes no longer there is refused.
#include "LocalService.h"
#include "RawHttp.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QTest>
#include <QUrl>

using namespace OrvelanNimbal::Testing;
using namespace std::chrono_literals;

namespace {

constexpr qint64 MiB = 1024 * 1024;
constexpr qint64 suggestedPart = 8 * MiB;
const std::string password = "parts-en-place";

// One PUT of a part: `bytes` of the content from `offset`, or, when `brokenOff`, only its first
// half before the connection goes (the head announces it whole).
struct PartSent {
    int number = 0;
    qint64 offset = 0;
    qint64 length = 0;
    bool brokenOff = false;
    bool garbled = false; // other bytes than the content's
};
using Sends = QList<PartSent>;

// The content of the upload: bytes no two places of which are alike for long.
std::string contentOf(qint64 size)
{
    std::string bytes(std::size_t(size), '\0');
    std::uint32_t state = 0x2545F491;
    for (char &byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = char(state >> 24);
    }
    return bytes;
}

std::string sha256(std::string_view bytes)
{
    return QCryptographicHash::hash(QByteArrayView(bytes.data(), qsizetype(bytes.size())),
                                    QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

} // namespace

Q_DECLARE_METATYPE(PartSent)

class TestServiceMultipart : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void keepsTheListedBytes_data();
    void keepsTheListedBytes();
    void refusedPartIsReadToItsEnd();

private:
    QJsonObject api(const std::string &path, const QJsonObject &body, int expected = 200);
    // The ETag the storage answered, or empty for a part broken off.
    QString put(const QJsonObject &upload, const PartSent &part, const std::string &content);
    std::string download(qint64 fileId);

    std::unique_ptr<LocalService> m_service;
    QString m_email;
    std::string m_token;
};

void TestServiceMultipart::initTestCase()
{
    m_service = std::make_unique<LocalService>();
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorString()));
    m_email = addAccount(*m_service, u"multipart"_qs, password);
    m_token = signIn(m_service->port(), m_email.toStdString(), password);
    QVERIFY(!m_token.empty());
}

QJsonObject TestServiceMultipart::api(const std::string &path, const QJsonObject &body,
                                      int expected)
{
    RawConnection connection(m_service->port());
    connection.send(request("POST", "/api/v1/drive/" + path,
                            {{"Authorization", "Bearer " + m_token},
                             {"Content-Type", "application/json"}},
                            jsonText(body)));
    const RawConnection::Answer answer = connection.read();
    if (answer.status != expected)
        qWarning("%s answered %d: %s", path.c_str(), answer.status, answer.body.c_str());
    return answer.status == expected ? jsonOf(answer).object() : QJsonObject();
}

QString TestServiceMultipart::put(const QJsonObject &upload, const PartSent &part,
                                  const std::string &content)
{
    const QJsonObject grant = api("upload/multipart/presign",
                                  {{u"upload_id"_qs, upload.value(u"upload_id")},
                                   {u"s3_key"_qs, upload.value(u"s3_key")},
                                   {u"part_number"_qs, part.number}});
    const QUrl url(grant.value(u"url").toString());
    std::string bytes = content.substr(std::size_t(part.offset), std::size_t(part.length));
    if (part.garbled)
        std::reverse(bytes.begin(), bytes.end());
    RawConnection storage(m_service->port());
    storage.send(request("PUT", url.path().toStdString() + "?" + url.query().toStdString(),
                         {{"Content-Length", std::to_string(bytes.size())}}));
    if (part.brokenOff) {
        storage.send(std::string_view(bytes).substr(0, bytes.size() / 2));
        return {}; // the connection goes with `storage`
    }
    storage.send(bytes);
    const RawConnection::Answer answer = storage.read();
    return answer.status == 200 && answer.headers.count("etag")
               ? QString::fromStdString(answer.headers.at("etag"))
               : QString();
}

std::string TestServiceMultipart::download(qint64 fileId)
{
    RawConnection api(m_service->port());
    api.send(request("GET", "/api/v1/drive/files/" + std::to_string(fileId) + "/download-url",
                     {{"Authorization", "Bearer " + m_token}}));
    const QUrl url(jsonOf(api.read()).object().value(u"url").toString());
    RawConnection storage(m_service->port());
    storage.send(request("GET", url.path().toStdString() + "?" + url.query().toStdString()));
    return storage.read(30s).body;
}

void TestServiceMultipart::keepsTheListedBytes_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<Sends>("sends");
    QTest::addColumn<bool>("listOldETag"); // list the ETag part 1 had before it was sent again
    QTest::addColumn<int>("status");

    const qint64 size = 2 * suggestedPart + 5; // cut as suggested: 8 MiB, 8 MiB, 5 bytes
    const PartSent one{1, 0, suggestedPart};
    const PartSent two{2, suggestedPart, suggestedPart};
    const PartSent three{3, 2 * suggestedPart, 5};
    PartSent brokenOne = one;
    brokenOne.brokenOff = true;
    PartSent garbledOne = one;
    garbledOne.garbled = true;

    QTest::newRow("in order, cut as suggested") << size << Sends{one, two, three} << false << 201;
    QTest::newRow("the last first") << size << Sends{three, one, two} << false << 201;
    QTest::newRow("a part sent again with the right bytes")
        << size << Sends{garbledOne, two, one, three} << false << 201;
    QTest::newRow("a part broken off, then sent whole")
        << size << Sends{brokenOne, one, two, three} << false << 201;
    QTest::newRow("cut otherwise than suggested")
        << size << Sends{{1, 0, 10 * MiB}, {2, 10 * MiB, size - 10 * MiB}} << false << 201;
    QTest::newRow("one part for all") << size << Sends{{1, 0, size}} << false << 201;
    QTest::newRow("an empty file") << qint64(0) << Sends{} << false << 201;
    // Its place was written over by bytes that never arrived whole: the old ETag names bytes
    // that are no longer there.
    QTest::newRow("the ETag of a part since broken off")
        << size << Sends{one, two, three, brokenOne} << true << 400;
}

void TestServiceMultipart::keepsTheListedBytes()
{
    QFETCH(qint64, size);
    QFETCH(Sends, sends);
    QFETCH(bool, listOldETag);
    QFETCH(int, status);
    const std::string content = contentOf(size);
    const QString name = QStringLiteral("parts-%1.bin").arg(QString::fromUtf8(QTest::currentDataTag()));
    const QJsonObject upload =
        api("upload/multipart/init", {{u"file_name"_qs, name}, {u"file_size"_qs, size}});
    QVERIFY(upload.contains(u"upload_id"));

    QMap<int, QString> etags;
    QString firstETag;
    for (const PartSent &part : std::as_const(sends)) {
        const QString etag = put(upload, part, content);
        QCOMPARE(etag.isEmpty(), part.brokenOff);
        if (part.number == 1 && firstETag.isEmpty())
            firstETag = etag;
        if (!part.brokenOff)
            etags[part.number] = etag;
    }
    if (listOldETag)
        etags[1] = firstETag;
    QJsonArray parts;
    for (auto part = etags.cbegin(); part != etags.cend(); ++part)
        parts.append(QJsonObject{{u"PartNumber"_qs, part.key()}, {u"ETag"_qs, part.value()}});
    const QJsonObject file = api("upload/multipart/complete",
                                 {{u"upload_id"_qs, upload.value(u"upload_id")},
                                  {u"s3_key"_qs, upload.value(u"s3_key")},
                                  {u"parts"_qs, parts},
                                  {u"file_name"_qs, name},
                                  {u"file_size"_qs, size}},
                                 status);

    if (status == 201) {
        QCOMPARE(file.value(u"file_size").toInteger(), size);
        QCOMPARE(file.value(u"content_hash").toString().toStdString(), sha256(content));
        QCOMPARE(sha256(download(file.value(u"id").toInteger())), sha256(content));
    }
    // Completed or refused, the upload is over and nothing of it is left.
    const LocalService::Leftovers left = m_service->leftovers(m_email);
    QCOMPARE(left.uploads, 0);
    QCOMPARE(left.partFiles, 0);
}

void TestServiceMultipart::refusedPartIsReadToItsEnd()
{
    const QJsonObject upload = api("upload/multipart/init",
                                   {{u"file_name"_qs, u"refus.bin"_qs},
                                    {u"file_size"_qs, suggestedPart}});
    const QUrl url(api("upload/multipart/presign", {{u"upload_id"_qs, upload.value(u"upload_id")},
                                                    {u"s3_key"_qs, upload.value(u"s3_key")},
                                                    {u"part_number"_qs, 1}})
                       .value(u"url")
                       .toString());
    const std::string target = url.path().toStdString() + "?" + url.query().toStdString();
    RawConnection control(m_service->port());
    control.send(request("POST", "/_test/uploads/faults", {{"Content-Type", "application/json"}},
                         jsonText({{u"fault"_qs, u"fail"_qs}})));
    QCOMPARE(control.read().status, 204);

    // The storage refuses before it takes a byte; the client, still sending, reads the refusal
    // rather than a reset, and its connection serves the next request.
    RawConnection storage(m_service->port());
    const std::string part(std::size_t(suggestedPart), 'r');
    QVERIFY(storage.send(request("PUT", target, {{"Content-Length", std::to_string(part.size())}})
                         + part));
    QCOMPARE(storage.read().status, 503);
    QVERIFY(storage.send(request("PUT", target, {{"Content-Length", std::to_string(part.size())}})
                         + part));
    const RawConnection::Answer stored = storage.read();
    QCOMPARE(stored.status, 200);
    QVERIFY(stored.headers.count("etag"));
    api("upload/multipart/abort",
        {{u"upload_id"_qs, upload.value(u"upload_id")}, {u"s3_key"_qs, upload.value(u"s3_key")}});
}

QTEST_GUILESS_MAIN(TestServiceMultipart)
#include "test_service_multipart.moc"
