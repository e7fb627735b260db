#include "widgets/qt_foldertree.h"

#include <QCollator>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QLocale>
#include <QSet>
#include <algorithm>

struct FolderTreeModel::Node {
  QString name;
  QString path;
  Node* parent = nullptr;
  int row = 0;  // the place among the parent's children
  bool read = false;
  std::vector<std::unique_ptr<Node>> children;

  void Renumber() {
    for (std::size_t i = 0; i < children.size(); ++i) children[i]->row = static_cast<int>(i);
  }
};

namespace {

// Folder names in the order of the German user interface, letter case
// ignored, numbers by their value; names equal in that order by their
// characters, so that the order is total and a re-read finds the rows
// where it left them.
bool FolderOrder(const QString& a, const QString& b) {
  static const QCollator collator = [] {
    QCollator c(QLocale(QLocale::German, QLocale::Germany));
    c.setCaseSensitivity(Qt::CaseInsensitive);
    c.setNumericMode(true);
    return c;
  }();
  const int order = collator.compare(a, b);
  return order != 0 ? order < 0 : a < b;
}

// The names of the visible sub-folders, sorted; none when the folder
// cannot be read.
QStringList SubFolders(const QString& path) {
  QStringList names = QDir(path).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::NoSort);
  std::sort(names.begin(), names.end(), FolderOrder);
  return names;
}

}  // namespace

std::unique_ptr<FolderTreeModel::Node> FolderTreeModel::NewChild(Node* parent,
                                                                 const QString& name) {
  auto child = std::make_unique<Node>();
  child->name = name;
  const QString& above = parent->path;
  child->path = above.endsWith(QLatin1Char('/')) ? above + name : above + QLatin1Char('/') + name;
  child->parent = parent;
  return child;
}

FolderTreeModel::FolderTreeModel(QObject* parent)
    : QAbstractItemModel(parent), root_(std::make_unique<Node>()) {
  auto top = std::make_unique<Node>();
  top->name = QStringLiteral("/");
  top->path = QStringLiteral("/");
  top->parent = root_.get();
  root_->children.push_back(std::move(top));
  root_->read = true;
}

FolderTreeModel::~FolderTreeModel() = default;

FolderTreeModel::Node* FolderTreeModel::NodeOf(const QModelIndex& index) const {
  return index.isValid() ? static_cast<Node*>(index.internalPointer()) : root_.get();
}

QModelIndex FolderTreeModel::IndexOfNode(const Node* node) const {
  if (node == nullptr || node == root_.get()) return QModelIndex();
  return createIndex(node->row, 0, const_cast<Node*>(node));
}

QModelIndex FolderTreeModel::index(int row, int column, const QModelIndex& parent) const {
  const Node* node = NodeOf(parent);
  if (column != 0 || row < 0 || row >= static_cast<int>(node->children.size()))
    return QModelIndex();
  return IndexOfNode(node->children[static_cast<std::size_t>(row)].get());
}

QModelIndex FolderTreeModel::parent(const QModelIndex& child) const {
  if (!child.isValid()) return QModelIndex();
  return IndexOfNode(NodeOf(child)->parent);
}

int FolderTreeModel::rowCount(const QModelIndex& parent) const {
  if (parent.column() > 0) return 0;
  return static_cast<int>(NodeOf(parent)->children.size());
}

int FolderTreeModel::columnCount(const QModelIndex&) const { return 1; }

QVariant FolderTreeModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return QVariant();
  const Node* node = NodeOf(index);
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
      return node->name;
    case Qt::DecorationRole:
      // Made when first drawn, not with the window that holds the tree.
      if (folderIcon_.isNull())
        folderIcon_ = QFileIconProvider().icon(QAbstractFileIconProvider::Folder);
      return folderIcon_;
    case Qt::ToolTipRole:
      return node->path;
    default:
      return QVariant();
  }
}

Qt::ItemFlags FolderTreeModel::flags(const QModelIndex& index) const {
  return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

bool FolderTreeModel::hasChildren(const QModelIndex& parent) const {
  const Node* node = NodeOf(parent);
  // A folder not read yet may have sub-folders: it can be opened.
  return !node->read || !node->children.empty();
}

bool FolderTreeModel::canFetchMore(const QModelIndex& parent) const {
  return parent.isValid() && !NodeOf(parent)->read;
}

void FolderTreeModel::fetchMore(const QModelIndex& parent) {
  if (canFetchMore(parent)) ReadChildren(NodeOf(parent));
}

QString FolderTreeModel::FilePath(const QModelIndex& index) const {
  return index.isValid() ? NodeOf(index)->path : QString();
}

void FolderTreeModel::ReadChildren(Node* node) {
  const QStringList names = SubFolders(node->path);
  node->read = true;
  if (names.isEmpty()) {
    // The folder loses its opening mark.
    const QModelIndex index = IndexOfNode(node);
    emit dataChanged(index, index);
    return;
  }
  beginInsertRows(IndexOfNode(node), 0, static_cast<int>(names.size()) - 1);
  for (const QString& name : names) node->children.push_back(NewChild(node, name));
  node->Renumber();
  endInsertRows();
}

void FolderTreeModel::Reread(const QModelIndex& folder) {
  if (!folder.isValid()) return;
  Node* node = NodeOf(folder);
  if (!node->read) {
    ReadChildren(node);
    return;
  }
  const QStringList names = SubFolders(node->path);
  const QSet<QString> present(names.begin(), names.end());
  auto& children = node->children;
  for (int row = static_cast<int>(children.size()) - 1; row >= 0; --row) {
    if (present.contains(children[static_cast<std::size_t>(row)]->name)) continue;
    beginRemoveRows(folder, row, row);
    children.erase(children.begin() + row);
    node->Renumber();
    endRemoveRows();
  }
  // What is left is in the order of `names`: every name not at its place
  // is new.
  std::size_t row = 0;
  for (const QString& name : names) {
    if (row < children.size() && children[row]->name == name) {
      ++row;
      continue;
    }
    beginInsertRows(folder, static_cast<int>(row), static_cast<int>(row));
    children.insert(children.begin() + static_cast<std::ptrdiff_t>(row), NewChild(node, name));
    node->Renumber();
    endInsertRows();
    ++row;
  }
  if (names.isEmpty()) emit dataChanged(folder, folder);
}

void FolderTreeModel::RereadTree(Node* node) {
  if (!node->read) return;
  Reread(IndexOfNode(node));
  for (const auto& child : node->children) RereadTree(child.get());
}

void FolderTreeModel::RereadAll() { RereadTree(root_->children.front().get()); }

QModelIndex FolderTreeModel::IndexOf(const QString& path) {
  if (!QDir::isAbsolutePath(path)) return QModelIndex();
  Node* node = root_->children.front().get();
  const QStringList parts = QDir::cleanPath(path).split(QLatin1Char('/'), Qt::SkipEmptyParts);
  for (const QString& part : parts) {
    auto find = [node, &part]() -> Node* {
      for (const auto& child : node->children)
        if (child->name == part) return child.get();
      return nullptr;
    };
    if (!node->read) ReadChildren(node);
    Node* next = find();
    if (next == nullptr) {
      // Made since the folder was read?
      Reread(IndexOfNode(node));
      next = find();
    }
    if (next == nullptr) return QModelIndex();
    node = next;
  }
  return IndexOfNode(node);
}
