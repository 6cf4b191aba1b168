// SPDX-License-Identifier: GPL-3.0-or-later
// The log file the programs keep where no journal reads them, and what `nimbal log` masks.
#include "config/LogFile.h"

#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTest>

using namespace OrvelanNimbal;

namespace {
Q_LOGGING_CATEGORY(lcTest, "net.orvelan.nimbal.test", QtInfoMsg)
}

class TestLogFile : public QObject {
    Q_OBJECT

private slots:
    void secretsAreMasked_data();
    void secretsAreMasked();
    void linesGoToTheProgramsFile();
};

void TestLogFile::secretsAreMasked_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("shown");
    QTest::newRow("plain line") << u"Domaine ajouté pour a…@e…."_qs
                                << u"Domaine ajouté pour a…@e…."_qs;
    QTest::newRow("bearer token") << u"Authorization: Bearer eyJhbGci.abc-def"_qs
                                  << u"Authorization: Bearer <masqué>"_qs;
    QTest::newRow("query values")
        << u"GET /storage/content/k?expires=17&signature=9f8e7d&token=abc"_qs
        << u"GET /storage/content/k?expires=17&signature=<masqué>&token=<masqué>"_qs;
    QTest::newRow("JSON fields") << u"{\"password\":\"hunter 2\",\"code\":\"123456\"}"_qs
                                 << u"{\"password\":\"<masqué>\",\"code\":\"<masqué>\"}"_qs;
    QTest::newRow("trusted device")
        << u"trusted_device_token=zz9"_qs << u"trusted_device_token=<masqué>"_qs;
}

void TestLogFile::secretsAreMasked()
{
    QFETCH(QString, line);
    QFETCH(QString, shown);
    QCOMPARE(LogFile::redacted(line), shown);
}

void TestLogFile::linesGoToTheProgramsFile()
{
    const QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toUtf8());
    qunsetenv("JOURNAL_STREAM");
    QCOMPARE(LogFile::fileFor(u"nimbal-fileprovider"_qs),
             state.path() + u"/net.orvelan.nimbal/nimbal-fileprovider.log"_qs);
    LogFile::keepFor(u"test-program"_qs);
    qCInfo(lcTest) << "première ligne";
    qCWarning(lcTest) << "deuxième\nsur deux lignes";
    QFile file(LogFile::fileFor(u"test-program"_qs));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[0].endsWith(u" test-program info net.orvelan.nimbal.test: première ligne"_qs),
             qPrintable(lines[0]));
    QVERIFY2(
        lines[1].endsWith(u" avertissement net.orvelan.nimbal.test: deuxième sur deux lignes"_qs),
        qPrintable(lines[1]));
    // Each line starts with its time, so that lines of several files sort together.
    QVERIFY(QDateTime::fromString(lines[0].section(u' ', 0, 0), Qt::ISODateWithMs).isValid());
    QCOMPARE(file.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
             QFileDevice::Permissions());
}

QTEST_GUILESS_MAIN(TestLogFile)
#include "test_log_file.moc"
