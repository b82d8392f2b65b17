#include "settings/DefaultsController.h"

#include "settings/UserDefaults.h"

DefaultsController::DefaultsController(UserDefaults& defaults, QObject* parent)
    : QObject(parent), defaults_(defaults) {
    connect(&defaults_, &UserDefaults::didChange, this, &DefaultsController::valuesChanged);
}

QVariant DefaultsController::value(const QString& key) const {
    const auto pending = pending_.constFind(key);
    return pending != pending_.cend() ? *pending : defaults_.objectForKey(key);
}

void DefaultsController::setValue(const QString& key, const QVariant& value) {
    if (appliesImmediately_) {
        defaults_.setObject(value, key);
        return;
    }
    pending_.insert(key, value);
    emit valuesChanged();
}

bool DefaultsController::save() {
    if (pending_.isEmpty())
        return true;
    // Handed over either way: a failed save keeps them as unsaved settings,
    // which are what every reader sees until they are written.
    const QVariantMap edits = std::exchange(pending_, {});
    return defaults_.setObjects(edits);
}

QString DefaultsController::saveProblem() const {
    return defaults_.saveProblem();
}

void DefaultsController::revert() {
    if (pending_.isEmpty())
        return;
    pending_.clear();
    emit valuesChanged();
}
