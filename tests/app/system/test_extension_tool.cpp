// SPDX-License-Identifier: GPL-3.0-or-later
// The extension's command: the line rule of its status, and the command run for real through
// stand-in scripts, with what can go wrong: no tool, a failing one, a hanging one, a question
// called off.
#include "AsyncTest.h"
#include "config/OrvelanNimbal.h"
#include "system/ExtensionTool.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

const QByteArray id = fileProviderBundleIdentifier.toUtf8();

// The tool as a shell script that records its arguments, then runs `body`; no body, no tool.
struct StandIn {
    QTemporaryDir folder;
    QString program;

    explicit StandIn(const QByteArray &body)
    {
        if (body.isEmpty())
            return;
        program = folder.filePath(u"nimbal-fileprovider"_s);
        QFile script(program);
        script.open(QIODevice::WriteOnly);
        script.write("#!/bin/sh\necho \"$@\" >> '" + folder.filePath(u"calls"_s).toUtf8() + "'\n"
                     + body + "\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QByteArray calls() const
    {
        QFile file(folder.filePath(u"calls"_s));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

} // namespace

class TestExtensionTool : public QObject {
    Q_OBJECT

private slots:
    void lineRule_data();
    void lineRule();
    void run_data();
    void run();
    void hangingOrCalledOff();
};

void TestExtensionTool::lineRule_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<int>("expected"); // 1 on, 0 off, -1 unknown

    QTest::newRow("on") << "+    " + id + "(1.0)\n" << 1;
    QTest::newRow("off") << "-    " + id + "(1.0)\n" << 0;
    QTest::newRow("off after blanks and a tab") << "  \t-  " + id + " (1.0)\n" << 0;
    QTest::newRow("any other mark, or none, is on") << "=    " + id + "\n" + id << 1;
    QTest::newRow("other extensions first") << "-    net.example.other(2.1)\n+    " + id << 1;
    QTest::newRow("the first matching line decides") << "- " + id + "\n+ " + id + "\n" << 0;
    QTest::newRow("CRLF, invalid bytes elsewhere") << "\xff\xfe\r\n-    " + id + "\r\n" << 0;
    QTest::newRow("only others") << QByteArray("+    net.example.other(2.1)\n") << -1;
    QTest::newRow("empty lines, or nothing") << QByteArray("\n\n\n") << -1;
}

void TestExtensionTool::lineRule()
{
    QFETCH(QByteArray, output);
    QFETCH(int, expected);
    const std::optional<bool> state =
        ExtensionTool::stateFromStatusOutput(output, fileProviderBundleIdentifier);
    QCOMPARE(state ? int(*state) : -1, expected);
}

void TestExtensionTool::run_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status"); // what `status` tells: 1 on, 0 off, -1 unknown
    QTest::addColumn<QString>("enableError");

    QTest::newRow("off") << "echo '-    " + id + "(1.0)'" << 0 << QString();
    QTest::newRow("exit status ignored by status, not by enable")
        << "echo '+    " + id + "(1.0)'; exit 3" << 1
        << u"nimbal-fileprovider enable a échoué (code 3)"_s;
    QTest::newRow("talks on standard error only")
        << "echo '-    " + id + "' >&2" << -1 << QString();
    QTest::newRow("no tool") << QByteArray() << -1 << u"nimbal-fileprovider introuvable"_s;
}

void TestExtensionTool::run()
{
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(QString, enableError);

    const StandIn standIn(body);
    const ExtensionTool tool(standIn.program);
    const std::optional<bool> state = runAsync(tool.extensionEnabled({}));
    QCOMPARE(state ? int(*state) : -1, status);
    QCOMPARE(runAsync(tool.enable({})).value_or(QString()), enableError);
    QCOMPARE(standIn.calls(), body.isEmpty() ? QByteArray() : QByteArray("status\nenable\n"));
    // A path with nothing there is no tool either.
    const ExtensionTool missing(standIn.folder.filePath(u"absent"_s));
    QCOMPARE(runAsync(missing.extensionEnabled({})), std::nullopt);
}

void TestExtensionTool::hangingOrCalledOff()
{
    const StandIn standIn("exec sleep 30");
    QElapsedTimer elapsed;
    elapsed.start();
    const ExtensionTool impatient(standIn.program, 200ms);
    QCOMPARE(runAsync(impatient.extensionEnabled({})), std::nullopt);
    QCOMPARE(runAsync(impatient.enable({})), u"nimbal-fileprovider ne répond pas"_s);

    const ExtensionTool patient(standIn.program);
    CancellationSource cancel;
    QTimer::singleShot(100ms, qApp, [&] { cancel.cancel(); });
    QVERIFY_THROWS_EXCEPTION(OperationCancelled,
                             runAsync(patient.extensionEnabled(cancel.token())));
    QVERIFY(elapsed.elapsed() < 5000); // the tool was stopped, not waited for
}

QTEST_GUILESS_MAIN(TestExtensionTool)
#include "test_extension_tool.moc"
