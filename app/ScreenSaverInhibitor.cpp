#include "app/ScreenSaverInhibitor.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QGuiApplication>

namespace {
constexpr const char* kService = "org.freedesktop.ScreenSaver";
constexpr const char* kPath = "/org/freedesktop/ScreenSaver";
} // namespace

ScreenSaverInhibitor::ScreenSaverInhibitor() {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app)
        return;
    connect(app, &QGuiApplication::applicationStateChanged, this,
            &ScreenSaverInhibitor::applicationStateChanged);
    applicationStateChanged(QGuiApplication::applicationState());
}

ScreenSaverInhibitor::~ScreenSaverInhibitor() {
    release();
}

void ScreenSaverInhibitor::applicationStateChanged(Qt::ApplicationState state) {
    if (state == Qt::ApplicationActive)
        inhibit();
    else
        release();
}

void ScreenSaverInhibitor::inhibit() {
    if (cookie_ != 0)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusInterface saver(kService, kPath, kService, bus);
    if (!saver.isValid())
        return;
    const QDBusReply<uint32_t> reply = saver.call("Inhibit", "Zorvendal", "Mixing music");
    if (reply.isValid())
        cookie_ = reply.value();
}

void ScreenSaverInhibitor::release() {
    if (cookie_ == 0)
        return;
    QDBusInterface saver(kService, kPath, kService, QDBusConnection::sessionBus());
    if (saver.isValid())
        saver.call("UnInhibit", cookie_);
    cookie_ = 0;
}
