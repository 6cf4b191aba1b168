// SPDX-License-Identifier: GPL-3.0-or-later
// Content hashing: ContentHasher against `openssl dgst -sha256` on the same 1 GiB file, in the
// same run, the file read once beforehand so that both read from the page cache and the figures
// compare hashing, not the disk. Also the growth of our resident size while we hash, which the
// one reused 4 MiB block should keep far below 16 MiB whatever the file's size.
#include "sync/ContentHasher.h"

#include <QCoreApplication>
#include <QCoro/QCoroTask>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>

using namespace OrvelanNimbal;

namespace {

constexpr qint64 fileSize = qint64(1) << 30;
constexpr qint64 chunk = 4 * 1024 * 1024;
constexpr int runs = 3;

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM"), -1 when it cannot be read.
qint64 statusKiB(QByteArrayView field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field) && line.size() > field.size() && line[field.size()] == ':')
            return line.mid(field.size() + 1).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// Starts a new peak: the kernel resets VmHWM to the current resident size.
bool resetPeak()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

void writeRandomFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot create %s", qPrintable(path));
    QByteArray block(chunk, Qt::Uninitialized);
    QRandomGenerator random(20240305);
    for (qint64 written = 0; written < fileSize; written += chunk) {
        random.fillRange(reinterpret_cast<quint32 *>(block.data()), chunk / 4);
        if (file.write(block) != chunk)
            qFatal("cannot write %s", qPrintable(path));
    }
}

void readOnce(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        qFatal("cannot read %s", qPrintable(path));
    QByteArray block(chunk, Qt::Uninitialized);
    while (file.read(block.data(), chunk) > 0) {
    }
}

QString ours(const QString &path, double &seconds)
{
    QElapsedTimer timer;
    timer.start();
    QString digest = QCoro::waitFor(ContentHasher::sha256(QUrl::fromLocalFile(path)));
    seconds = std::min(seconds, timer.nsecsElapsed() / 1e9);
    return digest;
}

QString openssl(const QString &path, double &seconds)
{
    QElapsedTimer timer;
    timer.start();
    QProcess process;
    process.start(QStringLiteral("openssl"),
                  {QStringLiteral("dgst"), QStringLiteral("-sha256"), QStringLiteral("-r"), path});
    if (!process.waitForFinished(-1) || process.exitCode() != 0)
        qFatal("openssl dgst failed: %s", process.readAllStandardError().constData());
    seconds = std::min(seconds, timer.nsecsElapsed() / 1e9);
    return QString::fromLatin1(process.readAllStandardOutput().split(' ').first());
}

double megabytesPerSecond(double seconds)
{
    return fileSize / seconds / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/bench-hashing-XXXXXX"));
    if (!dir.isValid())
        qFatal("no temporary directory under %s", qPrintable(QDir::tempPath()));
    const QString path = dir.filePath(QStringLiteral("1GiB.bin"));
    std::printf("1 GiB of random bytes in %s\n", qPrintable(QDir::tempPath()));
    writeRandomFile(path);
    readOnce(path);

    const qint64 residentBefore = statusKiB("VmRSS");
    const bool peakReset = resetPeak();
    double oursSeconds = 1e9, opensslSeconds = 1e9;
    qint64 peak = 0;
    for (int run = 0; run < runs; ++run) {
        const QString a = ours(path, oursSeconds);
        peak = statusKiB("VmHWM");
        const QString b = openssl(path, opensslSeconds);
        if (a != b)
            qFatal("digests differ: %s / %s", qPrintable(a), qPrintable(b));
    }
    const double ratio = opensslSeconds / oursSeconds;
    const double growthMiB = (peak - residentBefore) / 1024.0;
    const bool fastEnough = ratio >= 0.9;
    const bool smallEnough = growthMiB < 16;
    std::printf("SHA-256, best of %d runs (1 MB = 10^6 bytes)\n", runs);
    std::printf("  ContentHasher        %8.0f MB/s\n", megabytesPerSecond(oursSeconds));
    std::printf("  openssl dgst -sha256 %8.0f MB/s\n", megabytesPerSecond(opensslSeconds));
    std::printf("  ratio                %8.2f   (target >= 0.90) %s\n", ratio,
                fastEnough ? "PASS" : "FAIL");
    std::printf("  resident growth      %8.1f MiB (target < 16 MiB) %s%s\n", growthMiB,
                smallEnough ? "PASS" : "FAIL",
                peakReset ? "" : " [peak not reset: an upper bound]");
    return fastEnough && smallEnough ? 0 : 1;
}
