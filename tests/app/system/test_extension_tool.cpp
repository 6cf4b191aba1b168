// SPDX-License-Identifier: GPL-3.0-or-later
// The extension's command: the line rule of its status, and the command run for real (stand-in
// scripts) with what can go wrong: no tool, a failing tool, a hanging one, a cancelled question.
#include "AsyncTest.h"
#include "config/OrvelanNimbal.h"
#include "system/ExtensionTool.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

const QByteArray id = fileProviderBundleIdentifier.toUtf8();

// A stand-in for the tool: a shell script that records its arguments, then does `body`.
class StandIn {
public:
    explicit StandIn(const QByteArray &body)
    {
        QFile script(program());
        script.open(QIODevice::WriteOnly);
        script.write("#!/bin/sh\necho \"$@\" >> '" + calls().toUtf8() + "'\n" + body + "\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QString program() const { return m_folder.filePath(u"nimbal-fileprovider"_s); }
    QString calls() const { return m_folder.filePath(u"calls"_s); }
    QByteArray recorded() const
    {
        QFile file(calls());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    QTemporaryDir m_folder;
};

} // namespace

class TestExtensionTool : public QObject {
    Q_OBJECT

private slots:
    void lineRule_data();
    void lineRule();
    void status_data();
    void status();
    void enable_data();
    void enable();
    void hangingToolIsStopped();
    void cancelledQuestionStopsTheTool();
};

void TestExtensionTool::lineRule_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<int>("expected"); // 1 on, 0 off, -1 unknown

    QTest::newRow("on") << "+    " + id + "(1.0)\n" << 1;
    QTest::newRow("off") << "-    " + id + "(1.0)\n" << 0;
    QTest::newRow("off after blanks and a tab") << "  \t-  " + id + " (1.0)\n" << 0;
    QTest::newRow("any other mark is on") << "=    " + id + "(1.0)\n" << 1;
    QTest::newRow("no mark at all is on") << id + " (1.0)" << 1;
    QTest::newRow("other extensions first") << "-    net.example.other(2.1)\n+    " + id + "(1.0)\n"
                                            << 1;
    QTest::newRow("the first matching line decides") << "- " + id + "\n+ " + id + "\n" << 0;
    QTest::newRow("CRLF lines") << "-    " + id + "(1.0)\r\n" << 0;
    QTest::newRow("invalid bytes elsewhere") << "\xff\xfe garbage\n-    " + id + "\n" << 0;
    QTest::newRow("only others") << QByteArray("+    net.example.other(2.1)\n") << -1;
    QTest::newRow("empty lines only") << QByteArray("\n\n\n") << -1;
    QTest::newRow("no output") << QByteArray() << -1;
}

void TestExtensionTool::lineRule()
{
    QFETCH(QByteArray, output);
    QFETCH(int, expected);
    const std::optional<bool> state =
        ExtensionTool::stateFromStatusOutput(output, fileProviderBundleIdentifier);
    QCOMPARE(state ? int(*state) : -1, expected);
}

void TestExtensionTool::status_data()
{
    QTest::addColumn<QByteArray>("body"); // of the stand-in; empty: no tool at all
    QTest::addColumn<int>("expected");

    QTest::newRow("switched off") << "echo '-    " + id + "(1.0)'" << 0;
    QTest::newRow("on, whatever the exit status") << "echo '+    " + id + "(1.0)'; exit 4" << 1;
    QTest::newRow("talks on standard error only") << "echo '-    " + id + "' >&2" << -1;
    QTest::newRow("no tool") << QByteArray() << -1;
}

void TestExtensionTool::status()
{
    QFETCH(QByteArray, body);
    QFETCH(int, expected);

    const StandIn standIn(body);
    const ExtensionTool tool(body.isEmpty() ? QString() : standIn.program());
    const std::optional<bool> state = runAsync(tool.extensionEnabled({}));
    QCOMPARE(state ? int(*state) : -1, expected);
    QCOMPARE(standIn.recorded(), body.isEmpty() ? QByteArray() : QByteArray("status\n"));

    // A path that is not there is no tool either.
    const ExtensionTool missing(QDir(standIn.program()).filePath(u"absent"_s));
    QCOMPARE(runAsync(missing.extensionEnabled({})), std::nullopt);
}

void TestExtensionTool::enable_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("error"); // empty: none

    QTest::newRow("done") << QByteArray("exit 0") << QString();
    QTest::newRow("refused") << QByteArray("exit 3")
                             << u"nimbal-fileprovider enable a échoué (code 3)"_s;
    QTest::newRow("no tool") << QByteArray() << u"nimbal-fileprovider introuvable"_s;
}

void TestExtensionTool::enable()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, error);

    const StandIn standIn(body);
    const ExtensionTool tool(body.isEmpty() ? QString() : standIn.program());
    QCOMPARE(runAsync(tool.enable({})).value_or(QString()), error);
    QCOMPARE(standIn.recorded(), body.isEmpty() ? QByteArray() : QByteArray("enable\n"));
}

void TestExtensionTool::hangingToolIsStopped()
{
    const StandIn standIn("exec sleep 30");
    const ExtensionTool tool(standIn.program(), 200ms);
    QElapsedTimer elapsed;
    elapsed.start();
    QCOMPARE(runAsync(tool.extensionEnabled({})), std::nullopt);
    QVERIFY(elapsed.elapsed() < 5000);
    QCOMPARE(runAsync(tool.enable({})), u"nimbal-fileprovider ne répond pas"_s);
}

void TestExtensionTool::cancelledQuestionStopsTheTool()
{
    const StandIn standIn("exec sleep 30");
    const ExtensionTool tool(standIn.program());
    CancellationSource cancel;
    QTimer::singleShot(100ms, [&] { cancel.cancel(); });
    QElapsedTimer elapsed;
    elapsed.start();
    QVERIFY_THROWS_EXCEPTION(OperationCancelled, runAsync(tool.extensionEnabled(cancel.token())));
    QVERIFY(elapsed.elapsed() < 5000);
}

QTEST_GUILESS_MAIN(TestExtensionTool)
#include "test_extension_tool.moc"
