// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

namespace OrvelanNimbal::Panel {

// The desktop's own places that the views open directly, not through the model.
class Desktop : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    // The account's security page on the service's account site.
    Q_PROPERTY(QUrl securityPage READ securityPage CONSTANT)

public:
    using QObject::QObject;

    static QUrl securityPage();
};

} // namespace OrvelanNimbal::Panel
