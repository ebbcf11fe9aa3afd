// The folder search's matching rule and tree walk.
#pragma once

#include <QString>
#include <vector>

class QTreeWidget;
class QTreeWidgetItem;

namespace qb::wiz {

// True when name contains findText anywhere, both upper-cased with the
// user's locale.
bool FolderNameMatches(const QString& name, const QString& findText);

// Every item of tree in tree order (a parent before its children, siblings
// in order), expanded or not.
std::vector<QTreeWidgetItem*> TreeItemsInOrder(QTreeWidget* tree);

}  // namespace qb::wiz
