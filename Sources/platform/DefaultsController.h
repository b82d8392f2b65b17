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

    void save();
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
