#pragma once

#include <QAbstractListModel>
#include <QStringList>

namespace kestrel {

// One of the gateway's lists of text rows (MHeard, positions, gated frames,
// Internet packets). The row text is the stored form; nothing else is kept
// behind a row. Windows show it as a list model; headless, its signals are
// printed.
class TextList : public QAbstractListModel
{
    Q_OBJECT
public:
    // With a limit, appending beyond it drops the oldest rows.
    explicit TextList(const QString &name, qsizetype limit = -1, QObject *parent = nullptr);

    QString name() const { return name_; }
    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    const QStringList &rows() const { return rows_; }
    qsizetype size() const { return rows_.size(); }
    bool isEmpty() const { return rows_.isEmpty(); }
    QString at(qsizetype i) const { return rows_.value(i); }

    void append(const QString &row);
    void replace(qsizetype i, const QString &row);
    void removeAt(qsizetype i);
    void setRows(const QStringList &rows);

signals:
    void rowAppended(const QString &row);
    void rowReplaced(qsizetype index, const QString &row);
    void rowRemoved(qsizetype index, const QString &row);

private:
    QString name_;
    qsizetype limit_;
    QStringList rows_;
};

} // namespace kestrel
