#pragma once
// One running copy per user: a local server named "ZORVENDAL" in the user's runtime
// folder marks the running copy; a second copy finds it by connecting.

#include <QString>

#include <memory>

class QLocalServer;

class SingleInstance {
public:
    // serverName empty = the per-user default.
    explicit SingleInstance(QString serverName = {});
    ~SingleInstance();

    // True when another copy answers on the server name.
    bool anotherIsRunning() const;
    // Marks this copy as the running one. False when another copy holds the name.
    bool claim();

    static QString defaultServerName();

private:
    QString name_;
    std::unique_ptr<QLocalServer> server_;
};
