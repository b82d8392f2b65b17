#include "ControllerFixture.h"
#include "preferences/AutoHideTableModel.h"
#include "preferences/ColorWell.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableView>
#include <QTest>
#include <QTranslator>

#include "app/ApplicationInfo.h"
#include "remote/RemoteHost.h"
#include "session/AutostartEntry.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

namespace {

class PreferencesTest : public ControllerTest {
protected:
    void SetUp() override {
        ControllerTest::SetUp();
        launch();
        controller().showPrefWindow();
    }
    QSpinBox* netScale() { return ui->prefWindow().findChild<QSpinBox*>(SettingsKeys::NetScale); }
    void selectRow(int row) {
        QTableView* table = ui->prefWindow().appTable();
        table->setCurrentIndex(table->model()->index(row, 1));
    }
    QPushButton* removeButton() { return ui->prefWindow().findChild<QPushButton*>("removeButton"); }
};

TEST_F(PreferencesTest, EditsWaitForApplyWhichWritesOnceAndRevertDropsOnlyPendingOnes) {
    QSignalSpy changes(&defaults(), &UserDefaults::didChange);
    netScale()->setValue(9);
    ui->prefWindow().findChild<QCheckBox*>(SettingsKeys::AutoHide)->click();
    EXPECT_EQ(defaults().integerForKey(SettingsKeys::NetScale), 6);
    EXPECT_EQ(changes.count(), 0);
    controller().applyPrefChanges();
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(defaults().integerForKey(SettingsKeys::NetScale), 9);
    EXPECT_FALSE(defaults().boolForKey(SettingsKeys::AutoHide));
    EXPECT_TRUE(readFileBytes(settings.filePath()).contains("NetScale=9"));

    netScale()->setValue(3);
    controller()._didEndOpenSheet({"/usr/share/applications/x.desktop"}, QVController::okButton);
    changes.clear();
    controller().revertPrefChanges();
    EXPECT_EQ(changes.count(), 0) << "nothing is written";
    EXPECT_EQ(netScale()->value(), 9);
    EXPECT_EQ(defaults().integerForKey(SettingsKeys::NetScale), 9);
    EXPECT_EQ(defaults().stringArrayForKey(SettingsKeys::AutoHideApplications),
              QStringList{"x.desktop"})
        << "the list is saved as it is edited; Revert does not undo it";
}

TEST_F(PreferencesTest, AFailedApplySaysSoInTheWindowAndTheEditIsSavedWithTheNextApply) {
    // Something that is not a file in the settings file's place.
    QFile::remove(settings.filePath());
    ASSERT_TRUE(QDir().mkdir(settings.filePath()));
    auto* problem = ui->prefWindow().findChild<QLabel*>("saveProblem");
    ASSERT_NE(problem, nullptr);
    EXPECT_TRUE(problem->isHidden());
    netScale()->setValue(9);
    testing::internal::CaptureStderr();
    controller().applyPrefChanges();
    EXPECT_NE(testing::internal::GetCapturedStderr().find("it is a directory"), std::string::npos);
    EXPECT_FALSE(problem->isHidden());
    EXPECT_TRUE(problem->text().contains("could not be saved (it is a directory"))
        << problem->text().toStdString();
    EXPECT_EQ(netScale()->value(), 9);
    EXPECT_EQ(defaults().integerForKey(SettingsKeys::NetScale), 9);

    ASSERT_TRUE(QDir().rmdir(settings.filePath()));
    ui->prefWindow().findChild<QCheckBox*>(SettingsKeys::AutoHide)->click();
    testing::internal::CaptureStderr();
    controller().applyPrefChanges();
    EXPECT_NE(testing::internal::GetCapturedStderr().find("saved to"), std::string::npos);
    EXPECT_TRUE(problem->isHidden());
    const QByteArray file = readFileBytes(settings.filePath());
    EXPECT_TRUE(file.contains("NetScale=9") && file.contains("AutoHide=false"))
        << file.toStdString();
}

TEST_F(PreferencesTest, ClosingSavesPendingEditsAndRebuildsTheWindow) {
    ui->prefWindow().findChild<QCheckBox*>(SettingsKeys::ShowNetGraph)->click();
    ASSERT_NE(controller().netView(), nullptr);
    ui->prefWindow().close();
    EXPECT_FALSE(defaults().boolForKey(SettingsKeys::ShowNetGraph));
    EXPECT_EQ(controller().netView(), nullptr);
}

TEST_F(PreferencesTest, EveryKeyButTheListHasAControl) {
    for (const QString& key : SettingsKeys::all()) {
        if (key == SettingsKeys::AutoHideApplications)
            continue;
        EXPECT_NE(ui->prefWindow().control(key), nullptr) << key.toStdString();
    }
}

TEST_F(PreferencesTest, ScreenMenuAndInterfaceTicksEditNamesThatApplyAndRevert) {
    auto* screens = ui->prefWindow().findChild<QComboBox*>(SettingsKeys::Screen);
    auto* interfaces = ui->prefWindow().findChild<QListWidget*>(SettingsKeys::NetInterfaces);
    ASSERT_TRUE(screens && interfaces);
    EXPECT_EQ(screens->itemData(0).toString(), "") << "the primary screen first";
    EXPECT_EQ(screens->count(), QGuiApplication::screens().size() + 1);

    // Names the file holds but the machine has not are offered, kept, marked.
    defaults().setObject(QStringList{"tun9"}, SettingsKeys::NetInterfaces);
    defaults().setObject(QStringLiteral("HDMI-9"), SettingsKeys::Screen);
    ASSERT_GE(screens->findData(QStringLiteral("HDMI-9")), 1);
    EXPECT_EQ(screens->currentData().toString(), "HDMI-9");
    EXPECT_TRUE(screens->currentText().contains("not connected"));
    QListWidgetItem* tun9 = interfaces->findItems("tun9", Qt::MatchStartsWith).value(0);
    ASSERT_NE(tun9, nullptr);
    EXPECT_EQ(tun9->checkState(), Qt::Checked);

    // Edits wait for Apply; Revert shows the stored names again.
    screens->setCurrentIndex(0);
    emit screens->activated(0);
    tun9->setCheckState(Qt::Unchecked);
    EXPECT_EQ(defaults().stringForKey(SettingsKeys::Screen), "HDMI-9");
    controller().revertPrefChanges();
    EXPECT_EQ(screens->currentData().toString(), "HDMI-9");
    tun9 = interfaces->findItems("tun9", Qt::MatchStartsWith).value(0);
    ASSERT_NE(tun9, nullptr);
    EXPECT_EQ(tun9->checkState(), Qt::Checked);

    emit screens->activated(0);
    tun9->setCheckState(Qt::Unchecked);
    controller().applyPrefChanges();
    EXPECT_EQ(defaults().stringForKey(SettingsKeys::Screen), "");
    EXPECT_EQ(defaults().stringArrayForKey(SettingsKeys::NetInterfaces), QStringList());
}

TEST_F(PreferencesTest, ColourWellEditsThroughTheSharedPanelWithAlpha) {
    auto* well = ui->prefWindow().findChild<ColorWell*>(SettingsKeys::TextColor);
    ASSERT_NE(well, nullptr);
    well->click();
    QColorDialog* panel = ColorWell::sharedColorPanel();
    EXPECT_TRUE(panel->isVisible());
    EXPECT_TRUE(panel->testOption(QColorDialog::ShowAlphaChannel));
    panel->setCurrentColor(QColor(1, 2, 3, 128));
    controller().applyPrefChanges();
    EXPECT_EQ(defaults().stringForKey(SettingsKeys::TextColor), "#01020380");
    ui->prefWindow().close();
    EXPECT_FALSE(panel->isVisible());
}

TEST_F(PreferencesTest, TheChooserAppendsInOrderWithOneWriteAndOneReload) {
    controller().addAutoHideApp();
    QFileDialog* panel = controller().openPanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->windowModality(), Qt::WindowModal);
    EXPECT_EQ(panel->fileMode(), QFileDialog::ExistingFiles);
    EXPECT_TRUE(panel->nameFilters().join(" ").contains("*.desktop"));
    panel->reject();

    QSignalSpy writes(&defaults(), &UserDefaults::didChange);
    QSignalSpy reloads(&ui->autoHideModel(), &QAbstractItemModel::modelReset);
    controller()._didEndOpenSheet({"/x/a.desktop"}, 0);
    EXPECT_TRUE(controller().autoHideAppArray().isEmpty()) << "cancelled";
    EXPECT_EQ(writes.count(), 0);
    controller()._didEndOpenSheet({"/usr/share/applications/b.desktop",
                                   "/usr/share/applications/a.desktop", "/opt/c.desktop"},
                                  QVController::okButton);
    EXPECT_EQ(controller().autoHideAppArray(),
              (QStringList{"b.desktop", "a.desktop", "/opt/c.desktop"}))
        << "a file from outside the applications folders is kept by its path";
    EXPECT_EQ(writes.count(), 1);
    EXPECT_EQ(reloads.count(), 1);
    EXPECT_EQ(ui->autoHideModel().rowCount(), 3);
    EXPECT_EQ(controller().tableViewObjectValue("appName", 0).toString(), "b.desktop");
    EXPECT_FALSE(controller().tableViewObjectValue("appName", 5).isValid());
}

TEST_F(PreferencesTest, RemovingAsksFirstAndTakesOnlyTheSelectedDuplicate) {
    controller()._didEndOpenSheet({"/usr/share/applications/x.desktop",
                                   "/usr/share/applications/y.desktop",
                                   "/usr/local/share/applications/x.desktop"},
                                  QVController::okButton);
    EXPECT_FALSE(removeButton()->isEnabled()) << "nothing selected";
    controller().removeAutoHideApp();
    EXPECT_EQ(controller().removeAlert(), nullptr);

    selectRow(2);
    EXPECT_TRUE(removeButton()->isEnabled());
    QSignalSpy writes(&defaults(), &UserDefaults::didChange);
    controller().removeAutoHideApp();
    QMessageBox* alert = controller().removeAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->windowTitle(), "Remove Application");
    EXPECT_EQ(alert->text(), "Remove x.desktop?")
        << "an entry without a desktop file shows its name";
    EXPECT_EQ(alert->defaultButton()->text(), "Cancel");
    QTest::keyClick(alert, Qt::Key_Return);
    EXPECT_EQ(controller().autoHideAppArray().size(), 3) << "Return is Cancel";
    EXPECT_EQ(writes.count(), 0);

    controller().removeAutoHideApp();
    alert = controller().removeAlert();
    ASSERT_NE(alert, nullptr);
    for (QAbstractButton* button : alert->buttons())
        if (button->text() == "Yes")
            button->click();
    EXPECT_EQ(controller().autoHideAppArray(), (QStringList{"x.desktop", "y.desktop"}));
    EXPECT_EQ(defaults().stringArrayForKey(SettingsKeys::AutoHideApplications),
              (QStringList{"x.desktop", "y.desktop"}));
}

TEST_F(PreferencesTest, AlertTextsAreTranslated) {
    QTranslator german;
    ASSERT_TRUE(german.load(":/i18n/quorvel_de.qm"));
    QCoreApplication::installTranslator(&german);
    controller()._didEndOpenSheet({"/usr/share/applications/x.desktop"}, QVController::okButton);
    selectRow(0);
    controller().removeAutoHideApp();
    QMessageBox* alert = controller().removeAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->windowTitle(), "Programm entfernen");
    EXPECT_EQ(alert->text(), "x.desktop entfernen?");
    EXPECT_EQ(alert->defaultButton()->text(), "Abbrechen");
    alert->reject();
    QCoreApplication::removeTranslator(&german);
}

TEST_F(PreferencesTest, AboutPanelShowsNameAndVersionOnce) {
    controller().showAboutPanel();
    QMessageBox* about = controller().aboutPanel();
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->isVisible());
    EXPECT_FALSE(ApplicationInfo::main().version.isEmpty());
    EXPECT_TRUE(about->text().contains("Quorvel " + ApplicationInfo::main().version));
    controller().showAboutPanel();
    EXPECT_EQ(controller().aboutPanel(), about) << "one panel, brought forward";
    about->close();
}

TEST_F(PreferencesTest, StartAtLoginWritesTheAutostartEntryAtOnceAndShowsOneMadeByHand) {
    auto* box = ui->prefWindow().findChild<QCheckBox*>("startAtLogin");
    ASSERT_NE(box, nullptr);
    AutostartEntry probe;
    QFile::remove(probe.filePath());
    QCoreApplication::processEvents();
    EXPECT_FALSE(box->isChecked());
    QSignalSpy writes(&defaults(), &UserDefaults::didChange);

    box->click();
    EXPECT_TRUE(QFile::exists(probe.filePath())) << "at once, without Apply";
    EXPECT_TRUE(readFileBytes(probe.filePath()).contains("[Desktop Entry]"));
    EXPECT_EQ(writes.count(), 0) << "not a setting";
    controller().revertPrefChanges();
    EXPECT_TRUE(QFile::exists(probe.filePath())) << "Revert does not touch it";
    box->click();
    EXPECT_FALSE(QFile::exists(probe.filePath()));

    QTest::qWait(100);
    writeFileBytes(probe.filePath(), "[Desktop Entry]\nType=Application\nExec=quorvel\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return box->isChecked(); }, 2000));
    QFile::remove(probe.filePath());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !box->isChecked(); }, 2000));
}

TEST(AutostartEntry, QuotesAProgramPathWithSpaces) {
    EXPECT_TRUE(AutostartEntry::entryText("/opt/my apps/quorvel")
                    .contains("Exec=\"/opt/my apps/quorvel\"\n"));
    EXPECT_TRUE(AutostartEntry::entryText("quorvel").contains("Exec=quorvel\n"));
}

// Typing into a number field the way a person does: the field keeps what is
// typed, and the value typed is the one saved.
TEST_F(PreferencesTest, ANumberFieldTakesWhatIsTyped) {
    auto* field = ui->prefWindow().findChild<QDoubleSpinBox*>(SettingsKeys::CPUInterval);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&ui->prefWindow()));
    struct Typing {
        const char* typed;
        double saved;
        const char* shown;
    };
    for (const Typing& typing : {Typing{"0.25", 0.25, "0.25 s"}, Typing{"1.5", 1.5, "1.50 s"}}) {
        field->setFocus();
        ASSERT_TRUE(field->hasFocus());
        // Clear the field: select everything, delete it.
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, typing.typed);
        EXPECT_EQ(field->text(), QString(typing.typed) + " s") << "nothing rewritten while typing";
        QTest::keyClick(field, Qt::Key_Tab);
        EXPECT_FALSE(field->hasFocus());
        EXPECT_EQ(field->text(), typing.shown);
        EXPECT_EQ(defaults().floatForKey(SettingsKeys::CPUInterval), 1.0f) << "pending until Apply";
        ui->prefWindow().findChild<QPushButton*>("applyButton")->click();
        EXPECT_DOUBLE_EQ(defaults().objectForKey(SettingsKeys::CPUInterval).toDouble(),
                         typing.saved);
        EXPECT_TRUE(readFileBytes(settings.filePath())
                        .contains("CPUInterval=" + QByteArray::number(typing.saved) + "\n"));
        defaults().setObject(1.0, SettingsKeys::CPUInterval);
    }
    // Apply while the field still has the keyboard takes what it holds.
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, "2.75");
    controller().applyPrefChanges();
    EXPECT_FLOAT_EQ(defaults().floatForKey(SettingsKeys::CPUInterval), 2.75f);
}

TEST_F(PreferencesTest, FieldsOfferTheRangeTheFileAccepts) {
    for (const QString& key :
         {SettingsKeys::CPUInterval, SettingsKeys::NetInterval, SettingsKeys::NetScale}) {
        auto* field = ui->prefWindow().findChild<QAbstractSpinBox*>(key);
        ASSERT_NE(field, nullptr);
        const auto range = SettingsKeys::rangeOf(key);
        ASSERT_TRUE(range);
        EXPECT_DOUBLE_EQ(field->property("minimum").toDouble(), range->minimum)
            << key.toStdString();
        EXPECT_DOUBLE_EQ(field->property("maximum").toDouble(), range->maximum)
            << key.toStdString();
        // Nothing below the range can be entered.
        field->setProperty("value", range->minimum - 1);
        EXPECT_TRUE(SettingsKeys::isUsable(key, field->property("value"))) << key.toStdString();
    }
}

TEST_F(PreferencesTest, AListEditedByHandReachesTheTableAndTheHidingAndSurvivesAnAdd) {
    FakeActiveApplication front;
    controller().activeApplication = &front;
    front.setChangeHandler([this] { controller()._pollTimerHandler(); });
    writeFileBytes(settings.filePath(),
                   "[General]\nAutoHideApplications=a.desktop;kde/typo.desktop;b.desktop;\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return ui->autoHideModel().rowCount() == 2; }, 2000));
    EXPECT_EQ(controller().autoHideAppArray(), (QStringList{"a.desktop", "b.desktop"}));
    front.activate("b.desktop");
    EXPECT_TRUE(controller().isHidden());

    controller()._didEndOpenSheet({"/usr/share/applications/c.desktop"}, QVController::okButton);
    EXPECT_TRUE(
        readFileBytes(settings.filePath())
            .contains("AutoHideApplications=a.desktop;kde/typo.desktop;b.desktop;c.desktop;\n"));
    EXPECT_EQ(ui->autoHideModel().rowCount(), 3);
    controller().activeApplication = nullptr;
}

// A desktop file with its name and an icon of its own, in dir.
QString writeDesktopFile(const QString& dir, const QString& fileName, const QString& name) {
    QDir().mkpath(dir);
    const QString icon = dir + "/" + name + ".png";
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::red);
    image.save(icon);
    const QString path = dir + "/" + fileName;
    writeFileBytes(path, ("[Desktop Entry]\nType=Application\nName=" + name + "\nIcon=" + icon +
                          "\nExec=/usr/bin/" + name.toLower() + " %F\n")
                             .toUtf8());
    return path;
}

TEST_F(PreferencesTest, ChosenDesktopFilesAreKnownByTheirIdsOrPathsAndHideTheirWindows) {
    FakeActiveApplication front;
    controller().activeApplication = &front;
    front.setChangeHandler([this] { controller()._pollTimerHandler(); });
    defaults().setObject(false, SettingsKeys::AutoHide);
    const QString applications = qEnvironmentVariable("XDG_DATA_HOME") + "/applications";
    const QString inSubFolder = writeDesktopFile(applications + "/kde", "foo.desktop", "Fooedit");
    QTemporaryDir elsewhere;
    const QString outside = writeDesktopFile(elsewhere.path(), "bar.desktop", "Barview");

    controller()._didEndOpenSheet({inSubFolder, outside}, QVController::okButton);
    ASSERT_EQ(controller().autoHideAppArray(), (QStringList{"kde-foo.desktop", outside}));
    for (int row : {0, 1}) {
        EXPECT_EQ(controller().tableViewObjectValue("appName", row).toString(),
                  row == 0 ? "Fooedit" : "Barview");
        const QIcon icon = controller().tableViewObjectValue("appIcon", row).value<QIcon>();
        EXPECT_EQ(icon.pixmap(16, 16).toImage().pixelColor(8, 8), QColor(Qt::red)) << row;
    }

    WindowIdentity foo;
    foo.executable = "fooedit";
    front.activateWindow(foo);
    EXPECT_EQ(front.active, "kde-foo.desktop");
    EXPECT_TRUE(controller().isHidden());
    WindowIdentity bar;
    bar.wmInstance = "bar"; // named like the desktop file
    bar.wmClass = "Bar";
    front.activateWindow(bar);
    EXPECT_EQ(front.active, outside);
    EXPECT_TRUE(controller().isHidden());
    front.activate("other.desktop");
    EXPECT_FALSE(controller().isHidden());
    controller().activeApplication = nullptr;
}

} // namespace

namespace {

// Without a sensor the temperature graph is not offered and the window says
// why; with some, each can be chosen and the choice waits for Apply.
TEST_F(PreferencesTest, TemperatureSensorsAreOfferedWhereThereAreAny) {
    PrefWindow& window = ui->prefWindow();
    auto* show = window.findChild<QCheckBox*>(SettingsKeys::ShowTempGraph);
    auto* sensor = window.findChild<QComboBox*>(SettingsKeys::TempSensor);
    window.setTemperatureSensors({});
    EXPECT_FALSE(show->isEnabled());
    EXPECT_TRUE(window.findChild<QLabel*>("tempNote")->text().contains("no temperature sensor"));
    window.setTemperatureSensors({"k10temp/Tctl", "nvme/Composite"});
    EXPECT_TRUE(show->isEnabled());
    ASSERT_EQ(sensor->count(), 3);
    sensor->setCurrentIndex(2);
    emit sensor->activated(2);
    EXPECT_EQ(defaults().stringForKey(SettingsKeys::TempSensor), "");
    controller().applyPrefChanges();
    EXPECT_EQ(defaults().stringForKey(SettingsKeys::TempSensor), "nvme/Composite");
}

} // namespace

namespace {

// Other machines, one address a line; blank lines are no entries.
TEST_F(PreferencesTest, OtherMachinesAreEditedOneALine) {
    auto* hosts = ui->prefWindow().findChild<QPlainTextEdit*>(SettingsKeys::RemoteHosts);
    ASSERT_TRUE(hosts);
    hosts->setPlainText("http://a:9100/metrics\n\n  http://b:9100/metrics  \n");
    controller().applyPrefChanges();
    EXPECT_EQ(defaults().stringArrayForKey(SettingsKeys::RemoteHosts),
              QStringList({"http://a:9100/metrics", "http://b:9100/metrics"}));
    EXPECT_EQ(controller().remoteHosts().size(), 2u);
}

} // namespace
