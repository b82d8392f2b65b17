#pragma once

#include <QAbstractTableModel>

class PrefWindowDelegate;

// Shows the auto-hide list in the preferences' table: column "appIcon" the
// application's icon, column "appName" its name, as the delegate gives them.
class AutoHideTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit AutoHideTableModel(PrefWindowDelegate& dataSource, QObject* parent = nullptr);

    static QString columnIdentifier(int column);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // Shows the list again.
    void reloadData();

private:
    PrefWindowDelegate& dataSource_;
};
