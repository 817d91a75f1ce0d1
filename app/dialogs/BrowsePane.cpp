#include "app/dialogs/BrowsePane.h"

#include <QBoxLayout>
#include <QLabel>

#include "platform/posix/PosixDrives.h"

namespace vz {

TBrowsePane MakeBrowsePane(TShellNamespace& shell, const QString& pathCaption,
                           const QString& treeCaption, bool includeHidden) {
  TBrowsePane pane;
  pane.Path = Named<TPathEdit>("edtPath");
  pane.PathLabel = Named<QLabel>("lblPath", pathCaption);
  pane.PathLabel->setBuddy(pane.Path);
  pane.Tree = Named<TShellTree>("stBrowse", shell);
  pane.Tree->SetFileSystemOnly(true);
  pane.Tree->SetIncludeHidden(includeHidden);
  pane.TreeLabel = Named<QLabel>("lblBrowse", treeCaption);
  pane.TreeLabel->setBuddy(pane.Tree);
  pane.TreePlace = PlaceFor(pane.Tree);
  pane.Tree->Load();
  return pane;
}

QWidget* BrowsePageContent(const TBrowsePane& pane, const std::vector<QWidget*>& above,
                           const std::vector<QWidget*>& left) {
  auto* content = new QWidget;
  auto* layout = new QVBoxLayout(content);
  for (QWidget* widget : above) layout->addWidget(widget);
  layout->addWidget(pane.PathLabel);
  layout->addWidget(pane.Path);
  auto* leftColumn = new QVBoxLayout;
  for (QWidget* widget : left) leftColumn->addWidget(widget);
  leftColumn->addStretch(1);
  auto* rightColumn = new QVBoxLayout;
  rightColumn->addWidget(pane.TreeLabel);
  rightColumn->addWidget(pane.TreePlace, 1);
  auto* lower = new QHBoxLayout;
  lower->addLayout(leftColumn);
  lower->addLayout(rightColumn, 1);
  layout->addLayout(lower, 1);
  return content;
}

void CopyNodePath(const TShellTree& tree, const QModelIndex& index, Qt::MouseButton button,
                  TPathEdit& edit) {
  const TShellItem* item = tree.Model().ItemAt(index);
  // A greyed box (the extract dialog's volume mode) keeps its folder.
  if (button != Qt::LeftButton || item == nullptr || !edit.isEnabled()) return;
  edit.SetPath(item->Data.IsFileSystem() ? item->Data.Path : std::string());
}

void UpdatePathHint(TPathEdit& edit) {
  UpdateLongTextHint(edit, Trim(edit.text()));
}

std::string AbsoluteFolder(IFileSystem& files, const std::string& folder) {
  if (!folder.empty() && folder.front() == '/') return folder;
  return NormalisePath(folder.empty() ? std::string(".") : folder, files.CurrentFolder());
}

bool EnsureCurrentFolder(const TAppContext& app, const std::string& folder, bool offerCreate,
                         QWidget* focus) {
  TWidgetFocus target(focus);
  if (!EnsureFolder(app, folder, offerCreate, &target)) return false;
  app.Platform.Files.SetCurrentFolder(folder);
  return true;
}

}  // namespace vz
