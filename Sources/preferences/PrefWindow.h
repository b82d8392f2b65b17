#pragma once

// preferences/: the preferences window, its colour wells and the auto-hide
// table. It edits the settings through settings/DefaultsController and asks
// the application for the rest through PrefWindowDelegate.

#include <QWidget>

#include <functional>
#include <memory>

namespace Ui {
class PrefWindow;
}
class AutostartEntry;
class DefaultsController;
class QAbstractItemModel;
class QComboBox;
class QListWidget;
class QTableView;
class PrefWindowDelegate;

// The preferences window: one control per setting, each bound to the setting
// of the same name through the defaults controller, so edits wait for Apply or
// for the window to close; plus the auto-hide list.
class PrefWindow : public QWidget {
    Q_OBJECT
public:
    explicit PrefWindow(DefaultsController& defaultController, QWidget* parent = nullptr);
    ~PrefWindow() override;

    // Wires the buttons to the controller's actions; it also decides whether
    // the window may close.
    void setDelegate(PrefWindowDelegate* delegate);
    QTableView* appTable() const;
    void setAutoHideModel(QAbstractItemModel* model);
    // "Start at login" acts on this entry at once, outside the pending edits.
    void setAutostartEntry(AutostartEntry* entry);
    // The control bound to a setting.
    QWidget* control(const QString& key) const;
    // A line on what the desktop lets Quorvel do (empty: none), and a button
    // below it that does something about it (an empty label: none).
    void setWindowSystemNote(const QString& note, const QString& actionLabel = {},
                             std::function<void()> action = {});
    // The temperature sensors to choose from (by id); with none, the
    // temperature graph is not offered and the window says why.
    void setTemperatureSensors(const QStringList& ids);
    // The GPUs to choose from, as (id, name) pairs; readable says whether
    // the machine has a GPU a reader knows (NVIDIA's are listed only once
    // their library has been looked at). Without one the GPU graph is not
    // offered and the window says why.
    using Choices = QList<std::pair<QString, QString>>;
    void setGPUs(const Choices& gpus, bool readable);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void bindControls();
    void showValues();
    void showTickList(QListWidget* list, const QStringList& ticked);
    void showScreens(QComboBox* combo, const QString& chosen);
    // A choice by id: the default (stored as ""), each choice there is, and
    // the one the setting names if it is not there.
    void showChoices(QComboBox* combo, const QString& defaultLabel, const Choices& choices,
                     const QString& chosen);
    void takeTypedValues();
    void updateRemoveButton();
    void showAutostart();
    void showSaveProblems();

    std::unique_ptr<Ui::PrefWindow> ui_;
    DefaultsController& defaultController_;
    PrefWindowDelegate* delegate_ = nullptr;
    AutostartEntry* autostart_ = nullptr;
    Choices sensors_;
    Choices gpus_;
};
