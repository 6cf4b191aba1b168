// SPDX-License-Identifier: GPL-3.0-or-later
#include "LogCapture.h"

#include <QLoggingCategory>

namespace OrvelanNimbal::Testing {

namespace {

LogCapture *current = nullptr;
QtMessageHandler previousHandler = nullptr;

} // namespace

LogCapture::LogCapture()
{
    // Debug lines are part of what the tests read.
    QLoggingCategory::setFilterRules(QStringLiteral("net.orvelan.nimbal.sync.*=true"));
    current = this;
    m_previous = qInstallMessageHandler(&LogCapture::handle);
    previousHandler = m_previous;
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(m_previous);
    current = nullptr;
}

void LogCapture::handle(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    static const QString prefix = QStringLiteral("net.orvelan.nimbal.sync.");
    const QString category = QString::fromUtf8(context.category ? context.category : "");
    if (current && category.startsWith(prefix))
        current->m_lines.append(category.mid(prefix.size()) + QStringLiteral(": ") + text);
    if (previousHandler)
        previousHandler(type, context, text);
}

} // namespace OrvelanNimbal::Testing
