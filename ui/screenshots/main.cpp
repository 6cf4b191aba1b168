// SPDX-License-Identifier: GPL-3.0-or-later
// nimbal-panel-screenshots OUTPUT_DIR: draws every state of the panel offscreen with the
// software renderer and saves each as OUTPUT_DIR/<state>.png (1×) and <state>@2x.png (2×).
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPalette>
#include <QProcess>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QTextStream>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>

#include <cstdio>

Q_IMPORT_QML_PLUGIN(OrvelanNimbal_AppPlugin)
Q_IMPORT_QML_PLUGIN(OrvelanNimbal_PanelPlugin)
Q_IMPORT_QML_PLUGIN(OrvelanNimbal_Panel_PreviewPlugin)

namespace {

// A view that warns (a binding that throws, an unknown property) is a broken picture: the tool
// fails rather than save it.
int warnings = 0;

void countWarnings(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg) {
        ++warnings;
        std::fprintf(stderr, "%s\n", qPrintable(message));
    }
}

// Lets timers, layouts and animations (the tooltip's fade) run for a while.
void settle(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// Types into the named fields, clicks the named links, and shows the named tooltip.
void act(QQuickItem *root, const QVariantMap &actions)
{
    for (auto it = actions.begin(); it != actions.end(); ++it) {
        if (it.key() == u"tooltip") {
            if (auto *control = root->findChild<QObject *>(it.value().toString()))
                control->property("tooltip").value<QObject *>()->setProperty("shown", true);
            continue;
        }
        QObject *target = root->findChild<QObject *>(it.key());
        if (!target)
            continue;
        if (it.value().toString() == u"click")
            QMetaObject::invokeMethod(target, "clicked");
        else
            target->setProperty("text", it.value());
    }
}

// A dark desktop's palette, for the states whose name ends in "-dark".
QPalette darkPalette()
{
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(0x24, 0x24, 0x24));
    palette.setColor(QPalette::WindowText, QColor(0xf2, 0xf2, 0xf2));
    palette.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    palette.setColor(QPalette::Text, QColor(0xf2, 0xf2, 0xf2));
    palette.setColor(QPalette::Button, QColor(0x30, 0x30, 0x30));
    palette.setColor(QPalette::ButtonText, QColor(0xf2, 0xf2, 0xf2));
    return palette;
}

int drawAll(const QString &folder, qreal scale)
{
    const QPalette lightPalette = QGuiApplication::palette();
    QQuickView view;
    view.engine()->addImportPath(QStringLiteral("qrc:/qt/qml"));
    view.setResizeMode(QQuickView::SizeViewToRootObject);
    const QString suffix = scale > 1 ? QStringLiteral("@2x") : QString();
    const QStringList names = [&] {
        view.setSource(QUrl(QStringLiteral("qrc:/gallery/Gallery.qml")));
        return view.rootObject()->property("stateNames").toStringList();
    }();
    if (names.isEmpty()) {
        for (const auto &error : view.errors())
            std::fprintf(stderr, "%s\n", qPrintable(error.toString()));
        return 1;
    }
    QTextStream out(stdout);
    for (const QString &name : names) {
        // A fresh panel for each state: nothing typed or shown carries over.
        QGuiApplication::setPalette(name.endsWith(u"-dark") ? darkPalette() : lightPalette);
        view.setSource(QUrl());
        view.engine()->clearComponentCache();
        view.setSource(QUrl(QStringLiteral("qrc:/gallery/Gallery.qml")));
        view.setColor(QGuiApplication::palette().color(QPalette::Window));
        QQuickItem *root = view.rootObject();
        view.show();
        view.requestActivate();
        QVariant actions;
        QMetaObject::invokeMethod(root, "show", Q_RETURN_ARG(QVariant, actions),
                                  Q_ARG(QVariant, name));
        settle(50);
        act(root, actions.toMap());
        settle(400);
        const QString file = QDir(folder).filePath(name + suffix + QStringLiteral(".png"));
        if (!view.grabWindow().save(file)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
        out << file << Qt::endl;
    }
    return warnings == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    // Each scale is drawn by a process of its own: the scale factor is fixed at start.
    const QByteArray scale = qgetenv("NIMBAL_SCREENSHOT_SCALE");
    if (scale.isEmpty()) {
        QCoreApplication app(argc, argv);
        const QStringList args = app.arguments();
        if (args.size() != 2) {
            std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
            return 2;
        }
        QDir().mkpath(args[1]);
        for (const char *factor : {"1", "2"}) {
            QProcess child;
            auto environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("NIMBAL_SCREENSHOT_SCALE"), QString::fromLatin1(factor));
            environment.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::fromLatin1(factor));
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            child.setProcessEnvironment(environment);
            child.setProcessChannelMode(QProcess::ForwardedChannels);
            child.start(app.applicationFilePath(), {args[1]});
            if (!child.waitForFinished(120000) || child.exitCode() != 0)
                return 1;
        }
        return 0;
    }

    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    QGuiApplication app(argc, argv);
    qInstallMessageHandler(countWarnings);
    return drawAll(app.arguments().value(1), scale.toDouble());
}
