// Quorvel's side of the GNOME Shell companion's D-Bus interface, against a fake
// companion on a private session bus: one that answers as the extension does,
// one that goes and comes back, and ones that send nonsense.
#include "windowsystem/gnome/ShellCompanion.h"
#include "windowsystem/gnome/ShellActiveApplication.h"
#include "windowsystem/gnome/ShellExtensions.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

namespace {

const QString busName = QString::fromLatin1(ShellCompanion::busName);
const QString path = QString::fromLatin1(ShellCompanion::objectPath);
const QString interface = QString::fromLatin1(ShellCompanion::interfaceName);

QVariant rectangle(int x, int y, int width, int height) {
    QDBusArgument argument;
    argument.beginStructure();
    argument << x << y << width << height;
    argument.endStructure();
    return QVariant::fromValue(argument);
}

// A session bus of the test's own.
class PrivateBus {
public:
    PrivateBus() {
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"),
                       QStringLiteral("--print-address")});
        if (daemon_.waitForReadyRead(5000))
            address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~PrivateBus() {
        daemon_.kill();
        daemon_.waitForFinished();
    }
    QDBusConnection connect(const QString& name) {
        return QDBusConnection::connectToBus(address_, name);
    }

private:
    QProcess daemon_;
    QString address_;
};

// Answers Register as the extension does, or as told to.
class FakeCompanion : public QDBusVirtualObject {
public:
    std::function<QDBusMessage(const QDBusMessage&)> answer = [](const QDBusMessage& call) {
        return call.createReply(QVariantList{QStringLiteral("org.gnome.Terminal.desktop"), false,
                                             rectangle(0, 0, 1280, 800), false});
    };
    QList<QVariantList> registrations;

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() != u"Register")
            return false;
        registrations.append(message.arguments());
        connection.send(answer(message));
        return true;
    }
    QString introspect(const QString&) const override { return {}; }
};

class ShellCompanionTest : public ::testing::Test {
protected:
    void SetUp() override {
        service_ = bus_.connect(QStringLiteral("companion"));
        client_ = bus_.connect(QStringLiteral("quorvel"));
        ASSERT_TRUE(service_.isConnected());
        ASSERT_TRUE(client_.isConnected());
    }
    void TearDown() override {
        QDBusConnection::disconnectFromBus(QStringLiteral("companion"));
        QDBusConnection::disconnectFromBus(QStringLiteral("quorvel"));
        QDBusConnection::disconnectFromBus(QStringLiteral("impostor"));
    }
    void appear() {
        service_.registerVirtualObject(path, &fake_);
        service_.registerService(busName);
    }
    void vanish() {
        service_.unregisterService(busName);
        service_.unregisterObject(path);
    }
    void signal(const QString& name, const QVariantList& arguments,
                QDBusConnection* from = nullptr) {
        QDBusMessage message =
            QDBusMessage::createTargetedSignal(client_.baseService(), path, interface, name);
        message.setArguments(arguments);
        (from ? *from : service_).send(message);
    }

    PrivateBus bus_;
    QDBusConnection service_{QString()};
    QDBusConnection client_{QString()};
    FakeCompanion fake_;
};

TEST_F(ShellCompanionTest, RegistersAndFollowsWhatTheShellTells) {
    appear();
    ShellCompanion companion(client_);
    ASSERT_TRUE(QTest::qWaitFor([&] { return companion.isPresent(); }));
    EXPECT_EQ(companion.focus().application, u"org.gnome.Terminal.desktop");
    EXPECT_EQ(companion.focus().monitor, QRect(0, 0, 1280, 800));

    // Each wish goes to the shell, and only while it matters.
    companion.setTopBarMenuWanted(true);
    companion.setPointerWanted(true);
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return !fake_.registrations.isEmpty() &&
               fake_.registrations.last() == QVariantList({true, true});
    }));
    EXPECT_TRUE(companion.reportsPointer());
    // Answered wishes ask nothing more.
    const qsizetype calls = fake_.registrations.size();
    QTest::qWait(200);
    EXPECT_EQ(fake_.registrations.size(), calls);

    QSignalSpy focus(&companion, &ShellCompanion::focusChanged);
    signal(QStringLiteral("FocusChanged"),
           {QStringLiteral("mpv.desktop"), true, rectangle(1280, 0, 1920, 1080)});
    ASSERT_TRUE(QTest::qWaitFor([&] { return focus.count() == 1; }));
    EXPECT_EQ(companion.focus().application, u"mpv.desktop");
    EXPECT_TRUE(companion.focus().fullScreen);
    // Nothing in front: no monitor, as the companion says it.
    signal(QStringLiteral("FocusChanged"), {QString(), false, rectangle(0, 0, 0, 0)});
    ASSERT_TRUE(QTest::qWaitFor([&] { return focus.count() == 2; }));
    EXPECT_FALSE(companion.focus().fullScreen);

    signal(QStringLiteral("PointerChanged"), {true});
    ASSERT_TRUE(QTest::qWaitFor([&] { return companion.pointerInside(); }));
    companion.setPointerWanted(false);
    EXPECT_FALSE(companion.pointerInside());
    EXPECT_FALSE(companion.reportsPointer());

    QSignalSpy menu(&companion, &ShellCompanion::menuActivated);
    signal(QStringLiteral("MenuActivated"), {QStringLiteral("preferences")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu.count() == 1; }));
    EXPECT_EQ(menu.at(0).at(0).toString(), u"preferences");
}

// A shell that restarts, or an extension turned off and on: Quorvel goes on
// without it meanwhile and registers again when it is back.
TEST_F(ShellCompanionTest, GoesOnWithoutAVanishedCompanionAndRegistersWhenItReturns) {
    ShellCompanion companion(client_);
    QCoreApplication::processEvents();
    EXPECT_FALSE(companion.isPresent());
    appear();
    ASSERT_TRUE(QTest::qWaitFor([&] { return companion.isPresent(); }));
    signal(QStringLiteral("PointerChanged"), {true});
    vanish();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !companion.isPresent(); }));
    EXPECT_TRUE(companion.focus().application.isEmpty());
    EXPECT_FALSE(companion.pointerInside());
    appear();
    ASSERT_TRUE(QTest::qWaitFor([&] { return companion.isPresent(); }));
    EXPECT_EQ(fake_.registrations.size(), 2);
}

// What is not in the interface's form changes nothing; a companion that turns
// Quorvel away, or answers in another form, is as good as none; signals from
// a connection that does not own the companion's name are not the
// companion's.
TEST_F(ShellCompanionTest, IgnoresNonsenseAndImpostors) {
    const QList<std::function<QDBusMessage(const QDBusMessage&)>> refusals = {
        [](const QDBusMessage& call) {
            return call.createErrorReply(interface + QStringLiteral(".Error.InUse"),
                                         QStringLiteral("taken"));
        },
        [](const QDBusMessage& call) { return call.createReply(QVariantList{42}); },
        [](const QDBusMessage& call) {
            return call.createReply(QVariantList{QString(), false, rectangle(0, 0, -5, 10), false});
        },
    };
    for (const auto& refusal : refusals) {
        fake_.answer = refusal;
        fake_.registrations.clear();
        appear();
        ShellCompanion refused(client_);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !fake_.registrations.isEmpty(); }));
        // The answer arrives after the call is seen: time for it to be taken.
        EXPECT_FALSE(QTest::qWaitFor([&] { return refused.isPresent(); }, 500));
        vanish();
    }

    fake_.answer = FakeCompanion().answer;
    fake_.registrations.clear();
    appear();
    ShellCompanion companion(client_);
    ASSERT_TRUE(QTest::qWaitFor([&] { return companion.isPresent(); }));
    companion.setPointerWanted(true);
    // The fake answers with the same focus each time: its answer to the new
    // wish must be in before the signals, as the real shell's would be.
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake_.registrations.size() == 2; }));
    QTest::qWait(100);
    QSignalSpy focus(&companion, &ShellCompanion::focusChanged);
    QSignalSpy menu(&companion, &ShellCompanion::menuActivated);
    signal(QStringLiteral("FocusChanged"), {QStringLiteral("a.desktop")});
    signal(QStringLiteral("FocusChanged"), {QStringLiteral("a.desktop"), true, 7});
    signal(QStringLiteral("PointerChanged"), {QStringLiteral("yes")});
    signal(QStringLiteral("MenuActivated"), {QStringLiteral("rm -rf ~")});
    signal(QStringLiteral("MenuActivated"), {1});
    QDBusConnection impostor = bus_.connect(QStringLiteral("impostor"));
    signal(QStringLiteral("MenuActivated"), {QStringLiteral("quit")}, &impostor);
    signal(QStringLiteral("PointerChanged"), {true}, &impostor);
    // Nonsense of ever new forms is told only a few times in all.
    testing::internal::CaptureStderr();
    QVariantList growing;
    for (int i = 0; i < 40; ++i) {
        growing << i;
        signal(QStringLiteral("PointerChanged"), growing);
    }
    // A good one after them all: once it is in, the others were dealt with.
    signal(QStringLiteral("FocusChanged"),
           {QStringLiteral("b.desktop"), false, rectangle(0, 0, 1, 1)});
    ASSERT_TRUE(QTest::qWaitFor([&] { return focus.count() == 1; }));
    const QString told = QString::fromStdString(testing::internal::GetCapturedStderr());
    EXPECT_LE(told.count(u'\n'), 9) << told.toStdString();
    EXPECT_EQ(companion.focus().application, u"b.desktop");
    EXPECT_EQ(menu.count(), 0);
    EXPECT_FALSE(companion.pointerInside());
    EXPECT_TRUE(companion.isPresent());
}

// The active application: the shell's answer while the companion is there,
// an entry the list names by path told by its file name, full screen only on
// the monitor that holds the stat window's screen.
TEST_F(ShellCompanionTest, ActiveApplicationIsTheShellsWhileItIsThere) {
    struct X11Answer : ActiveApplication {
        QString activeDesktopEntry() override { return QStringLiteral("xterm.desktop"); }
        void setListedDesktopFiles(const QStringList&) override {}
        bool activeIsFullScreenOn(const QRect&) override { return false; }
    };
    fake_.answer = [](const QDBusMessage& call) {
        return call.createReply(QVariantList{QStringLiteral("mpv.desktop"), true,
                                             rectangle(1280, 0, 1920, 1080), false});
    };
    appear();
    ShellCompanion companion(client_);
    ShellActiveApplication active(companion, std::make_unique<X11Answer>());
    int changes = 0;
    active.setChangeHandler([&] { ++changes; });
    EXPECT_EQ(active.activeDesktopEntry(), u"xterm.desktop");
    ASSERT_TRUE(QTest::qWaitFor([&] { return companion.isPresent(); }));
    EXPECT_GT(changes, 0);
    EXPECT_EQ(active.activeDesktopEntry(), u"mpv.desktop");
    active.setListedDesktopFiles({QStringLiteral("/opt/mpv/mpv.desktop")});
    EXPECT_EQ(active.activeDesktopEntry(), u"/opt/mpv/mpv.desktop");
    EXPECT_TRUE(active.activeIsFullScreenOn(QRect(1280, 0, 1920, 1080)));
    EXPECT_FALSE(active.activeIsFullScreenOn(QRect(0, 0, 1280, 800)));
    vanish();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !companion.isPresent(); }));
    EXPECT_EQ(active.activeDesktopEntry(), u"xterm.desktop");
}

} // namespace

TEST(ShellExtensionsTest, PicksTheFormOfTheShellsVersionAndReadsItsState) {
    const std::pair<const char*, const char*> forms[] = {
        {"43.9", ShellExtensions::scriptFormUuid}, {"44.0", ShellExtensions::scriptFormUuid},
        {"45.0", ShellExtensions::moduleFormUuid}, {"48.2", ShellExtensions::moduleFormUuid},
        {"", ShellExtensions::moduleFormUuid},     {"beta", ShellExtensions::moduleFormUuid}};
    for (const auto& [version, uuid] : forms)
        EXPECT_EQ(ShellExtensions::companionUuidFor(QString::fromLatin1(version)),
                  QString::fromLatin1(uuid))
            << version;
    using State = ShellExtensions::State;
    const std::pair<QVariantMap, State> states[] = {
        {{}, State::Missing},
        {{{QStringLiteral("state"), 1.0}}, State::On},
        {{{QStringLiteral("state"), 2.0}}, State::Off},
        {{{QStringLiteral("state"), 6.0}}, State::Off},
        {{{QStringLiteral("state"), 3.0}}, State::Failed},
        {{{QStringLiteral("state"), 4.0}}, State::OutOfDate},
        {{{QStringLiteral("state"), 99.0}}, State::Unknown},
        {{{QStringLiteral("state"), QStringLiteral("on")}}, State::Unknown}};
    for (const auto& [info, state] : states)
        EXPECT_EQ(ShellExtensions::stateFrom(info), state)
            << info.value("state").toString().toStdString();
}

// GNOME Shell's extensions interface, as far as Quorvel uses it: a shell of
// version 48 with the module form installed and turned off.
class FakeShellExtensions : public QDBusVirtualObject {
public:
    QStringList enabled;
    QStringList asked;

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        const QString uuid = message.arguments().value(0).toString();
        if (message.member() == u"Get") {
            connection.send(
                message.createReply(QVariant::fromValue(QDBusVariant(QStringLiteral("48.1")))));
        } else if (message.member() == u"GetExtensionInfo") {
            asked.append(uuid);
            QVariantMap info;
            if (uuid == QString::fromLatin1(ShellExtensions::moduleFormUuid))
                info.insert(QStringLiteral("state"), enabled.contains(uuid) ? 1.0 : 2.0);
            connection.send(message.createReply(QVariant::fromValue(info)));
        } else if (message.member() == u"EnableExtension") {
            enabled.append(uuid);
            connection.send(message.createReply(true));
        } else {
            return false;
        }
        return true;
    }
    QString introspect(const QString&) const override { return {}; }
};

TEST_F(ShellCompanionTest, TurnsOnTheCompanionOfTheShellsVersionThroughTheShell) {
    FakeShellExtensions shell;
    service_.registerVirtualObject(QStringLiteral("/org/gnome/Shell"), &shell);
    service_.registerService(QStringLiteral("org.gnome.Shell"));
    ShellExtensions extensions(client_);
    extensions.refresh();
    ASSERT_TRUE(QTest::qWaitFor([&] { return extensions.state() == ShellExtensions::State::Off; }));
    EXPECT_EQ(shell.asked, QStringList{QString::fromLatin1(ShellExtensions::moduleFormUuid)});
    extensions.enableCompanion();
    ASSERT_TRUE(QTest::qWaitFor([&] { return extensions.state() == ShellExtensions::State::On; }));
    EXPECT_EQ(shell.enabled, QStringList{QString::fromLatin1(ShellExtensions::moduleFormUuid)});
    service_.unregisterService(QStringLiteral("org.gnome.Shell"));
    service_.unregisterObject(QStringLiteral("/org/gnome/Shell"));
}
