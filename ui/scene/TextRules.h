// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace OrvelanNimbal::Panel {

// The text rules of the panel's fields and amounts, where JavaScript's own would be wrong: its
// trim() also removes line breaks, and its digit classes know only ASCII.
class TextRules : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;

    // The characters of `text` that are numbers in any script, in order, at most `limit` of them.
    Q_INVOKABLE static QString numbersOnly(const QString &text, int limit);
    // How many characters (code points) `text` holds; JavaScript's length counts UTF-16 units,
    // two for a character beyond the basic plane.
    Q_INVOKABLE static int characterCount(const QString &text);
    // `text` without spaces of any kind or tabs at either end; line breaks are kept.
    Q_INVOKABLE static QString trimmedSpaces(const QString &text);
    // An amount of megabytes in gigabytes, French style: "1,5 Go", "1 000 Go".
    Q_INVOKABLE static QString gigabytes(double megabytes, int decimals);
};

} // namespace OrvelanNimbal::Panel
