#include "page_list_model.h"

#include <QByteArrayList>
#include <QMimeData>
#include <algorithm>
#include <numeric>

CPageListModel::CPageListModel(QObject* parent) : QAbstractListModel(parent) {}

CPageListModel::~CPageListModel() = default;

QString CPageListModel::NumberOfRow(int row) {
  return QStringLiteral("%1: ").arg(row + 1);
}

int CPageListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(pages_.size());
}

QVariant CPageListModel::data(const QModelIndex& index, int role) const {
  const Page* page = index.isValid() ? PageAt(index.row()) : nullptr;
  if (!page) return {};
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
      return page->label;
    case kNumberedLabelRole:
      return NumberOfRow(index.row()) + page->label;
    case Qt::DecorationRole:
      return page->thumbnail;
    case kPageIdRole:
      return page->id;
    default:
      return {};
  }
}

Qt::ItemFlags CPageListModel::flags(const QModelIndex& index) const {
  // Pages are dropped on pages: the empty rest of the list is no target.
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled |
         Qt::ItemNeverHasChildren;
}

bool CPageListModel::removeRows(int row, int count, const QModelIndex& parent) {
  if (parent.isValid() || row < 0 || count <= 0 || row > rowCount() - count) return false;
  beginRemoveRows(QModelIndex(), row, row + count - 1);
  pages_.erase(pages_.begin() + row, pages_.begin() + row + count);
  endRemoveRows();
  PositionsChanged(row);
  return true;
}

bool CPageListModel::moveRows(const QModelIndex& sourceParent, int sourceRow, int count,
                              const QModelIndex& destinationParent, int destinationChild) {
  if (sourceParent.isValid() || destinationParent.isValid() || count <= 0) return false;
  std::vector<int> rows(static_cast<size_t>(count));
  std::iota(rows.begin(), rows.end(), sourceRow);
  return MoveRows(std::move(rows), destinationChild) >= 0;
}

QStringList CPageListModel::mimeTypes() const {
  return {QString::fromLatin1(kPageMimeType)};
}

QMimeData* CPageListModel::mimeData(const QModelIndexList& indexes) const {
  std::vector<int> rows;
  for (const QModelIndex& index : indexes)
    if (index.isValid() && index.model() == this) rows.push_back(index.row());
  if (rows.empty()) return nullptr;
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  QByteArrayList ids;
  for (int row : rows) ids << QByteArray::number(pages_[size_t(row)].id);
  auto* mime = new QMimeData;
  mime->setData(QString::fromLatin1(kPageMimeType), ids.join(','));
  return mime;
}

std::optional<std::vector<int>> CPageListModel::RowsInMimeData(const QMimeData* data) const {
  if (!data || !data->hasFormat(QString::fromLatin1(kPageMimeType))) return std::nullopt;
  std::vector<int> rows;
  for (const QByteArray& text : data->data(QString::fromLatin1(kPageMimeType)).split(',')) {
    bool ok = false;
    int32_t id = text.toInt(&ok);
    int row = ok ? RowOfPage(id) : -1;
    if (row < 0) return std::nullopt;
    rows.push_back(row);
  }
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  return rows;
}

std::optional<CPageListModel::DropPlan> CPageListModel::PlanDrop(const QMimeData* data,
                                                                 Qt::DropAction action, int row,
                                                                 const QModelIndex& parent) const {
  if (action != Qt::MoveAction) return std::nullopt;
  std::optional<std::vector<int>> rows = RowsInMimeData(data);
  if (!rows) return std::nullopt;
  int destination = -1;
  if (parent.isValid())
    destination = parent.model() == this ? DropDestination(*rows, parent.row()) : -1;
  else if (row <= rowCount())
    destination = row;
  if (destination < 0) return std::nullopt;
  return DropPlan{std::move(*rows), destination};
}

bool CPageListModel::canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int,
                                     const QModelIndex& parent) const {
  return PlanDrop(data, action, row, parent).has_value();
}

bool CPageListModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int,
                                  const QModelIndex& parent) {
  if (action == Qt::IgnoreAction) return true;
  std::optional<DropPlan> plan = PlanDrop(data, action, row, parent);
  return plan && MoveRows(std::move(plan->rows), plan->destination) >= 0;
}

std::vector<int32_t> CPageListModel::PageIdsInDisplayOrder() {
  std::vector<int32_t> ids(pages_.size());
  std::transform(pages_.begin(), pages_.end(), ids.begin(), [](const Page& p) { return p.id; });
  return ids;
}

bool CPageListModel::InsertPages(int row, const std::vector<Page>& pages) {
  if (row < 0 || row > rowCount() || pages.empty()) return false;
  beginInsertRows(QModelIndex(), row, row + int(pages.size()) - 1);
  pages_.insert(pages_.begin() + row, pages.begin(), pages.end());
  endInsertRows();
  PositionsChanged(row + int(pages.size()));
  return true;
}

int CPageListModel::MoveRows(std::vector<int> rows, int destination) {
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  if (rows.empty() || rows.front() < 0 || rows.back() >= rowCount() || destination < 0 ||
      destination > rowCount())
    return -1;
  // Each block of adjacent rows is one move. The blocks above the destination close up
  // to it from the last one back, those below follow it from the first one on, so that
  // the pages keep their order and the rows of the blocks not yet moved stay as they are.
  const auto below = std::lower_bound(rows.begin(), rows.end(), destination);
  int top = destination;
  for (auto end = below; end != rows.begin();) {
    auto first = end - 1;
    while (first != rows.begin() && *(first - 1) == *first - 1) --first;
    MoveBlock(*first, *(end - 1), top);
    top -= int(end - first);
    end = first;
  }
  int next = destination;
  for (auto first = below; first != rows.end();) {
    auto end = first + 1;
    while (end != rows.end() && *end == *(end - 1) + 1) ++end;
    MoveBlock(*first, *(end - 1), next);
    next += int(end - first);
    first = end;
  }
  return top;
}

void CPageListModel::MoveBlock(int first, int last, int destination) {
  // A block that stands before the destination already is refused by the framework.
  if (!beginMoveRows(QModelIndex(), first, last, QModelIndex(), destination)) return;
  auto at = [this](int row) { return pages_.begin() + row; };
  if (destination < first)
    std::rotate(at(destination), at(first), at(last + 1));
  else
    std::rotate(at(first), at(last + 1), at(destination));
  endMoveRows();
  PositionsChanged(std::min(first, destination), std::max(last, destination - 1));
}

void CPageListModel::PositionsChanged(int first, int last) {
  if (last < 0) last = rowCount() - 1;
  if (first > last || first < 0) return;
  emit dataChanged(index(first), index(last), {kNumberedLabelRole});
}

bool CPageListModel::Reorder(const std::vector<int32_t>& ids) {
  if (ids.size() != pages_.size()) return false;
  std::vector<Page> reordered;
  std::vector<int> newRow(pages_.size(), -1);
  for (size_t k = 0; k < ids.size(); ++k) {
    int row = RowOfPage(ids[k]);
    if (row < 0 || newRow[size_t(row)] >= 0) return false;
    newRow[size_t(row)] = int(k);
    reordered.push_back(pages_[size_t(row)]);
  }
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  QModelIndexList from = persistentIndexList(), to;
  for (const QModelIndex& index : from) to << this->index(newRow[size_t(index.row())]);
  changePersistentIndexList(from, to);
  pages_ = std::move(reordered);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
  PositionsChanged(0);
  return true;
}

void CPageListModel::SetPages(std::vector<Page> pages) {
  beginResetModel();
  pages_ = std::move(pages);
  endResetModel();
}

int CPageListModel::DropDestination(const std::vector<int>& rows, int target) const {
  if (rows.empty() || target < 0 || target >= rowCount()) return -1;
  if (std::find(rows.begin(), rows.end(), target) != rows.end()) return -1;
  // Pages dragged downwards land after the target, pages dragged upwards before it.
  return *std::min_element(rows.begin(), rows.end()) < target ? target + 1 : target;
}

bool CPageListModel::SetThumbnail(int row, const QIcon& thumbnail) {
  if (!PageAt(row)) return false;
  pages_[size_t(row)].thumbnail = thumbnail;
  emit dataChanged(index(row), index(row), {Qt::DecorationRole});
  return true;
}

bool CPageListModel::SetLabel(int row, const QString& label) {
  if (!PageAt(row)) return false;
  pages_[size_t(row)].label = label;
  emit dataChanged(index(row), index(row), {Qt::DisplayRole, Qt::ToolTipRole, kNumberedLabelRole});
  return true;
}

void CPageListModel::Clear() {
  beginResetModel();
  pages_.clear();
  endResetModel();
}

const CPageListModel::Page* CPageListModel::PageAt(int row) const {
  return row >= 0 && row < rowCount() ? &pages_[size_t(row)] : nullptr;
}

int32_t CPageListModel::PageIdAt(int row) const {
  const Page* page = PageAt(row);
  return page ? page->id : -1;
}

int CPageListModel::RowOfPage(int32_t id) const {
  auto it = std::find_if(pages_.begin(), pages_.end(), [id](const Page& p) { return p.id == id; });
  return it == pages_.end() ? -1 : int(it - pages_.begin());
}
