#include "core/textlist.h"

namespace kestrel {

TextList::TextList(const QString &name, qsizetype limit, QObject *parent)
    : QAbstractListModel(parent), name_(name), limit_(limit)
{
}

int TextList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant TextList::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rows_.size())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return rows_[index.row()];
    return {};
}

void TextList::append(const QString &row)
{
    if (limit_ >= 0 && rows_.size() >= limit_ && !rows_.isEmpty())
        removeAt(0);
    const int at = static_cast<int>(rows_.size());
    beginInsertRows({}, at, at);
    rows_.append(row);
    endInsertRows();
    emit rowAppended(row);
}

void TextList::replace(qsizetype i, const QString &row)
{
    if (i < 0 || i >= rows_.size())
        return;
    rows_[i] = row;
    const QModelIndex changed = index(static_cast<int>(i));
    emit dataChanged(changed, changed);
    emit rowReplaced(i, row);
}

void TextList::removeAt(qsizetype i)
{
    if (i < 0 || i >= rows_.size())
        return;
    beginRemoveRows({}, static_cast<int>(i), static_cast<int>(i));
    const QString row = rows_.takeAt(i);
    endRemoveRows();
    emit rowRemoved(i, row);
}

void TextList::setRows(const QStringList &rows)
{
    beginResetModel();
    rows_ = limit_ >= 0 && rows.size() > limit_ ? rows.mid(rows.size() - limit_) : rows;
    endResetModel();
    for (const QString &row : std::as_const(rows_))
        emit rowAppended(row);
}

} // namespace kestrel
