// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/LogFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QRegularExpression>

namespace OrvelanNimbal::LogFile {

namespace {

// A file beyond this size is set aside (one generation kept) when a program starts.
constexpr qint64 largestFile = 4 * 1024 * 1024;

QtMessageHandler previousHandler = nullptr;
QString currentProgram;
QFile *currentFile = nullptr;
QMutex fileLock;

const char *levelWord(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return "debug";
    case QtInfoMsg:
        return "info";
    case QtWarningMsg:
        return "avertissement";
    case QtCriticalMsg:
        return "erreur";
    case QtFatalMsg:
        return "fatal";
    }
    return "info";
}

void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    {
        const QMutexLocker locker(&fileLock);
        if (currentFile) {
            const QDateTime now = QDateTime::currentDateTime();
            const QString line =
                QStringLiteral("%1 %2 %3 %4: %5\n")
                    .arg(now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs),
                         currentProgram, QLatin1String(levelWord(type)),
                         QLatin1String(context.category ? context.category : "default"),
                         QString(message).replace(u'\n', u' '));
            currentFile->write(line.toUtf8());
            currentFile->flush();
        }
    }
    if (previousHandler)
        previousHandler(type, context, message);
}

} // namespace

QString folder()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::home().filePath(QStringLiteral(".local/state"));
    return QDir(state).filePath(QStringLiteral("net.orvelan.nimbal"));
}

QString fileFor(const QString &program)
{
    return QDir(folder()).filePath(program + QStringLiteral(".log"));
}

void keepFor(const QString &program)
{
    if (qEnvironmentVariableIsSet("JOURNAL_STREAM") || !QDir().mkpath(folder()))
        return;
    const QString path = fileFor(program);
    if (QFileInfo(path).size() > largestFile) {
        QFile::remove(path + QStringLiteral(".1"));
        QFile::rename(path, path + QStringLiteral(".1"));
    }
    auto *file = new QFile(path); // for the life of the process: lines come until its end
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        delete file;
        return;
    }
    file->setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const QMutexLocker locker(&fileLock);
    currentProgram = program;
    currentFile = file;
    previousHandler = qInstallMessageHandler(handle);
}

QString redacted(const QString &line)
{
    static const QString keys =
        QStringLiteral("access_token|pending_token|trusted_device_token|token|password|code|"
                       "signature");
    static const QRegularExpression bearer(QStringLiteral("(Bearer\\s+)\\S+"),
                                           QRegularExpression::CaseInsensitiveOption);
    // "password":"…" whole, spaces included; then key=value as in a query or a form.
    static const QRegularExpression quoted(
        QStringLiteral("(\"(?:%1)\"\\s*:\\s*\")[^\"]*").arg(keys),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression plain(
        QStringLiteral("\\b((?:%1)\\s*=\\s*)[^&\\s,;]+").arg(keys),
        QRegularExpression::CaseInsensitiveOption);
    QString text = line;
    text.replace(bearer, QStringLiteral("\\1<masqué>"));
    text.replace(quoted, QStringLiteral("\\1<masqué>"));
    text.replace(plain, QStringLiteral("\\1<masqué>"));
    return text;
}

} // namespace OrvelanNimbal::LogFile
