#pragma once
// One running copy per user: a local server named "ZORVENDAL" in the user's runtime
// folder marks the running copy; a second copy finds it by connecting, and a copy started
// to open files hands them to the running one that way.

#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

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
    // Gives the running copy files to open (file-system bytes); false when none took them.
    bool handOver(const std::vector<std::string>& paths) const;
    // Called in the running copy with the files another copy handed over.
    std::function<void(const std::vector<std::string>& paths)> onFiles;

    static QString defaultServerName();

private:
    QString name_;
    std::unique_ptr<QLocalServer> server_;
};
