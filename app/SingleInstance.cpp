#include "app/SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

SingleInstance::SingleInstance(QString serverName)
    : name_(serverName.isEmpty() ? defaultServerName() : std::move(serverName)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultServerName() {
    // The user's runtime folder when the session has one; Qt would warn and make one
    // under /tmp otherwise.
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QDir(folder).exists())
        return QString("%1/ZORVENDAL-%2").arg(QDir::tempPath()).arg(getuid());
    return folder + "/ZORVENDAL";
}

bool SingleInstance::anotherIsRunning() const {
    QLocalSocket probe;
    probe.connectToServer(name_);
    bool answered = probe.waitForConnected(1000);
    probe.abort();
    return answered;
}

bool SingleInstance::claim() {
    if (server_)
        return true;
    if (anotherIsRunning())
        return false;
    // Nobody answers: whatever socket file is left belongs to a copy that died.
    QLocalServer::removeServer(name_);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(name_)) {
        server_.reset();
        return false;
    }
    // Connections only test for our presence; close them at once.
    QObject::connect(server_.get(), &QLocalServer::newConnection, [this] {
        while (QLocalSocket* s = server_->nextPendingConnection()) {
            s->disconnectFromServer();
            s->deleteLater();
        }
    });
    return true;
}
