// SPDX-License-Identifier: GPL-3.0-or-later
#include "idle/ProcessSample.h"

#include <QDir>
#include <QFile>

#include <sys/resource.h>
#include <unistd.h>

namespace Bench {

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

long long field(const QByteArray &status, const QByteArray &name)
{
    for (const QByteArray &line : status.split('\n')) {
        if (line.startsWith(name + ':'))
            return line.mid(name.size() + 1).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

} // namespace

ProcessSample ProcessSample::self()
{
    ProcessSample sample;
    rusage usage{};
    rusage children{};
    if (getrusage(RUSAGE_SELF, &usage) != 0 || getrusage(RUSAGE_CHILDREN, &children) != 0)
        return sample;
    const auto seconds = [](const rusage &use) {
        return double(use.ru_utime.tv_sec) + double(use.ru_utime.tv_usec) / 1e6
               + double(use.ru_stime.tv_sec) + double(use.ru_stime.tv_usec) / 1e6;
    };
    // The programs it ran and waited for are part of its cost.
    sample.cpuSeconds = seconds(usage) + seconds(children);
    sample.contextSwitches = usage.ru_nvcsw + usage.ru_nivcsw;
    sample.residentKilobytes = long(field(readAll(QStringLiteral("/proc/self/status")), "VmRSS"));
    sample.valid = true;
    return sample;
}

ProcessSample ProcessSample::of(qint64 pid)
{
    ProcessSample sample;
    const QString root = QStringLiteral("/proc/") + QString::number(pid);
    const QByteArray status = readAll(root + QStringLiteral("/status"));
    const QByteArray stat = readAll(root + QStringLiteral("/stat"));
    if (status.isEmpty() || stat.isEmpty())
        return sample;
    sample.residentKilobytes = long(field(status, "VmRSS"));

    // utime and stime are the 14th and 15th fields; the command name before them, in
    // parentheses, may hold spaces.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    const double ticks = double(sysconf(_SC_CLK_TCK));
    sample.cpuSeconds = (fields.value(11).toDouble() + fields.value(12).toDouble()) / ticks;

    const QDir tasks(root + QStringLiteral("/task"));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QByteArray taskStatus = readAll(tasks.filePath(task) + QStringLiteral("/status"));
        sample.contextSwitches += field(taskStatus, "voluntary_ctxt_switches")
                                  + field(taskStatus, "nonvoluntary_ctxt_switches");
    }
    sample.valid = true;
    return sample;
}

} // namespace Bench
