#pragma once
// The folder tree of the file browser over the file system. Its one top-level item is
// the root: a folder, or the desktop, a virtual folder listing the user's home, the
// music folder and each mounted volume. A folder's subfolders are read when it is
// expanded (fetchMore) and dropped when it collapses, so they are read afresh next time.
// Hidden names are left out; a symbolic link to a folder is shown as a folder (the tree
// only descends on the user's request, so a loop costs nothing).
//
// Paths are the file system's bytes; names are decoded for display only.
// Threading: user-interface thread only.

#include <QAbstractItemModel>
#include <QIcon>

#include <functional>
#include <memory>
#include <string>
#include <vector>

struct DesktopPlace {
    std::string path;
    QString name;
    bool volume = false; // may be slow to read: never looked into before it is expanded
};

class FolderTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit FolderTreeModel(QObject* parent = nullptr);
    ~FolderTreeModel() override;

    // What the desktop lists; by default home, music folder and mounted volumes.
    std::function<std::vector<DesktopPlace>()> desktopPlaces;
    static std::vector<DesktopPlace> systemDesktopPlaces();

    // The root: a folder's absolute path, or empty for the desktop. A folder that does
    // not exist gives the desktop.
    void setRoot(const std::string& folder);
    bool rootIsDesktop() const;
    QModelIndex rootIndex() const { return index(0, 0); }

    // The folder of an item; empty for the desktop.
    std::string pathOf(const QModelIndex& index) const;
    bool isRoot(const QModelIndex& index) const {
        return index.isValid() && !index.parent().isValid();
    }
    // Drops the children of a collapsed item.
    void forgetChildren(const QModelIndex& index);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

private:
    struct Node;
    Node* nodeOf(const QModelIndex& index) const;
    std::vector<std::unique_ptr<Node>> readChildren(const Node& node) const;

    std::unique_ptr<Node> top_; // the invisible parent of the root item
    QIcon desktopIcon_, volumeIcon_, folderIcon_;
};
