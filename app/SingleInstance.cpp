#include "app/SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

namespace {

constexpr qsizetype kMaxHandOverBytes = 4 * 1024 * 1024; // paths a copy may hand over

} // namespace

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
    // A connection tests for our presence, or brings files: their paths, each ended by a
    // NUL byte (a path may hold any other byte), up to kMaxHandOverBytes.
    QObject::connect(server_.get(), &QLocalServer::newConnection, [this] {
        while (QLocalSocket* s = server_->nextPendingConnection()) {
            auto received = std::make_shared<QByteArray>();
            QObject::connect(s, &QLocalSocket::readyRead, s, [s, received] {
                received->append(s->readAll());
                if (received->size() > kMaxHandOverBytes)
                    s->abort();
            });
            QObject::connect(s, &QLocalSocket::disconnected, s, [this, s, received] {
                received->append(s->readAll());
                std::vector<std::string> paths;
                qsizetype start = 0;
                for (qsizetype end; (end = received->indexOf('\0', start)) >= 0; start = end + 1)
                    if (end > start)
                        paths.emplace_back(received->constData() + start, size_t(end - start));
                if (!paths.empty() && received->size() <= kMaxHandOverBytes && onFiles)
                    onFiles(paths);
                s->deleteLater();
            });
        }
    });
    return true;
}

bool SingleInstance::handOver(const std::vector<std::string>& paths) const {
    QByteArray message;
    for (const std::string& path : paths)
        message.append(path.data(), qsizetype(path.size())).append('\0');
    if (message.isEmpty() || message.size() > kMaxHandOverBytes)
        return false;
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(1000))
        return false;
    socket.write(message);
    const bool sent = socket.waitForBytesWritten(2000);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(1000);
    return sent;
}
