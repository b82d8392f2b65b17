#include "preferences/AutoHideTableModel.h"

#include "preferences/PrefWindowDelegate.h"

AutoHideTableModel::AutoHideTableModel(PrefWindowDelegate& dataSource, QObject* parent)
    : QAbstractTableModel(parent), dataSource_(dataSource) {}

QString AutoHideTableModel::columnIdentifier(int column) {
    switch (column) {
    case 0:
        return QStringLiteral("appIcon");
    case 1:
        return QStringLiteral("appName");
    default:
        return {};
    }
}

int AutoHideTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : dataSource_.numberOfRowsInTableView();
}

int AutoHideTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant AutoHideTableModel::data(const QModelIndex& index, int role) const {
    const QString column = columnIdentifier(index.column());
    const bool wanted = (column == u"appIcon" && role == Qt::DecorationRole) ||
                        (column == u"appName" && role == Qt::DisplayRole);
    return wanted ? dataSource_.tableViewObjectValue(column, index.row()) : QVariant();
}

void AutoHideTableModel::reloadData() {
    beginResetModel();
    endResetModel();
}
