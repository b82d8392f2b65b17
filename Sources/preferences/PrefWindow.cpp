#include "preferences/PrefWindow.h"

#include "kernel/NetstatScanner.h"
#include "preferences/ColorWell.h"
#include "preferences/PrefWindowDelegate.h"
#include "session/AutostartEntry.h"
#include "settings/DefaultsController.h"
#include "settings/NSUserDefaults-QVExt.h"
#include "settings/SettingsKeys.h"
#include "ui_PrefWindow.h"

#include <QCloseEvent>
#include <QFile>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QScreen>
#include <QShortcut>

#include <algorithm>

PrefWindow::PrefWindow(DefaultsController& defaultController, QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::PrefWindow>()),
      defaultController_(defaultController) {
    ui_->setupUi(this);
    bindControls();
    showValues();
    connect(&defaultController_, &DefaultsController::valuesChanged, this, &PrefWindow::showValues);
    // The screen menu lists the screens connected now.
    connect(qApp, &QGuiApplication::screenAdded, this, &PrefWindow::showValues);
    connect(qApp, &QGuiApplication::screenRemoved, this, &PrefWindow::showValues,
            Qt::QueuedConnection);
    updateRemoveButton();
}

PrefWindow::~PrefWindow() = default;

QTableView* PrefWindow::appTable() const {
    return ui_->appTable;
}

QWidget* PrefWindow::control(const QString& key) const {
    return findChild<QWidget*>(key);
}

void PrefWindow::setDelegate(PrefWindowDelegate* delegate) {
    delegate_ = delegate;
    // A number still being typed is taken before Apply saves the edits.
    connect(ui_->applyButton, &QPushButton::clicked, this, &PrefWindow::takeTypedValues);
    connect(ui_->applyButton, &QPushButton::clicked, this,
            [this] { delegate_->applyPrefChanges(); });
    connect(ui_->revertButton, &QPushButton::clicked, this,
            [this] { delegate_->revertPrefChanges(); });
    connect(ui_->closeButton, &QPushButton::clicked, this, &QWidget::close);
    // Escape and the desktop's Close shortcut (Ctrl+W) close it, as they close
    // other preference windows.
    for (const QKeySequence& key :
         {QKeySequence(Qt::Key_Escape), QKeySequence(QKeySequence::Close)})
        connect(new QShortcut(key, this), &QShortcut::activated, this, &QWidget::close);
    connect(ui_->addButton, &QPushButton::clicked, this, [this] { delegate_->addAutoHideApp(); });
    connect(ui_->removeButton, &QPushButton::clicked, this,
            [this] { delegate_->removeAutoHideApp(); });
}

void PrefWindow::showEvent(QShowEvent* event) {
    showAutostart();
    QWidget::showEvent(event);
}

void PrefWindow::closeEvent(QCloseEvent* event) {
    takeTypedValues();
    if (delegate_ && !delegate_->windowShouldClose())
        event->ignore();
    else
        event->accept();
}

void PrefWindow::bindControls() {
    // Each control is named after the setting it edits.
    auto edit = [this](const QString& key, const QVariant& value) {
        defaultController_.setValue(key, value);
    };
    for (const QString& key : SettingsKeys::all()) {
        QWidget* widget = control(key);
        if (auto* well = qobject_cast<ColorWell*>(widget)) {
            connect(well, &ColorWell::colorEdited, this, [edit, key](const QColor& color) {
                edit(key, QVExtensions::archivedColor(color));
            });
        } else if (auto* box = qobject_cast<QCheckBox*>(widget)) {
            connect(box, &QCheckBox::toggled, this, [edit, key](bool on) { edit(key, on); });
        } else if (auto* spin = qobject_cast<QSpinBox*>(widget)) {
            if (const auto range = SettingsKeys::rangeOf(key))
                spin->setRange(int(range->minimum), int(range->maximum));
            connect(spin, &QSpinBox::valueChanged, this, [edit, key](int v) { edit(key, v); });
        } else if (auto* real = qobject_cast<QDoubleSpinBox*>(widget)) {
            if (const auto range = SettingsKeys::rangeOf(key))
                real->setRange(range->minimum, range->maximum);
            connect(real, &QDoubleSpinBox::valueChanged, this,
                    [edit, key](double v) { edit(key, v); });
        } else if (auto* combo = qobject_cast<QComboBox*>(widget);
                   combo && (key == SettingsKeys::Screen || key == SettingsKeys::TempSensor ||
                             key == SettingsKeys::GPUDevice)) {
            // A name: the item's data ("" for the primary screen or the
            // processor's sensors).
            connect(combo, &QComboBox::activated, this,
                    [edit, key, combo](int v) { edit(key, combo->itemData(v).toString()); });
        } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            connect(combo, &QComboBox::activated, this, [edit, key](int v) { edit(key, v); });
        } else if (auto* lines = qobject_cast<QPlainTextEdit*>(widget)) {
            // A list, one entry a line; blank lines are no entries.
            connect(lines, &QPlainTextEdit::textChanged, this, [edit, key, lines] {
                QStringList entries;
                for (const QString& line : lines->toPlainText().split(u'\n'))
                    if (!line.trimmed().isEmpty())
                        entries << line.trimmed();
                edit(key, entries);
            });
        } else if (auto* list = qobject_cast<QListWidget*>(widget)) {
            // A list of names to tick: the setting holds the ticked ones.
            connect(list, &QListWidget::itemChanged, this, [edit, key, list] {
                QStringList ticked;
                for (int row = 0; row < list->count(); ++row)
                    if (list->item(row)->checkState() == Qt::Checked)
                        ticked << list->item(row)->data(Qt::UserRole).toString();
                edit(key, ticked);
            });
        }
    }
}

// The primary screen, the screens connected now, and the one the setting
// names if it is not connected (its place is kept for when it returns).
void PrefWindow::showScreens(QComboBox* combo, const QString& chosen) {
    combo->clear();
    combo->addItem(tr("Primary screen"), QString());
    for (const QScreen* screen : QGuiApplication::screens())
        combo->addItem(QStringLiteral("%1 (%2 × %3)")
                           .arg(screen->name())
                           .arg(screen->geometry().width())
                           .arg(screen->geometry().height()),
                       screen->name());
    if (!chosen.isEmpty() && combo->findData(chosen) < 0)
        combo->addItem(tr("%1 (not connected)").arg(chosen), chosen);
    combo->setCurrentIndex(std::max(0, combo->findData(chosen)));
}

void PrefWindow::showChoices(QComboBox* combo, const QString& defaultLabel, const Choices& choices,
                             const QString& chosen) {
    combo->clear();
    combo->addItem(defaultLabel, QString());
    for (const auto& [id, name] : choices)
        combo->addItem(name, id);
    if (!chosen.isEmpty() && combo->findData(chosen) < 0)
        combo->addItem(tr("%1 (not there now)").arg(chosen), chosen);
    combo->setCurrentIndex(std::max(0, combo->findData(chosen)));
}

void PrefWindow::setTemperatureSensors(const QStringList& ids) {
    sensors_.clear();
    for (const QString& id : ids)
        sensors_.append({id, id});
    const bool any = !ids.isEmpty();
    ui_->ShowTempGraph->setEnabled(any);
    ui_->TempSensor->setEnabled(any);
    ui_->tempNote->setText(any ? QString()
                               : tr("This machine has no temperature sensor the kernel shows "
                                    "(none in /sys/class/hwmon; usual in virtual machines)."));
    ui_->tempNote->setVisible(!any);
    showValues();
}

void PrefWindow::setGPUs(const Choices& gpus, bool readable) {
    gpus_ = gpus;
    ui_->ShowGPUGraph->setEnabled(readable);
    ui_->GPUDevice->setEnabled(readable);
    ui_->gpuNote->setText(readable ? QString()
                                   : tr("This machine has no GPU that Quorvel can read (an "
                                        "amdgpu, i915 or xe card in /sys/class/drm, or an "
                                        "NVIDIA GPU with NVIDIA's driver)."));
    ui_->gpuNote->setVisible(!readable);
    showValues();
}

// The interfaces there are now, and those the setting names that are not
// there (a VPN that is down), each once.
void PrefWindow::showTickList(QListWidget* list, const QStringList& ticked) {
    QFile devices(QStringLiteral("/proc/net/dev"));
    QStringList names =
        devices.open(QIODevice::ReadOnly) ? interfaceNames(devices.readAll()) : QStringList();
    const qsizetype present = names.size();
    // Rows stay while the window shows them (an absent name unticked is still
    // offered until the list is next made): a tick's own edit comes back here
    // from inside the list's signal, and must not delete its item.
    QStringList absent = ticked;
    for (int row = 0; row < list->count(); ++row)
        absent << list->item(row)->data(Qt::UserRole).toString();
    for (const QString& name : std::as_const(absent))
        if (!names.contains(name))
            names << name;
    // The same names: only the ticks change.
    bool sameNames = list->count() == names.size();
    for (int row = 0; sameNames && row < list->count(); ++row)
        sameNames = list->item(row)->data(Qt::UserRole).toString() == names[row];
    if (!sameNames) {
        list->clear();
        for (qsizetype i = 0; i < names.size(); ++i) {
            auto* item = new QListWidgetItem(
                i < present ? names[i] : tr("%1 (not there now)").arg(names[i]), list);
            item->setData(Qt::UserRole, names[i]);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        }
    }
    for (int row = 0; row < list->count(); ++row)
        list->item(row)->setCheckState(ticked.contains(names[row]) ? Qt::Checked : Qt::Unchecked);
}

void PrefWindow::showValues() {
    for (const QString& key : SettingsKeys::all()) {
        QWidget* widget = control(key);
        // A field the user is typing into keeps what is typed: every valid
        // value is taken as it comes, and showing it back would move the
        // cursor and reformat the text under the user's fingers.
        if (!widget || (widget->hasFocus() && (qobject_cast<QAbstractSpinBox*>(widget) ||
                                               qobject_cast<QPlainTextEdit*>(widget))))
            continue;
        const QSignalBlocker quiet(widget);
        const QVariant value = defaultController_.value(key);
        if (auto* well = qobject_cast<ColorWell*>(widget))
            well->setColor(QVExtensions::unarchivedColor(value.toString()));
        else if (auto* box = qobject_cast<QCheckBox*>(widget))
            box->setChecked(value.toBool());
        else if (auto* spin = qobject_cast<QSpinBox*>(widget))
            spin->setValue(value.toInt());
        else if (auto* real = qobject_cast<QDoubleSpinBox*>(widget))
            real->setValue(value.toDouble());
        else if (auto* combo = qobject_cast<QComboBox*>(widget);
                 combo && key == SettingsKeys::Screen)
            showScreens(combo, value.toString());
        else if (auto* combo = qobject_cast<QComboBox*>(widget);
                 combo && key == SettingsKeys::TempSensor)
            showChoices(combo, tr("The processor's (the hottest)"), sensors_, value.toString());
        else if (auto* combo = qobject_cast<QComboBox*>(widget);
                 combo && key == SettingsKeys::GPUDevice)
            showChoices(combo, tr("The one with the most memory"), gpus_, value.toString());
        else if (auto* combo = qobject_cast<QComboBox*>(widget))
            // Any position beyond the four named ones means bottom right.
            combo->setCurrentIndex(value.toInt() >= 0 && value.toInt() <= 2 ? value.toInt() : 3);
        else if (auto* list = qobject_cast<QListWidget*>(widget))
            showTickList(list, value.toStringList());
        else if (auto* lines = qobject_cast<QPlainTextEdit*>(widget);
                 lines && lines->toPlainText() != value.toStringList().join(u'\n'))
            lines->setPlainText(value.toStringList().join(u'\n'));
    }
    showSaveProblems();
}

// A save that failed is said where it was asked for, and stays said until a
// save works: the settings keep the change and write it at the next chance.
void PrefWindow::setWindowSystemNote(const QString& note, const QString& actionLabel,
                                     std::function<void()> action) {
    ui_->windowSystemNote->setText(note);
    ui_->windowSystemNote->setVisible(!note.isEmpty());
    ui_->windowSystemAction->disconnect();
    ui_->windowSystemAction->setText(actionLabel);
    ui_->windowSystemAction->setVisible(!actionLabel.isEmpty());
    if (action)
        connect(ui_->windowSystemAction, &QPushButton::clicked, this, std::move(action));
}

void PrefWindow::showSaveProblems() {
    QStringList problems;
    if (const QString why = defaultController_.saveProblem(); !why.isEmpty())
        problems << tr("The settings could not be saved (%1). They are kept and saved as soon as "
                       "that works.")
                        .arg(why);
    if (autostart_ && !autostart_->problem().isEmpty())
        problems << tr("Start at login could not be changed (%1).").arg(autostart_->problem());
    ui_->saveProblem->setText(problems.join(u'\n'));
    ui_->saveProblem->setVisible(!problems.isEmpty());
}

void PrefWindow::takeTypedValues() {
    for (QAbstractSpinBox* field : findChildren<QAbstractSpinBox*>())
        field->interpretText();
}

void PrefWindow::setAutoHideModel(QAbstractItemModel* model) {
    ui_->appTable->setModel(model);
    ui_->appTable->setIconSize(QSize(24, 24));
    ui_->appTable->setColumnWidth(0, 32);
    connect(ui_->appTable->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &PrefWindow::updateRemoveButton);
    connect(model, &QAbstractItemModel::modelReset, this, &PrefWindow::updateRemoveButton);
    updateRemoveButton();
}

void PrefWindow::setAutostartEntry(AutostartEntry* entry) {
    autostart_ = entry;
    connect(ui_->startAtLogin, &QCheckBox::toggled, entry, [this](bool on) {
        autostart_->setEnabled(on);
        showAutostart(); // shows what really happened
    });
    connect(entry, &AutostartEntry::changed, this, &PrefWindow::showAutostart);
    showAutostart();
}

void PrefWindow::showAutostart() {
    const QSignalBlocker quiet(ui_->startAtLogin);
    ui_->startAtLogin->setChecked(autostart_ && autostart_->isEnabled());
    showSaveProblems();
}

void PrefWindow::updateRemoveButton() {
    const QItemSelectionModel* selection = ui_->appTable->selectionModel();
    ui_->removeButton->setEnabled(selection && selection->hasSelection());
}
