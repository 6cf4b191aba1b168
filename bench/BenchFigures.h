// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFile>
#include <QString>

// A figure for the table `./run bench` prints once every benchmark has run: appended, one
// tab-separated line (work, ours, peer, ratio, target, met), to the file NIMBAL_BENCH_FIGURES
// names. Without it the benchmark's own lines are all there is.
inline void recordFigure(const QString &work, const QString &ours, const QString &peer,
                         const QString &ratio, const QString &target, bool met)
{
    const QString path = qEnvironmentVariable("NIMBAL_BENCH_FIGURES");
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::Append))
        return;
    const QString line = QStringList{work, ours, peer, ratio, target, met ? u"met"_qs : u"MISSED"_qs}
                             .join(u'\t');
    file.write(line.toUtf8() + '\n');
}
