// The folder box and folder tree that the add-files, extract and refresh
// dialogs share: "edtPath" with its label above "stBrowse" with its label.
// A left press on a tree item copies its folder into the box (nothing for a
// node outside the file system); text wider than the box is its tooltip.
#pragma once

#include <QString>

#include <vector>

#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/ShellTree.h"

class QLabel;

namespace vz {

struct TBrowsePane {
  QLabel* PathLabel = nullptr;
  TPathEdit* Path = nullptr;
  QLabel* TreeLabel = nullptr;
  TShellTree* Tree = nullptr;
  QWidget* TreePlace = nullptr;  // where the tree sits when not filling its page
};

// Folders of the file system only; the tree is loaded.
TBrowsePane MakeBrowsePane(TShellNamespace& shell, const QString& pathCaption,
                           const QString& treeCaption, bool includeHidden);

// The page's usual arrangement: `above` (if any), the box with its label,
// then `left` in a column beside the tree with its label.
QWidget* BrowsePageContent(const TBrowsePane& pane, const std::vector<QWidget*>& above,
                           const std::vector<QWidget*>& left);

// stBrowseMouseDown: a left press copies the node's folder into the box.
void CopyNodePath(const TShellTree& tree, const QModelIndex& index, Qt::MouseButton button,
                  TPathEdit& edit);

// edtPathChange: the tooltip for the trimmed text.
void UpdatePathHint(TPathEdit& edit);

// The folder as an absolute path, against the current folder (which an
// empty one stands for): the checks that follow make the folder current,
// after which a relative name would point elsewhere.
std::string AbsoluteFolder(IFileSystem& files, const std::string& folder);

// EnsureFolder, and the folder current also when it had to be made: the
// operation that follows runs in it.
bool EnsureCurrentFolder(const TAppContext& app, const std::string& folder, bool offerCreate,
                         QWidget* focus);

}  // namespace vz
