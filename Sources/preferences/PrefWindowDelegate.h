#pragma once

#include <QString>
#include <QVariant>

// What the preferences ask of whoever runs them (the application's
// controller), so that the preferences need not know it: to save or drop the
// pending edits, to add to or remove from the auto-hide list, whether the
// window may close, and the rows of the auto-hide table.
class PrefWindowDelegate {
public:
    virtual ~PrefWindowDelegate() = default;

    virtual void applyPrefChanges() = 0;
    virtual void revertPrefChanges() = 0;
    virtual void addAutoHideApp() = 0;
    virtual void removeAutoHideApp() = 0;
    virtual bool windowShouldClose() = 0;

    // The auto-hide table's data: column "appIcon" or "appName" of a row.
    virtual int numberOfRowsInTableView() const = 0;
    virtual QVariant tableViewObjectValue(const QString& columnIdentifier, int row) const = 0;
};
