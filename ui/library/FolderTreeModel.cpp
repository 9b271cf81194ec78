#include "ui/library/FolderTreeModel.h"

#include "core/Settings.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileIconProvider>
#include <QStandardPaths>

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>

struct FolderTreeModel::Node {
    enum Kind { Top, Desktop, Folder, Volume };
    Kind kind = Folder;
    std::string path;
    QString name;
    Node* parent = nullptr;
    int row = 0;
    bool loaded = false;
    // Whether a folder has subfolders, looked up once when first asked.
    mutable int subfolders = -1;
    std::vector<std::unique_ptr<Node>> children;
};

namespace {

bool isFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Visible subfolders (links to folders included), stopping after the first when
// firstOnly is set.
std::vector<std::string> subfolderNames(const std::string& folder, bool firstOnly) {
    std::vector<std::string> names;
    if (folder.empty())
        return names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return names;
    const std::string prefix = folder.back() == '/' ? folder : folder + '/';
    while (const dirent* item = ::readdir(dir)) {
        if (item->d_name[0] == '.')
            continue;
        const bool folderType = item->d_type == DT_DIR;
        const bool unknown = item->d_type == DT_LNK || item->d_type == DT_UNKNOWN;
        if (folderType || (unknown && isFolder(prefix + item->d_name))) {
            names.emplace_back(item->d_name);
            if (firstOnly)
                break;
        }
    }
    ::closedir(dir);
    return names;
}

QString displayName(const std::string& path) {
    if (path == "/")
        return QStringLiteral("/");
    const size_t slash = path.find_last_of('/', path.size() - 2);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.size() > 1 && name.back() == '/')
        name.pop_back();
    return QFile::decodeName(QByteArray::fromStdString(name));
}

} // namespace

FolderTreeModel::FolderTreeModel(QObject* parent)
    : QAbstractItemModel(parent), desktopPlaces(&FolderTreeModel::systemDesktopPlaces),
      top_(std::make_unique<Node>()) {
    top_->kind = Node::Top;
    const QFileIconProvider icons;
    desktopIcon_ = icons.icon(QFileIconProvider::Desktop);
    volumeIcon_ = icons.icon(QFileIconProvider::Drive);
    folderIcon_ = icons.icon(QFileIconProvider::Folder);
}

FolderTreeModel::~FolderTreeModel() = default;

std::vector<DesktopPlace> FolderTreeModel::systemDesktopPlaces() {
    std::vector<DesktopPlace> places;
    const std::string home = QFile::encodeName(QDir::homePath()).toStdString();
    places.push_back({home, QStringLiteral("Home"), false});
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    const std::string musicPath = QFile::encodeName(music).toStdString();
    if (!music.isEmpty() && musicPath != home && isFolder(musicPath))
        places.push_back({musicPath, QStringLiteral("Music"), false});
    for (const Volume& volume : Settings::mountedVolumes()) {
        const std::string root = QFile::encodeName(volume.root).toStdString();
        places.push_back({root, volume.root, true});
    }
    return places;
}

void FolderTreeModel::setRoot(const std::string& folder) {
    beginResetModel();
    top_->children.clear();
    auto root = std::make_unique<Node>();
    root->parent = top_.get();
    if (!folder.empty() && isFolder(folder)) {
        root->kind = Node::Folder;
        root->path = folder;
        root->name = displayName(folder);
    } else {
        root->kind = Node::Desktop;
        root->name = QStringLiteral("Desktop");
    }
    top_->children.push_back(std::move(root));
    top_->loaded = true;
    endResetModel();
}

bool FolderTreeModel::rootIsDesktop() const {
    return top_->children.empty() || top_->children[0]->kind == Node::Desktop;
}

FolderTreeModel::Node* FolderTreeModel::nodeOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<Node*>(index.internalPointer()) : top_.get();
}

std::string FolderTreeModel::pathOf(const QModelIndex& index) const {
    return index.isValid() ? nodeOf(index)->path : std::string();
}

QModelIndex FolderTreeModel::index(int row, int column, const QModelIndex& parent) const {
    const Node* node = nodeOf(parent);
    if (column != 0 || row < 0 || row >= int(node->children.size()))
        return {};
    return createIndex(row, 0, node->children[size_t(row)].get());
}

QModelIndex FolderTreeModel::parent(const QModelIndex& child) const {
    if (!child.isValid())
        return {};
    const Node* up = nodeOf(child)->parent;
    if (!up || up == top_.get())
        return {};
    return createIndex(up->row, 0, const_cast<Node*>(up));
}

int FolderTreeModel::rowCount(const QModelIndex& parent) const {
    return int(nodeOf(parent)->children.size());
}

int FolderTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant FolderTreeModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    const Node* node = nodeOf(index);
    if (role == Qt::DisplayRole)
        return node->name;
    if (role == Qt::DecorationRole) {
        switch (node->kind) {
        case Node::Desktop:
            return desktopIcon_;
        case Node::Volume:
            return volumeIcon_;
        default:
            return folderIcon_;
        }
    }
    return {};
}

bool FolderTreeModel::hasChildren(const QModelIndex& parent) const {
    const Node* node = nodeOf(parent);
    if (node->loaded)
        return !node->children.empty();
    if (node->kind != Node::Folder)
        return true; // the desktop, and volumes that may be slow to look into
    if (node->subfolders < 0)
        node->subfolders = subfolderNames(node->path, true).empty() ? 0 : 1;
    return node->subfolders > 0;
}

bool FolderTreeModel::canFetchMore(const QModelIndex& parent) const {
    return parent.isValid() && !nodeOf(parent)->loaded;
}

std::vector<std::unique_ptr<FolderTreeModel::Node>>
FolderTreeModel::readChildren(const Node& node) const {
    std::vector<std::unique_ptr<Node>> children;
    if (node.kind == Node::Desktop) {
        for (const DesktopPlace& place :
             desktopPlaces ? desktopPlaces() : std::vector<DesktopPlace>()) {
            auto child = std::make_unique<Node>();
            child->kind = place.volume ? Node::Volume : Node::Folder;
            child->path = place.path;
            child->name = place.name;
            children.push_back(std::move(child));
        }
        return children;
    }
    if (node.path.empty())
        return children;
    const std::string prefix = node.path.back() == '/' ? node.path : node.path + '/';
    for (const std::string& name : subfolderNames(node.path, false)) {
        auto child = std::make_unique<Node>();
        child->path = prefix + name;
        child->name = QFile::decodeName(QByteArray::fromStdString(name));
        children.push_back(std::move(child));
    }
    // Sorted by name, case ignored.
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(children.begin(), children.end(), [&](const auto& a, const auto& b) {
        return collator.compare(a->name, b->name) < 0;
    });
    return children;
}

void FolderTreeModel::fetchMore(const QModelIndex& parent) {
    Node* node = nodeOf(parent);
    if (node->loaded)
        return;
    std::vector<std::unique_ptr<Node>> children = readChildren(*node);
    node->loaded = true;
    node->subfolders = children.empty() ? 0 : 1;
    if (children.empty())
        return;
    beginInsertRows(parent, 0, int(children.size()) - 1);
    for (size_t i = 0; i < children.size(); ++i) {
        children[i]->parent = node;
        children[i]->row = int(i);
    }
    node->children = std::move(children);
    endInsertRows();
}

void FolderTreeModel::forgetChildren(const QModelIndex& index) {
    Node* node = nodeOf(index);
    if (!index.isValid() || !node->loaded)
        return;
    if (!node->children.empty()) {
        beginRemoveRows(index, 0, int(node->children.size()) - 1);
        node->children.clear();
        endRemoveRows();
    }
    node->loaded = false;
    node->subfolders = -1;
}
