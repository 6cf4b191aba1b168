// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>
#include <QtMessageHandler>

namespace OrvelanNimbal::Testing {

// Records what the application's log categories say while it lives, as "category: text" lines,
// and still shows them in the test's output.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    // Lines of the "net.orvelan.nimbal.sync.*" categories, without the common prefix:
    // "app: Temps réel : connected".
    const QStringList &lines() const { return m_lines; }
    qsizetype count(const QString &line) const { return m_lines.count(line); }
    void clear() { m_lines.clear(); }

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &text);

    QtMessageHandler m_previous;
    QStringList m_lines;
};

} // namespace OrvelanNimbal::Testing
