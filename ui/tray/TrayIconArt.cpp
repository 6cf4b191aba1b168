// SPDX-License-Identifier: GPL-3.0-or-later
#include "TrayIconArt.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QSvgRenderer>

namespace OrvelanNimbal::Panel {

QIcon trayIcon(bool dark)
{
    QSvgRenderer glyph(
        QStringLiteral(":/qt/qml/OrvelanNimbal/Panel/icons/externaldrive.badge.icloud.svg"));
    const QColor ink = dark ? QColor(0xf6, 0xf5, 0xf4) : QColor(0x2e, 0x34, 0x36);
    QIcon icon;
    // Tray hosts ask for sizes from 16 to 48 points, at one or two pixels a point.
    for (const int size : {16, 22, 24, 32, 44, 48, 64, 96}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        glyph.render(&painter, QRectF(0, 0, size, size));
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(pixmap.rect(), ink);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

bool desktopIsDark()
{
    return QGuiApplication::palette().color(QPalette::Active, QPalette::Window).lightnessF() < 0.5;
}

} // namespace OrvelanNimbal::Panel
