// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace OrvelanNimbal::Panel {

// The words of the platform's table (core/config/PlatformWords.h) that the views show, read in
// QML as PlatformWords.signInTagline and so on: the views, the application and the extension
// read one table.
class PlatformTexts : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(PlatformWords)
    QML_SINGLETON
    Q_PROPERTY(QString signInTagline READ signInTagline CONSTANT)
    Q_PROPERTY(QString rememberDevice READ rememberDevice CONSTANT)
    Q_PROPERTY(QString passkeyNoticeFourthPiece READ passkeyNoticeFourthPiece CONSTANT)
    Q_PROPERTY(QString openFolderTip READ openFolderTip CONSTANT)
    Q_PROPERTY(QString approvalExplanation READ approvalExplanation CONSTANT)
    Q_PROPERTY(QString approvalFirstSwitch READ approvalFirstSwitch CONSTANT)
    Q_PROPERTY(QString approvalSecondSwitch READ approvalSecondSwitch CONSTANT)
    Q_PROPERTY(QString approvalHint READ approvalHint CONSTANT)
    Q_PROPERTY(QString approvalButton READ approvalButton CONSTANT)

public:
    using QObject::QObject;

    static QString signInTagline();
    static QString rememberDevice();
    static QString passkeyNoticeFourthPiece();
    static QString openFolderTip();
    static QString approvalExplanation();
    static QString approvalFirstSwitch();
    static QString approvalSecondSwitch();
    static QString approvalHint();
    static QString approvalButton();
};

} // namespace OrvelanNimbal::Panel
