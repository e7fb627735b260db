// The folders of the file system as a tree from "/" down, for a tree view:
// folders only, hidden ones left out. A folder's sub-folders are read when
// the folder is first shown opened and again whenever Reread asks, so that
// folders made or removed while the program runs are seen; rows of folders
// that are still there keep their identity (and so their expansion and
// selection in a view).
#pragma once

#include <QAbstractItemModel>
#include <QIcon>
#include <QString>
#include <memory>
#include <vector>

class FolderTreeModel : public QAbstractItemModel {
 public:
  explicit FolderTreeModel(QObject* parent = nullptr);
  ~FolderTreeModel() override;

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool hasChildren(const QModelIndex& parent = {}) const override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;

  // The folder's full path; empty for no folder.
  QString FilePath(const QModelIndex& index) const;
  // The folder of the path, reading the folders on the way (a folder made
  // since its parent was read is found); invalid when the path names no
  // folder the tree shows.
  QModelIndex IndexOf(const QString& path);
  // Reads the folder's sub-folders anew: new ones appear in their sorted
  // place, vanished ones go, the others keep their rows.
  void Reread(const QModelIndex& folder);
  // Reads every folder read so far anew.
  void RereadAll();

 private:
  struct Node;
  Node* NodeOf(const QModelIndex& index) const;
  QModelIndex IndexOfNode(const Node* node) const;
  static std::unique_ptr<Node> NewChild(Node* parent, const QString& name);
  void ReadChildren(Node* node);
  void RereadTree(Node* node);

  std::unique_ptr<Node> root_;  // above "/": its only child is "/"
  mutable QIcon folderIcon_;
};
