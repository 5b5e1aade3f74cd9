#include "page_list_view.h"

#include <QContextMenuEvent>
#include <QDrag>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QUrl>
#include <algorithm>

#include "bitmap_image.h"
#include "message_box.h"

namespace {

// What an item carries while it is dragged inside the list: its page id.
constexpr char kPageMimeType[] = "application/x-pageweaver-page";
constexpr int kPageIdRole = Qt::UserRole;
// The cell of one page: the thumbnail and one line of its label.
constexpr int kCellWidth = 150;
constexpr int kCellHeight = 130;
// How close to the top or bottom edge a dragged page starts scrolling the list.
constexpr int kScrollMargin = 16;
constexpr int kScrollIntervalMs = 100;

}  // namespace

CPageWeaverListView::CPageWeaverListView(CPageWeaverDoc* doc, QWidget* parent)
    : QListWidget(parent), doc_(doc) {
  setViewMode(QListView::IconMode);
  setMovement(QListView::Static);  // reordering is ours: the item order is the page order
  setResizeMode(QListView::Adjust);
  setIconSize(QSize(int(kThumbnailSize), int(kThumbnailSize)));
  setGridSize(QSize(kCellWidth, kCellHeight));
  setUniformItemSizes(true);
  setWordWrap(false);
  setTextElideMode(Qt::ElideLeft);  // the file name is the end of the path
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
  connect(this, &QListWidget::itemDoubleClicked, this, [this] { EditSelectedPages(); });
}

CPageWeaverListView::~CPageWeaverListView() = default;

int32_t CPageWeaverListView::PageIdAt(int row) const {
  const QListWidgetItem* it = item(row);
  return it ? it->data(kPageIdRole).toInt() : -1;
}

int CPageWeaverListView::RowOfPage(int32_t pageId) const {
  for (int row = 0; row < count(); ++row)
    if (PageIdAt(row) == pageId) return row;
  return -1;
}

void CPageWeaverListView::OnUpdate(PageListHint hint, const PageHint* pageHint) {
  switch (hint) {
    case HINT_RESET:
      clear();
      currentPage_ = -1;
      dragging_ = false;
      dragSource_ = dropTarget_ = -1;
      RequestScroll(0);
      break;
    case HINT_PAGE_ADDED: {
      if (!pageHint || !pageHint->bitmap) return;
      // The document deletes the thumbnail when this returns: the item keeps a copy.
      QImage thumbnail = pwui::ImageFromBitmap(pageHint->bitmap);
      QString label = QString::fromStdString(pageHint->displayName);
      auto* it = new QListWidgetItem(QIcon(QPixmap::fromImage(thumbnail)), label);
      it->setData(kPageIdRole, pageHint->pageId);
      it->setToolTip(label);
      addItem(it);
      // Pages are added one after another without returning to the event loop: the list
      // shows each at once, so that adding many files is seen to progress.
      executeDelayedItemsLayout();
      scrollToItem(it);
      viewport()->repaint();
      break;
    }
    case HINT_PAGE_REMOVED: {
      if (!pageHint) return;
      int row = RowOfPage(pageHint->pageId);
      if (row < 0) return;
      delete takeItem(row);
      if (count() > 0)
        setCurrentRow(std::min(row, count() - 1), QItemSelectionModel::ClearAndSelect);
      break;
    }
    case HINT_THUMBNAIL_CHANGED: {
      if (!pageHint || !pageHint->bitmap) return;
      int row = RowOfPage(pageHint->pageId);
      if (row < 0) return;
      item(row)->setIcon(QIcon(QPixmap::fromImage(pwui::ImageFromBitmap(pageHint->bitmap))));
      // A page re-read from a file it was saved into may have a new page number.
      if (!pageHint->displayName.empty()) {
        QString label = QString::fromStdString(pageHint->displayName);
        item(row)->setText(label);
        item(row)->setToolTip(label);
      }
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

std::vector<int32_t> CPageWeaverListView::PageIdsInDisplayOrder() {
  std::vector<int32_t> ids(static_cast<size_t>(count()));
  for (int row = 0; row < count(); ++row) ids[size_t(row)] = PageIdAt(row);
  return ids;
}

void CPageWeaverListView::OnSelectionChanged(const QItemSelection& selected) {
  QModelIndexList indexes = selected.indexes();
  if (indexes.isEmpty()) return;
  QModelIndex shown = indexes.contains(currentIndex()) ? currentIndex() : indexes.last();
  currentPage_ = PageIdAt(shown.row());
  if (doc_) doc_->ShowPage(currentPage_);
}

std::vector<int32_t> CPageWeaverListView::SelectedPageIds() const {
  std::vector<int32_t> ids;
  for (int row = 0; row < count(); ++row)
    if (item(row)->isSelected()) ids.push_back(PageIdAt(row));
  return ids;
}

void CPageWeaverListView::MoveItem(int from, int to) {
  if (from < 0 || to < 0 || from >= count() || to >= count() || from == to) return;
  QListWidgetItem* moved = takeItem(from);
  insertItem(to, moved);
  setCurrentItem(moved, QItemSelectionModel::ClearAndSelect);
}

void CPageWeaverListView::RemoveSelectedPages() {
  if (Busy() || !doc_) return;
  std::vector<int32_t> ids = SelectedPageIds();
  if (!ids.empty()) doc_->RemovePages(ids);
}

void CPageWeaverListView::EditSelectedPages() {
  if (Busy() || !doc_) return;
  for (int32_t id : SelectedPageIds()) doc_->EditPageOptions(id);
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
  doc_->AddPages(names);
}

void CPageWeaverListView::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) RemoveSelectedPages();
  QListWidget::keyPressEvent(event);
}

void CPageWeaverListView::contextMenuEvent(QContextMenuEvent* event) {
  if (Busy()) return;
  QMenu menu(this);
  QAction* settings = menu.addAction(QStringLiteral("Output settings..."));
  QAction* remove = menu.addAction(QStringLiteral("Delete"));
  remove->setStatusTip(QStringLiteral("Remove this image from the multi-page TIFF output"));
  connect(settings, &QAction::triggered, this, &CPageWeaverListView::EditSelectedPages);
  connect(remove, &QAction::triggered, this, &CPageWeaverListView::RemoveSelectedPages);
  menu.exec(event->globalPos());
}

void CPageWeaverListView::startDrag(Qt::DropActions) {
  QList<QListWidgetItem*> selected = selectedItems();
  if (Busy() || selected.size() != 1) return;
  QListWidgetItem* dragged = selected.first();
  dragSource_ = row(dragged);
  dropTarget_ = -1;
  dragging_ = true;

  auto* mime = new QMimeData;
  mime->setData(kPageMimeType, QByteArray::number(PageIdAt(dragSource_)));
  auto* drag = new QDrag(this);
  drag->setMimeData(mime);
  drag->setPixmap(dragged->icon().pixmap(iconSize()));
  drag->setHotSpot(QPoint(40, 40));
  drag->exec(Qt::MoveAction);

  dragging_ = false;
  RequestScroll(0);
  viewport()->update();
}

void CPageWeaverListView::dragEnterEvent(QDragEnterEvent* event) {
  if (event->source() == this && event->mimeData()->hasFormat(kPageMimeType)) {
    event->setDropAction(Qt::MoveAction);
    event->accept();
  } else if (event->mimeData()->hasUrls() && !Busy()) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void CPageWeaverListView::dragMoveEvent(QDragMoveEvent* event) {
  if (event->source() != this || !event->mimeData()->hasFormat(kPageMimeType)) {
    if (event->mimeData()->hasUrls() && !Busy())
      event->acceptProposedAction();
    else
      event->ignore();
    return;
  }
  QPoint pos = event->position().toPoint();
  if (QListWidgetItem* over = itemAt(pos)) SetDropTarget(row(over));
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
  QListWidget::dragLeaveEvent(event);
}

void CPageWeaverListView::dropEvent(QDropEvent* event) {
  RequestScroll(0);
  if (event->source() == this && event->mimeData()->hasFormat(kPageMimeType)) {
    event->setDropAction(Qt::MoveAction);
    event->accept();
    if (dropTarget_ < 0 || dropTarget_ == dragSource_) return;
    if (selectedItems().size() != 1) return;
    MoveItem(dragSource_, dropTarget_);
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
  QListWidget::paintEvent(event);
  if (!dragging_ || dropTarget_ < 0 || dropTarget_ >= count()) return;
  QPainter painter(viewport());
  painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
  painter.drawRect(visualItemRect(item(dropTarget_)).adjusted(1, 1, -1, -1));
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
