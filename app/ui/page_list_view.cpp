#include "page_list_view.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDrag>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QUrl>
#include <algorithm>

#include "bitmap_image.h"
#include "message_box.h"

namespace {

// The cell of one page: the thumbnail and one line of its label.
constexpr int kCellWidth = 150;
constexpr int kCellHeight = 130;
// How close to the top or bottom edge a dragged page starts scrolling the list.
constexpr int kScrollMargin = 16;
constexpr int kScrollIntervalMs = 100;

// Shows each page's numbered label. A long path loses its start, never the number.
class NumberedLabelDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    QString number = CPageListModel::NumberOfRow(index.row());
    int room =
        option->rect.width() - 2 * kTextMargin - option->fontMetrics.horizontalAdvance(number);
    option->text = number + option->fontMetrics.elidedText(index.data().toString(), Qt::ElideLeft,
                                                           std::max(room, 0));
  }

 private:
  static constexpr int kTextMargin = 4;
};

// The document deletes the thumbnail when its notification returns: the model keeps a
// copy.
QIcon ThumbnailIcon(HBITMAP bitmap) {
  return QIcon(QPixmap::fromImage(pwui::ImageFromBitmap(bitmap)));
}

}  // namespace

CPageWeaverListView::CPageWeaverListView(CPageWeaverDoc* doc, QWidget* parent)
    : QListView(parent), doc_(doc), model_(new CPageListModel(this)) {
  setModel(model_);
  setViewMode(QListView::IconMode);
  setMovement(QListView::Static);  // reordering is ours: the item order is the page order
  setResizeMode(QListView::Adjust);
  setIconSize(QSize(int(kThumbnailSize), int(kThumbnailSize)));
  setGridSize(QSize(kCellWidth, kCellHeight));
  setUniformItemSizes(true);
  setWordWrap(false);
  setTextElideMode(Qt::ElideLeft);  // the file name is the end of the path
  setItemDelegate(new NumberedLabelDelegate(this));
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setDragEnabled(true);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DragDrop);
  setDropIndicatorShown(false);
  setAutoScroll(false);
  setFrameShape(QFrame::StyledPanel);

  scrollTimer_ = new QTimer(this);
  scrollTimer_->setInterval(kScrollIntervalMs);
  connect(scrollTimer_, &QTimer::timeout, this, &CPageWeaverListView::ScrollOneLine);
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this](const QItemSelection& selected) { OnSelectionChanged(selected); });
  connect(this, &QAbstractItemView::doubleClicked, this, [this] { EditSelectedPages(); });

  viewPageAction_ = new QAction(QStringLiteral("View Page"), this);
  viewPageAction_->setStatusTip(QStringLiteral("Show the page at full size"));
  viewPageAction_->setShortcut(QKeySequence(Qt::Key_Space));
  viewPageAction_->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  addAction(viewPageAction_);
  connect(viewPageAction_, &QAction::triggered, this, [this] {
    if (!Busy() && CurrentPageId() >= 0) emit ViewPageRequested();
  });
  editor_ = std::make_unique<CPageListEditor>(doc_, this);
}

CPageWeaverListView::~CPageWeaverListView() = default;

void CPageWeaverListView::OnUpdate(PageListHint hint, const PageHint* pageHint) {
  switch (hint) {
    case HINT_RESET:
      model_->Clear();
      currentPage_ = -1;
      dragging_ = false;
      dragSource_ = dropTarget_ = -1;
      RequestScroll(0);
      break;
    case HINT_PAGE_ADDED: {
      if (!pageHint || !pageHint->bitmap) return;
      model_->AppendPage({pageHint->pageId, QString::fromStdString(pageHint->displayName),
                          ThumbnailIcon(pageHint->bitmap)});
      // Pages are added one after another without returning to the event loop: the list
      // shows each at once, so that adding many files is seen to progress.
      executeDelayedItemsLayout();
      scrollTo(model_->index(model_->rowCount() - 1));
      viewport()->repaint();
      break;
    }
    case HINT_PAGE_REMOVED: {
      if (!pageHint) return;
      int row = model_->RowOfPage(pageHint->pageId);
      if (!model_->removeRows(row, 1)) return;
      int count = model_->rowCount();
      if (count > 0)
        selectionModel()->setCurrentIndex(model_->index(std::min(row, count - 1)),
                                          QItemSelectionModel::ClearAndSelect);
      break;
    }
    case HINT_THUMBNAIL_CHANGED: {
      if (!pageHint || !pageHint->bitmap) return;
      const int row = model_->RowOfPage(pageHint->pageId);
      model_->SetThumbnail(row, ThumbnailIcon(pageHint->bitmap));
      // A page re-read from a file it was saved into may have a new page number.
      if (!pageHint->displayName.empty())
        model_->SetLabel(row, QString::fromStdString(pageHint->displayName));
      break;
    }
    case HINT_SAVE_BEGIN:
      setEnabled(false);
      break;
    case HINT_SAVE_END:
      setEnabled(true);
      break;
    case HINT_PREVIEW_SIZE_CHANGED:
      if (currentPage_ >= 0 && doc_) doc_->ShowPage(currentPage_);
      break;
    default:
      break;
  }
}

void CPageWeaverListView::OnSelectionChanged(const QItemSelection& selected) {
  QModelIndexList indexes = selected.indexes();
  if (indexes.isEmpty()) return;
  QModelIndex shown = indexes.contains(currentIndex()) ? currentIndex() : indexes.last();
  currentPage_ = model_->PageIdAt(shown.row());
  if (doc_) doc_->ShowPage(currentPage_);
}

std::vector<int32_t> CPageWeaverListView::SelectedPageIds() const {
  std::vector<int32_t> ids;
  for (int row = 0; row < model_->rowCount(); ++row)
    if (selectionModel()->isSelected(model_->index(row))) ids.push_back(model_->PageIdAt(row));
  return ids;
}

int32_t CPageWeaverListView::CurrentPageId() const {
  return currentIndex().isValid() ? model_->PageIdAt(currentIndex().row()) : -1;
}

void CPageWeaverListView::SelectPages(const std::vector<int32_t>& ids, int32_t current) {
  // Pages that were selected before are selected anew, so that the other views are told
  // of the current one as they were when it was picked.
  selectionModel()->clearSelection();
  QItemSelection selection;
  for (int32_t id : ids) {
    QModelIndex index = model_->index(model_->RowOfPage(id));
    if (index.isValid()) selection.select(index, index);
  }
  QModelIndex currentIndex = model_->index(model_->RowOfPage(current));
  selectionModel()->setCurrentIndex(currentIndex, QItemSelectionModel::NoUpdate);
  selectionModel()->select(selection, QItemSelectionModel::Select);
}

void CPageWeaverListView::ScrollToCurrent() {
  if (currentIndex().isValid()) scrollTo(currentIndex());
}

void CPageWeaverListView::MoveItem(int from, int to) {
  if (from < 0 || from >= model_->rowCount()) return;
  int destination = model_->DropDestination({from}, to);
  if (destination >= 0) editor_->MovePages({model_->PageIdAt(from)}, destination);
}

void CPageWeaverListView::DropPages(const QMimeData* mime, int target) {
  std::optional<std::vector<int>> rows = model_->RowsInMimeData(mime);
  if (!rows) return;
  int destination = model_->DropDestination(*rows, target);
  if (destination < 0) return;
  std::vector<int32_t> ids;
  for (int row : *rows) ids.push_back(model_->PageIdAt(row));
  editor_->MovePages(ids, destination);
}

void CPageWeaverListView::RemoveSelectedPages() {
  if (Busy() || !doc_) return;
  editor_->RemovePages(SelectedPageIds());
}

void CPageWeaverListView::EditSelectedPages() {
  if (Busy() || !doc_) return;
  editor_->EditPageOptions(SelectedPageIds());
}

void CPageWeaverListView::EditSelectedPagesTogether() {
  if (Busy() || !doc_) return;
  editor_->EditPagesTogether(SelectedPageIds());
}

void CPageWeaverListView::AddDroppedFiles(const QStringList& paths) {
  if (Busy() || !doc_ || paths.isEmpty()) return;
  std::vector<std::string> names;
  for (const QString& path : paths) {
    QFileInfo info(path);
    QString target = info.isSymLink() ? info.symLinkTarget() : QString();
    names.push_back((target.isEmpty() ? path : target).toStdString());
  }
  pwui::WaitCursor wait;
  editor_->AddPages(names);
}

void CPageWeaverListView::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) RemoveSelectedPages();
  QListView::keyPressEvent(event);
}

void CPageWeaverListView::contextMenuEvent(QContextMenuEvent* event) {
  if (Busy()) return;
  QMenu menu(this);
  QAction* settings = menu.addAction(QStringLiteral("Output settings..."));
  QAction* together = menu.addAction(QStringLiteral("Output settings for selected pages..."));
  together->setEnabled(SelectedPageIds().size() >= 2);
  menu.addSeparator();
  menu.addAction(viewPageAction_);
  menu.addSeparator();
  QAction* remove = menu.addAction(QStringLiteral("Delete"));
  remove->setStatusTip(QStringLiteral("Remove this image from the multi-page TIFF output"));
  connect(settings, &QAction::triggered, this, &CPageWeaverListView::EditSelectedPages);
  connect(together, &QAction::triggered, this, &CPageWeaverListView::EditSelectedPagesTogether);
  connect(remove, &QAction::triggered, this, &CPageWeaverListView::RemoveSelectedPages);
  menu.exec(event->globalPos());
}

void CPageWeaverListView::startDrag(Qt::DropActions) {
  QModelIndexList selected = selectionModel()->selectedIndexes();
  if (Busy() || selected.isEmpty()) return;
  // The page under the pointer is the one the picture shows; the others come with it.
  QModelIndex dragged = selected.contains(currentIndex()) ? currentIndex() : selected.first();
  dragSource_ = dragged.row();
  dropTarget_ = -1;
  dragging_ = true;

  auto* drag = new QDrag(this);
  drag->setMimeData(model_->mimeData(selected));
  drag->setPixmap(dragged.data(Qt::DecorationRole).value<QIcon>().pixmap(iconSize()));
  drag->setHotSpot(QPoint(40, 40));
  drag->exec(Qt::MoveAction);

  dragging_ = false;
  RequestScroll(0);
  viewport()->update();
}

bool CPageWeaverListView::IsOwnDrag(const QDropEvent* event) const {
  return event->source() == this &&
         event->mimeData()->hasFormat(QString::fromLatin1(CPageListModel::kPageMimeType));
}

void CPageWeaverListView::dragEnterEvent(QDragEnterEvent* event) {
  if (IsOwnDrag(event)) {
    event->setDropAction(Qt::MoveAction);
    event->accept();
  } else if (event->mimeData()->hasUrls() && !Busy()) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void CPageWeaverListView::dragMoveEvent(QDragMoveEvent* event) {
  if (!IsOwnDrag(event)) {
    if (event->mimeData()->hasUrls() && !Busy())
      event->acceptProposedAction();
    else
      event->ignore();
    return;
  }
  QPoint pos = event->position().toPoint();
  if (QModelIndex over = indexAt(pos); over.isValid()) SetDropTarget(over.row());
  if (pos.y() < kScrollMargin)
    RequestScroll(1);
  else if (pos.y() > viewport()->height() - kScrollMargin)
    RequestScroll(2);
  else
    RequestScroll(0);
  event->setDropAction(Qt::MoveAction);
  event->accept();
}

void CPageWeaverListView::dragLeaveEvent(QDragLeaveEvent* event) {
  RequestScroll(0);
  QListView::dragLeaveEvent(event);
}

void CPageWeaverListView::dropEvent(QDropEvent* event) {
  RequestScroll(0);
  if (IsOwnDrag(event)) {
    event->setDropAction(Qt::MoveAction);
    event->accept();
    if (dropTarget_ >= 0) DropPages(event->mimeData(), dropTarget_);
    return;
  }
  if (!event->mimeData()->hasUrls() || Busy()) {
    event->ignore();
    return;
  }
  QStringList paths;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) paths << url.toLocalFile();
  event->acceptProposedAction();
  // Added once the drop is over, so that the program the files came from is not kept
  // waiting while they are read (and questions about them are answered).
  QMetaObject::invokeMethod(
      this, [this, paths] { AddDroppedFiles(paths); }, Qt::QueuedConnection);
}

void CPageWeaverListView::paintEvent(QPaintEvent* event) {
  QListView::paintEvent(event);
  if (!dragging_ || dropTarget_ < 0 || dropTarget_ >= model_->rowCount()) return;
  QPainter painter(viewport());
  painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
  painter.drawRect(visualRect(model_->index(dropTarget_)).adjusted(1, 1, -1, -1));
}

void CPageWeaverListView::SetDropTarget(int row) {
  if (row == dropTarget_) return;
  dropTarget_ = row;
  viewport()->update();
}

void CPageWeaverListView::RequestScroll(int direction) {
  if (direction == 0) {
    scrollTimer_->stop();
    scrollDirection_ = 0;
    return;
  }
  scrollDirection_ = direction;
  if (!scrollTimer_->isActive()) scrollTimer_->start();
}

void CPageWeaverListView::ScrollOneLine() {
  if (!dragging_) return RequestScroll(0);
  verticalScrollBar()->triggerAction(scrollDirection_ == 2 ? QAbstractSlider::SliderSingleStepAdd
                                                           : QAbstractSlider::SliderSingleStepSub);
}
