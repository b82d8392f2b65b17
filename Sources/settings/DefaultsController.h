#pragma once

#include <QObject>
#include <QVariantMap>

class UserDefaults;

// Stands between the preference controls and the settings: while it does not
// apply edits immediately, edits stay pending here until save() writes them
// all in one write, or revert() drops them.
class DefaultsController : public QObject {
    Q_OBJECT
public:
    explicit DefaultsController(UserDefaults& defaults, QObject* parent = nullptr);

    void setAppliesImmediately(bool applies) { appliesImmediately_ = applies; }
    bool appliesImmediately() const { return appliesImmediately_; }

    // What a control bound to key shows: the pending edit, else the stored value.
    QVariant value(const QString& key) const;
    void setValue(const QString& key, const QVariant& value);
    bool hasPendingEdits() const { return !pending_.isEmpty(); }

    // False when the settings could not be written; the edits are then kept
    // by the settings and saved with the next save that works.
    bool save();
    // Why the last save of the settings failed; empty once one worked.
    QString saveProblem() const;
    void revert();

signals:
    // The values the controls show changed (an edit, a revert, a save or a
    // change of the settings themselves); bound controls re-read them.
    void valuesChanged();

private:
    UserDefaults& defaults_;
    QVariantMap pending_;
    bool appliesImmediately_ = true;
};
