#include "ControllerFixture.h"
#include "preferences/AutoHideTableModel.h"
#include "preferences/ColorWell.h"

#include "app/ApplicationInfo.h"
#include "remote/RemoteHost.h"
#include "session/AutostartEntry.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

namespace {

class PreferencesTest : public ControllerTest {
protected:
    void SetUp() override {
        ControllerTest::SetUp();
        launch();
        controller().showPrefWindow();
    }
    template <typename T> T* find(const QString& name) {
        return ui->prefWindow().findChild<T*>(name);
    }
    void choose(const QStringList& files) {
        controller()._didEndOpenSheet(files, QVController::okButton);
    }
    // The remove alert for the entry in row, answered with the button named.
    QMessageBox* askToRemove(int row) {
        QTableView* table = ui->prefWindow().appTable();
        table->setCurrentIndex(table->model()->index(row, 1));
        controller().removeAutoHideApp();
        return controller().removeAlert();
    }
};

TEST_F(PreferencesTest, EditsWaitForApplyWhichWritesOnceAndRevertDropsOnlyPendingOnes) {
    QSignalSpy changes(&defaults(), &UserDefaults::didChange);
    find<QSpinBox>(SettingsKeys::NetScale)->setValue(9);
    find<QCheckBox>(SettingsKeys::AutoHide)->click();
    EXPECT_EQ(defaults().integerForKey(SettingsKeys::NetScale), 6);
    controller().applyPrefChanges();
    EXPECT_EQ(changes.count(), 1);
    EXPECT_FALSE(defaults().boolForKey(SettingsKeys::AutoHide));
    EXPECT_TRUE(readFileBytes(settings.filePath()).contains("NetScale=9"));

    find<QSpinBox>(SettingsKeys::NetScale)->setValue(3);
    choose({"/usr/share/applications/x.desktop"});
    changes.clear();
    controller().revertPrefChanges();
    EXPECT_EQ(changes.count(), 0) << "nothing is written";
    EXPECT_EQ(find<QSpinBox>(SettingsKeys::NetScale)->value(), 9);
    EXPECT_EQ(defaults().stringArrayForKey(SettingsKeys::AutoHideApplications),
              QStringList{"x.desktop"})
        << "the list is saved as it is edited; Revert does not undo it";
}

TEST_F(PreferencesTest, AFailedApplySaysSoInTheWindowAndTheEditIsSavedWithTheNextApply) {
    QFile::remove(settings.filePath());
    ASSERT_TRUE(QDir().mkdir(settings.filePath()));
    auto* problem = find<QLabel>("saveProblem");
    find<QSpinBox>(SettingsKeys::NetScale)->setValue(9);
    testing::internal::CaptureStderr();
    controller().applyPrefChanges();
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(problem->isVisibleTo(&ui->prefWindow()));
    EXPECT_TRUE(problem->text().contains("could not be saved (it is a directory"))
        << problem->text();
    EXPECT_EQ(defaults().integerForKey(SettingsKeys::NetScale), 9);

    ASSERT_TRUE(QDir().rmdir(settings.filePath()));
    find<QCheckBox>(SettingsKeys::AutoHide)->click();
    controller().applyPrefChanges();
    EXPECT_TRUE(problem->isHidden());
    const QByteArray file = readFileBytes(settings.filePath());
    EXPECT_TRUE(file.contains("NetScale=9") && file.contains("AutoHide=false")) << file;
}

TEST_F(PreferencesTest, ClosingSavesPendingEditsAndRebuildsTheWindow) {
    find<QCheckBox>(SettingsKeys::ShowNetGraph)->click();
    ASSERT_NE(controller().netView(), nullptr);
    ui->prefWindow().close();
    EXPECT_FALSE(defaults().boolForKey(SettingsKeys::ShowNetGraph));
    EXPECT_EQ(controller().netView(), nullptr);
}

TEST_F(PreferencesTest, EveryKeyButTheListHasAControlOfferingTheRangeTheFileAccepts) {
    for (const QString& key : SettingsKeys::all()) {
        QWidget* control = ui->prefWindow().control(key);
        if (key == SettingsKeys::AutoHideApplications)
            continue;
        ASSERT_NE(control, nullptr) << key;
        if (const auto range = SettingsKeys::rangeOf(key)) {
            EXPECT_DOUBLE_EQ(control->property("minimum").toDouble(), range->minimum) << key;
            EXPECT_DOUBLE_EQ(control->property("maximum").toDouble(), range->maximum) << key;
        }
    }
}

TEST_F(PreferencesTest, ScreenMenuAndInterfaceTicksEditNamesThatApplyAndRevert) {
    auto* screens = find<QComboBox>(SettingsKeys::Screen);
    auto* interfaces = find<QListWidget>(SettingsKeys::NetInterfaces);
    EXPECT_EQ(screens->itemData(0).toString(), "") << "the primary screen first";
    EXPECT_EQ(screens->count(), QGuiApplication::screens().size() + 1);
    // Names the file holds but the machine has not are offered, kept, marked.
    defaults().setObject(QStringList{"tun9"}, SettingsKeys::NetInterfaces);
    defaults().setObject(QStringLiteral("HDMI-9"), SettingsKeys::Screen);
    const auto tun9 = [&] { return interfaces->findItems("tun9", Qt::MatchStartsWith).value(0); };
    EXPECT_TRUE(screens->currentText().contains("not connected"));
    ASSERT_NE(tun9(), nullptr);

    for (bool apply : {false, true}) {
        screens->setCurrentIndex(0);
        emit screens->activated(0);
        tun9()->setCheckState(Qt::Unchecked);
        EXPECT_EQ(defaults().stringForKey(SettingsKeys::Screen), "HDMI-9");
        apply ? controller().applyPrefChanges() : controller().revertPrefChanges();
        EXPECT_EQ(screens->currentData().toString(), apply ? "" : "HDMI-9");
    }
    EXPECT_EQ(defaults().stringForKey(SettingsKeys::Screen), "");
    EXPECT_EQ(defaults().stringArrayForKey(SettingsKeys::NetInterfaces), QStringList());
}

TEST_F(PreferencesTest, ColourWellEditsThroughTheSharedPanelWithAlpha) {
    find<ColorWell>(SettingsKeys::TextColor)->click();
    QColorDialog* panel = ColorWell::sharedColorPanel();
    EXPECT_TRUE(panel->isVisible() && panel->testOption(QColorDialog::ShowAlphaChannel));
    panel->setCurrentColor(QColor(1, 2, 3, 128));
    controller().applyPrefChanges();
    EXPECT_EQ(defaults().stringForKey(SettingsKeys::TextColor), "#01020380");
    ui->prefWindow().close();
    EXPECT_FALSE(panel->isVisible());
}

TEST_F(PreferencesTest, TheChooserAppendsInOrderWithOneWriteAndOneReload) {
    QSignalSpy writes(&defaults(), &UserDefaults::didChange);
    QSignalSpy reloads(&ui->autoHideModel(), &QAbstractItemModel::modelReset);
    controller()._didEndOpenSheet({"/x/a.desktop"}, 0);
    EXPECT_EQ(writes.count(), 0) << "cancelled";
    choose({"/usr/share/applications/b.desktop", "/usr/share/applications/a.desktop",
            "/opt/c.desktop"});
    EXPECT_EQ(controller().autoHideAppArray(),
              (QStringList{"b.desktop", "a.desktop", "/opt/c.desktop"}))
        << "a file from outside the applications folders is kept by its path";
    EXPECT_EQ(writes.count(), 1);
    EXPECT_EQ(reloads.count(), 1);
    EXPECT_EQ(controller().tableViewObjectValue("appName", 0).toString(), "b.desktop");
    EXPECT_FALSE(controller().tableViewObjectValue("appName", 5).isValid());
}

TEST_F(PreferencesTest, RemovingAsksInTheUsersLanguageAndTakesOnlyTheSelectedDuplicate) {
    choose({"/usr/share/applications/x.desktop", "/usr/share/applications/y.desktop",
            "/usr/local/share/applications/x.desktop"});
    auto* removeButton = find<QPushButton>("removeButton");
    EXPECT_FALSE(removeButton->isEnabled()) << "nothing selected";
    controller().removeAutoHideApp();
    EXPECT_EQ(controller().removeAlert(), nullptr);

    QMessageBox* alert = askToRemove(2);
    EXPECT_TRUE(removeButton->isEnabled());
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->windowTitle(), "Remove Application");
    EXPECT_EQ(alert->text(), "Remove x.desktop?");
    QTest::keyClick(alert, Qt::Key_Return);
    EXPECT_EQ(controller().autoHideAppArray().size(), 3) << "Return is Cancel";

    alert = askToRemove(2);
    for (QAbstractButton* button : alert->buttons())
        if (button->text() == "Yes")
            button->click();
    EXPECT_EQ(defaults().stringArrayForKey(SettingsKeys::AutoHideApplications),
              (QStringList{"x.desktop", "y.desktop"}));

    QTranslator german;
    ASSERT_TRUE(german.load(":/i18n/quorvel_de.qm"));
    QCoreApplication::installTranslator(&german);
    alert = askToRemove(0);
    EXPECT_EQ(alert->windowTitle(), "Programm entfernen");
    EXPECT_EQ(alert->defaultButton()->text(), "Abbrechen");
    alert->reject();
    QCoreApplication::removeTranslator(&german);
}

TEST_F(PreferencesTest, StartAtLoginWritesTheAutostartEntryAtOnceAndShowsOneMadeByHand) {
    auto* box = find<QCheckBox>("startAtLogin");
    const QString entry = AutostartEntry().filePath();
    QFile::remove(entry);
    QCoreApplication::processEvents();
    EXPECT_FALSE(box->isChecked());
    QSignalSpy writes(&defaults(), &UserDefaults::didChange);
    box->click();
    EXPECT_TRUE(readFileBytes(entry).contains("[Desktop Entry]")) << "at once, without Apply";
    EXPECT_EQ(writes.count(), 0) << "not a setting";
    controller().revertPrefChanges();
    EXPECT_TRUE(QFile::exists(entry)) << "Revert does not touch it";
    box->click();
    EXPECT_FALSE(QFile::exists(entry));

    QTest::qWait(100);
    writeFileBytes(entry, "[Desktop Entry]\nType=Application\nExec=quorvel\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return box->isChecked(); }, 2000));
    QFile::remove(entry);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !box->isChecked(); }, 2000));
}

// Typing into a number field the way a person does: the field keeps what is
// typed, and the value typed is the one saved, also by an Apply while the
// field still has the keyboard.
TEST_F(PreferencesTest, ANumberFieldTakesWhatIsTyped) {
    auto* field = find<QDoubleSpinBox>(SettingsKeys::CPUInterval);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&ui->prefWindow()));
    struct Typing {
        const char* typed;
        double saved;
        const char* shown; // after leaving the field, "" for still in it
    };
    for (const Typing& typing :
         {Typing{"0.25", 0.25, "0.25 s"}, Typing{"1.5", 1.5, "1.50 s"}, Typing{"2.75", 2.75, ""}}) {
        field->setFocus();
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, typing.typed);
        EXPECT_EQ(field->text(), QString(typing.typed) + " s") << "nothing rewritten while typing";
        if (*typing.shown) {
            QTest::keyClick(field, Qt::Key_Tab);
            EXPECT_EQ(field->text(), typing.shown);
        }
        EXPECT_EQ(defaults().floatForKey(SettingsKeys::CPUInterval), 1.0f) << "pending until Apply";
        find<QPushButton>("applyButton")->click();
        EXPECT_TRUE(readFileBytes(settings.filePath())
                        .contains("CPUInterval=" + QByteArray::number(typing.saved) + "\n"));
        defaults().setObject(1.0, SettingsKeys::CPUInterval);
    }
}

TEST_F(PreferencesTest, AListEditedByHandReachesTheTableAndTheHidingAndSurvivesAnAdd) {
    writeFileBytes(settings.filePath(),
                   "[General]\nAutoHideApplications=a.desktop;kde/typo.desktop;b.desktop;\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return ui->autoHideModel().rowCount() == 2; }, 2000));
    front.activate("b.desktop");
    EXPECT_TRUE(hiddenNow());
    choose({"/usr/share/applications/c.desktop"});
    EXPECT_TRUE(
        readFileBytes(settings.filePath())
            .contains("AutoHideApplications=a.desktop;kde/typo.desktop;b.desktop;c.desktop;\n"));
    EXPECT_EQ(ui->autoHideModel().rowCount(), 3);
}

// A desktop file with its name and a red icon of its own, in dir.
QString writeDesktopFile(const QString& dir, const QString& fileName, const QString& name) {
    QDir().mkpath(dir);
    QImage icon(16, 16, QImage::Format_ARGB32);
    icon.fill(Qt::red);
    icon.save(dir + "/" + name + ".png");
    writeFileBytes(dir + "/" + fileName,
                   ("[Desktop Entry]\nType=Application\nName=" + name + "\nIcon=" + dir + "/" +
                    name + ".png\nExec=/usr/bin/" + name.toLower() + " %F\n")
                       .toUtf8());
    return dir + "/" + fileName;
}

TEST_F(PreferencesTest, ChosenDesktopFilesAreKnownByTheirIdsOrPathsAndHideTheirWindows) {
    defaults().setObject(false, SettingsKeys::AutoHide);
    const QString applications = qEnvironmentVariable("XDG_DATA_HOME") + "/applications";
    QTemporaryDir elsewhere;
    const QString outside = writeDesktopFile(elsewhere.path(), "bar.desktop", "Barview");
    choose({writeDesktopFile(applications + "/kde", "foo.desktop", "Fooedit"), outside});
    ASSERT_EQ(controller().autoHideAppArray(), (QStringList{"kde-foo.desktop", outside}));
    for (int row : {0, 1}) {
        EXPECT_EQ(controller().tableViewObjectValue("appName", row).toString(),
                  row == 0 ? "Fooedit" : "Barview");
        const QIcon icon = controller().tableViewObjectValue("appIcon", row).value<QIcon>();
        EXPECT_EQ(icon.pixmap(16, 16).toImage().pixelColor(8, 8), QColor(Qt::red)) << row;
    }
    WindowIdentity foo, bar;
    foo.executable = "fooedit";
    bar.wmInstance = "bar"; // named like the desktop file
    for (const auto& [window, entry] :
         {std::pair{foo, QString("kde-foo.desktop")}, {bar, outside}}) {
        front.activateWindow(window);
        EXPECT_EQ(front.active, entry);
        EXPECT_TRUE(hiddenNow());
    }
    front.activate("other.desktop");
    EXPECT_FALSE(hiddenNow());
}

// Without a sensor the temperature graph is not offered and the window says
// why; with some, each can be chosen and the choice waits for Apply.
TEST_F(PreferencesTest, TemperatureSensorsAreOfferedWhereThereAreAny) {
    auto* show = find<QCheckBox>(SettingsKeys::ShowTempGraph);
    auto* sensor = find<QComboBox>(SettingsKeys::TempSensor);
    ui->prefWindow().setTemperatureSensors({});
    EXPECT_FALSE(show->isEnabled());
    EXPECT_TRUE(find<QLabel>("tempNote")->text().contains("no temperature sensor"));
    ui->prefWindow().setTemperatureSensors({"k10temp/Tctl", "nvme/Composite"});
    EXPECT_TRUE(show->isEnabled());
    ASSERT_EQ(sensor->count(), 3);
    sensor->setCurrentIndex(2);
    emit sensor->activated(2);
    EXPECT_EQ(defaults().stringForKey(SettingsKeys::TempSensor), "");
    controller().applyPrefChanges();
    EXPECT_EQ(defaults().stringForKey(SettingsKeys::TempSensor), "nvme/Composite");
}

// The same for GPUs: none a reader knows, or some to choose from by id.
TEST_F(PreferencesTest, GPUsAreOfferedWhereOneCanBeRead) {
    auto* show = find<QCheckBox>(SettingsKeys::ShowGPUGraph);
    auto* gpu = find<QComboBox>(SettingsKeys::GPUDevice);
    ui->prefWindow().setGPUs({}, false);
    EXPECT_FALSE(show->isEnabled());
    EXPECT_TRUE(find<QLabel>("gpuNote")->text().contains("no GPU that Quorvel can read"));
    ui->prefWindow().setGPUs({{"card0", "AMD (card0)"}, {"nvidia0", "RTX 4090 (nvidia0)"}}, true);
    EXPECT_TRUE(show->isEnabled());
    EXPECT_FALSE(find<QLabel>("gpuNote")->isVisibleTo(&ui->prefWindow()));
    ASSERT_EQ(gpu->count(), 3);
    emit gpu->activated(2);
    controller().applyPrefChanges();
    EXPECT_EQ(defaults().stringForKey(SettingsKeys::GPUDevice), "nvidia0");
}

TEST_F(PreferencesTest, OtherMachinesAreEditedOneALine) {
    find<QPlainTextEdit>(SettingsKeys::RemoteHosts)
        ->setPlainText("http://a:9100/metrics\n\n  http://b:9100/metrics  \n");
    controller().applyPrefChanges();
    EXPECT_EQ(defaults().stringArrayForKey(SettingsKeys::RemoteHosts),
              QStringList({"http://a:9100/metrics", "http://b:9100/metrics"}));
    EXPECT_EQ(controller().remoteHosts().size(), 2u);
}

} // namespace
