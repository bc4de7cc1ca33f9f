#include "WaylandRig.h"
#include "quality/SpeechCleaning.h"
#include "quality/SpeechQuality.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <csignal>

namespace
{

using WaylandDesktopTest = DesktopTest;

} // namespace

TEST_F(WaylandDesktopTest, UnderSwayDictationReachesTheFocusedWindowAnX11OneAndThenANativeOne)
{
    const Compositor sway(QStringLiteral("sway"));
    if (!sway.isRunning())
        GTEST_SKIP() << "sway cannot run here: " << sway.problem();
    // The native field's program, told by its app_id, is a terminal by the user's rule.
    const auto app = startApp(sway.session(),
                              {{SettingsKey::appProfiles, QStringList{QStringLiteral("tolvan-gtk-field=terminal")}}});
    ASSERT_TRUE(app->waitUntilReady());
    EXPECT_TRUE(app->log().contains(QStringLiteral("Сеанс Wayland (wlroots), доставка текста: виртуальная клавиатура")))
        << app->log().toStdString();
    const QString expected = QStringLiteral("Привет, это проверка Linuxа.\\n\\nВторая часть текста.");

    // An X11 window takes the text through XWayland as in an X11 session.
    const auto x11Field = sway.x11TextField();
    ASSERT_TRUE(x11Field->isReady());
    dictateWithTheCommand(*app);
    EXPECT_TRUE(x11Field->waitForText(expected, 8000)) << x11Field->text().toStdString();
    ASSERT_TRUE(app->waitUntilIdle());

    // The native window opened next gets the focus, and the text; wlroots' XWayland, which has now seen an X11
    // window focused, takes the X11 clipboard over whenever the seat's changes.
    const auto field = sway.nativeTextField();
    ASSERT_TRUE(field->isReady());
    dictateWithTheCommand(*app);
    EXPECT_TRUE(field->waitForText(QStringLiteral("Привет, это проверка Linuxа.\\n\\nВторая часть текста"), 8000))
        << field->text().toStdString() << app->log().toStdString();
    EXPECT_EQ(field->keys(), QStringList({QStringLiteral("Control_L"), QStringLiteral("Ctrl+V")}));
    EXPECT_EQ(x11Field->text(), expected);
    // What the keys can do here was said once, at the start; no other program is blamed for XWayland's keys.
    EXPECT_EQ(app->logCount(QStringLiteral("Сеанс Wayland: клавиши Толвана")), 1);
    EXPECT_FALSE(app->log().contains(QStringLiteral("занято другой программой"))) << app->log().toStdString();
}

TEST_F(WaylandDesktopTest, UnderACompositorWithoutARouteTheTextIsLeftOnTheClipboardAndThePanelSaysSo)
{
    const Compositor weston(QStringLiteral("weston"));
    if (!weston.isRunning())
        GTEST_SKIP() << "weston cannot run here: " << weston.problem();
    const auto app = startApp(weston.session());
    ASSERT_TRUE(app->waitUntilReady());
    EXPECT_TRUE(app->log().contains(QStringLiteral("Сеанс Wayland, доставка текста: буфер обмена")))
        << app->log().toStdString();

    // The X server's window manager still names a window that was closed: no keys go anywhere.
    const auto closed = DesktopRig::keys({QStringLiteral("closed-active-window")});
    ASSERT_TRUE(DesktopRig::finishes(*closed));
    dictateWithTheCommand(*app);
    EXPECT_TRUE(app->logShows(QStringLiteral("Панель: «Текст в буфере — вставьте Ctrl+V»"), 8000))
        << app->log().toStdString();
    EXPECT_FALSE(app->log().contains(QStringLiteral("Отправляю нажатие клавиш"))) << app->log().toStdString();
    EXPECT_EQ(DesktopRig::clipboard(), QStringLiteral("Привет, это проверка Linuxа.\n\nВторая часть текста."));
}

TEST_F(WaylandDesktopTest, UnderMutterDictationReachesTheFocusedNativeWindowThroughItsRemoteDesktop)
{
    const Compositor mutter(QStringLiteral("mutter"));
    if (!mutter.isRunning())
        GTEST_SKIP() << "mutter cannot run here: " << mutter.problem();
    const auto field = mutter.nativeTextField();
    ASSERT_TRUE(field->isReady());
    const auto app = startApp(mutter.session());
    ASSERT_TRUE(app->waitUntilReady());
    EXPECT_TRUE(
        app->log().contains(QStringLiteral("Сеанс Wayland (GNOME), доставка текста: удалённый рабочий стол GNOME")))
        << app->log().toStdString();

    // Through the X11 clipboard, which mutter hands on to the native window, and mutter's Shift+Insert: GNOME does
    // not tell a text field from a terminal.
    dictateWithTheCommand(*app);
    EXPECT_TRUE(field->waitForText(expectedField, 8000)) << field->text().toStdString() << app->log().toStdString();
    EXPECT_EQ(field->keys(), QStringList({QStringLiteral("Shift_L"), QStringLiteral("Shift+Insert")}));

    // The session, and with it GNOME's screen-sharing indicator, lasted for the paste alone.
    EXPECT_TRUE(app->logShows(QStringLiteral("Сеанс удалённого управления GNOME остановлен")));
    EXPECT_EQ(app->log().count(QStringLiteral("Сеанс удалённого управления GNOME открыт")), 1);

    // A VTE terminal pastes the primary selection on Shift+Insert, which holds the text too; Ctrl+V would be ^V.
    const auto terminal = mutter.nativeTextField(false, Compositor::Field::terminal);
    ASSERT_TRUE(terminal->isReady());
    dictateWithTheCommand(*app);
    EXPECT_TRUE(terminal->waitForText(expectedField, 8000))
        << terminal->text().toStdString() << app->log().toStdString();
}

TEST_F(WaylandDesktopTest, UnderMutterTheReviewWindowTakesTheFocusAndItsPhraseGoesToTheNativeWindowAfterIt)
{
    const Compositor mutter(QStringLiteral("mutter"));
    if (!mutter.isRunning())
        GTEST_SKIP() << "mutter cannot run here: " << mutter.problem();
    const auto field = mutter.nativeTextField();
    ASSERT_TRUE(field->isReady());
    RunningApp app(
        answering(QStringLiteral("dictation_fillers.json"), mutter.session()),
        {{SettingsKey::speechQuality, QStringLiteral("highlight")}, {SettingsKey::recognizeWhileRecording, false}});
    ASSERT_TRUE(app.waitUntilReady());

    dictateWithTheCommand(app);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return mutter.activeX11WindowName() == QStringLiteral("Грамотная речь — Толван"); }, 8000))
        << mutter.activeX11WindowName().toStdString();
    EXPECT_EQ(field->text(), QString());
    mutter.xdotool({QStringLiteral("key"), QStringLiteral("Return")});

    // Closed, the window hands the focus back to the native one, which gets the cleaned phrase.
    const QString dictated = QStringLiteral("Ну, короче, я пошёл домой, короче, потому что устал.");
    const QString cleaned = SpeechCleaning::clean(dictated, SpeechQuality::analyze(dictated));
    EXPECT_TRUE(field->waitForText(cleaned, 5000))
        << field->text().toStdString() << field->keys().join(u' ').toStdString() << app.log().toStdString();
}

TEST_F(WaylandDesktopTest, UnderMutterAPhraseWhoseNativeWindowLostTheFocusStaysOnTheClipboard)
{
    const Compositor mutter(QStringLiteral("mutter"));
    if (!mutter.isRunning())
        GTEST_SKIP() << "mutter cannot run here: " << mutter.problem();
    // On the accessibility bus, which tells mutter's native windows apart.
    const auto field = mutter.nativeTextField(true);
    ASSERT_TRUE(field->isReady());
    RunningApp app(
        answering(QStringLiteral("dictation_fillers.json"), mutter.session()),
        {{SettingsKey::speechQuality, QStringLiteral("highlight")}, {SettingsKey::recognizeWhileRecording, false}});
    ASSERT_TRUE(app.waitUntilReady());
    ASSERT_TRUE(app.logShows(QStringLiteral("Окна GNOME различаются по событиям шины специальных возможностей")));

    dictateWithTheCommand(app);
    const QString review = QStringLiteral("Грамотная речь — Толван");
    ASSERT_TRUE(QTest::qWaitFor([&] { return mutter.activeX11WindowName() == review; }, 8000));
    const QString reviewWindow = mutter.xdotool({QStringLiteral("getactivewindow")});
    // While the phrase is reviewed the user turns to another native window, then back to the review.
    const auto other = mutter.nativeTextField(true);
    ASSERT_TRUE(other->isReady());
    mutter.xdotool({QStringLiteral("windowactivate"), reviewWindow});
    ASSERT_TRUE(QTest::qWaitFor([&] { return mutter.activeX11WindowName() == review; }, 8000));
    mutter.xdotool({QStringLiteral("key"), QStringLiteral("Return")});

    // Closed, the review window hands the focus to the other window, which must not get the phrase.
    EXPECT_TRUE(app.logShows(QStringLiteral("Панель: «Текст в буфере — вставьте Ctrl+V»"), 8000))
        << app.log().toStdString();
    EXPECT_EQ(other->text(), QString());
    EXPECT_EQ(field->text(), QString());
}

// The program of a native window on the accessibility bus names itself there; its text gets the profile the user
// chose for it, while the keys of the paste stay those for a window of any kind.
TEST_F(WaylandDesktopTest, UnderMutterAProgramOnTheAccessibilityBusGetsTheProfileOfItsName)
{
    const Compositor mutter(QStringLiteral("mutter"));
    if (!mutter.isRunning())
        GTEST_SKIP() << "mutter cannot run here: " << mutter.problem();
    const auto app = startApp(mutter.session(),
                              {{SettingsKey::appProfiles, QStringList{QStringLiteral("tolvan-gtk-field=terminal")}}});
    ASSERT_TRUE(app->waitUntilReady());
    ASSERT_TRUE(app->logShows(QStringLiteral("Окна GNOME различаются по событиям шины специальных возможностей")));
    const auto field = mutter.nativeTextField(true);
    ASSERT_TRUE(field->isReady());

    dictateWithTheCommand(*app);
    EXPECT_TRUE(field->waitForText(QStringLiteral("Привет, это проверка Linuxа.\\n\\nВторая часть текста"), 8000))
        << field->text().toStdString() << app->log().toStdString();
    EXPECT_EQ(field->keys(), QStringList({QStringLiteral("Shift_L"), QStringLiteral("Shift+Insert")}));
    EXPECT_TRUE(app->log().contains(QStringLiteral("Текст для программы tolvan-gtk-field: профиль «Терминал»")))
        << app->log().toStdString();
}

namespace
{

// The app learning from the user's fixes, recognizing «я пишу в толвон каждый день.», following fields.
std::unique_ptr<RunningApp> startLearningApp(const Compositor& desktop)
{
    auto app = std::make_unique<RunningApp>(
        answering(QStringLiteral("dictation_learning.json"), desktop.session()),
        QVariantHash{{SettingsKey::learnFromCorrections, true}, {SettingsKey::recognizeWhileRecording, false}});
    const bool ready = app->waitUntilReady() &&
                       app->logShows(QStringLiteral("Исправления отслеживаются через шину специальных возможностей"));
    return ready ? std::move(app) : nullptr;
}

// Taps the panel whenever it shows (it may still show the dictation's end before the offer) until the app has
// learned the pair.
bool tapThePanelToLearn(const Compositor& desktop, const RunningApp& app, const QString& pair)
{
    return QTest::qWaitFor(
        [&] {
            const QString panel = desktop.xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                   QStringLiteral("--name"), QStringLiteral("^Толван$")});
            if (!panel.isEmpty())
                desktop.xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), panel, QStringLiteral("150"),
                                 QStringLiteral("30"), QStringLiteral("click"), QStringLiteral("1")});
            return app.log().contains(QStringLiteral("Запомнена пара из исправления: ") + pair);
        },
        8000);
}

} // namespace

// With «Учиться на моих исправлениях» on, a word the user fixes in an accessible field, once the field is left, is
// offered on the panel; a tap learns it, and the next dictation pastes it right. A password field is never read.
TEST_F(WaylandDesktopTest, UnderMutterAWordFixedAfterThePasteIsOfferedAndOnceLearnedPastedRight)
{
    const Compositor mutter(QStringLiteral("mutter"));
    if (!mutter.isRunning())
        GTEST_SKIP() << "mutter cannot run here: " << mutter.problem();
    const auto learning = startLearningApp(mutter);
    ASSERT_TRUE(learning);
    RunningApp& app = *learning;
    const QString pasted = QStringLiteral("Я пишу в толвон каждый день.");
    const QString followed = QStringLiteral("Поле со вставленным текстом отслеживается");

    const auto password = mutter.nativeTextField(true, Compositor::Field::password);
    ASSERT_TRUE(password->isReady());
    dictateWithTheCommand(app);
    ASSERT_TRUE(password->waitForText(pasted, 8000)) << password->text().toStdString() << app.log().toStdString();
    password->replace(QStringLiteral("день"), QStringLiteral("День2"));
    ASSERT_TRUE(password->waitForText(QStringLiteral("Я пишу в толвон каждый День2.")));

    // The next field takes the focus from the password field.
    const auto field = mutter.nativeTextField(true);
    ASSERT_TRUE(field->isReady());
    dictateWithTheCommand(app);
    ASSERT_TRUE(field->waitForText(pasted, 8000)) << field->text().toStdString() << app.log().toStdString();
    ASSERT_TRUE(app.logShows(followed, 8000)) << app.log().toStdString();
    EXPECT_EQ(app.logCount(followed), 1) << "the password field was followed";
    field->replace(QStringLiteral("толвон"), QStringLiteral("Толван"));
    ASSERT_TRUE(field->waitForText(QStringLiteral("Я пишу в Толван каждый день.")));

    // The user moves on; the panel offers the pair, and a tap learns it.
    const auto other = mutter.nativeTextField(true);
    ASSERT_TRUE(other->isReady());
    ASSERT_TRUE(tapThePanelToLearn(mutter, app, QStringLiteral("толвон → Толван"))) << app.log().toStdString();
    // Only that pair: the password field's «День2» was never read.
    EXPECT_EQ(QJsonDocument::fromJson(TestFiles::read(Paths::dataDir() + QStringLiteral("/corrections.json"))).object(),
              (QJsonObject{{QStringLiteral("толвон"), QStringLiteral("Толван")}}));

    dictateWithTheCommand(app);
    EXPECT_TRUE(other->waitForText(QStringLiteral("Я пишу в Толван каждый день."), 8000))
        << other->text().toStdString() << app.log().toStdString();
}

// Following a field needs no move of the focus: a chat message sent with Enter empties its field, and what the user
// made of the pasted text just before counts. A Qt program reports to the bus once accessibility is on.
TEST_F(WaylandDesktopTest, UnderMutterAFixInAQtFieldAndOneSentWithEnterAreOffered)
{
    const Compositor mutter(QStringLiteral("mutter"));
    if (!mutter.isRunning())
        GTEST_SKIP() << "mutter cannot run here: " << mutter.problem();
    const auto learning = startLearningApp(mutter);
    ASSERT_TRUE(learning);
    RunningApp& app = *learning;
    const QString followed = QStringLiteral("Поле со вставленным текстом отслеживается");

    const auto qtField = mutter.x11TextField(true);
    ASSERT_TRUE(qtField->isReady());
    dictateWithTheCommand(app);
    ASSERT_TRUE(qtField->waitForText(QStringLiteral("Я пишу в толвон каждый день."), 8000)) << app.log().toStdString();
    ASSERT_TRUE(app.logShows(followed, 8000)) << app.log().toStdString();
    qtField->replace(QStringLiteral("толвон"), QStringLiteral("Толван"));
    ASSERT_TRUE(qtField->waitForText(QStringLiteral("Я пишу в Толван каждый день.")));
    const auto chat = mutter.nativeTextField(true, Compositor::Field::chat);
    ASSERT_TRUE(chat->isReady());
    ASSERT_TRUE(tapThePanelToLearn(mutter, app, QStringLiteral("толвон → Толван"))) << app.log().toStdString();

    dictateWithTheCommand(app);
    ASSERT_TRUE(chat->waitForText(QStringLiteral("Я пишу в Толван каждый день."), 8000)) << app.log().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return app.logCount(followed) == 2; }, 8000)) << app.log().toStdString();
    chat->replace(QStringLiteral("каждый"), QStringLiteral("кажный"));
    ASSERT_TRUE(chat->waitForText(QStringLiteral("Я пишу в Толван кажный день.")));
    chat->pressEnter();
    ASSERT_TRUE(chat->waitForText(QString()));
    ASSERT_TRUE(tapThePanelToLearn(mutter, app, QStringLiteral("каждый → кажный"))) << app.log().toStdString();
}

// The compositor going away (a logout) ends the app by itself, in order: no crash in the static objects that held its
// connection, no sanitizer report, no child left behind. A compositor that hangs during a paste makes the app give
// the paste up, and the keys it gave up on never arrive later.
TEST_F(WaylandDesktopTest, UnderSwayAHungPasteIsGivenUpForGoodAndALogoutEndsTheAppInOrder)
{
    const Compositor sway(QStringLiteral("sway"));
    if (!sway.isRunning())
        GTEST_SKIP() << "sway cannot run here: " << sway.problem();
    const QString reports = TestEnvironment::makeDirectory(QStringLiteral("sanitizer"));
    QProcessEnvironment environment = sway.session();
    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("log_path=") + reports + QStringLiteral("/asan"));
    environment.insert(QStringLiteral("UBSAN_OPTIONS"),
                       QStringLiteral("log_path=") + reports + QStringLiteral("/ubsan"));
    const auto app = startApp(environment);
    ASSERT_TRUE(app->waitUntilReady());
    // The seat's only keyboard is the app's: the window gets the focus once it is there.
    const auto field = sway.nativeTextField();
    ASSERT_TRUE(field->isReady());

    ASSERT_EQ(runTolvan({QStringLiteral("--toggle")}).exitCode, 0);
    ASSERT_TRUE(app->logShows(QStringLiteral("Запись начата")));
    RunningApp::say(phrase);
    sway.signal(SIGSTOP);
    ASSERT_EQ(runTolvan({QStringLiteral("--toggle")}).exitCode, 0);
    const bool givenUp = app->logShows(QStringLiteral("Панель: «Текст в буфере — вставьте Ctrl+V»"), 8000);
    sway.signal(SIGCONT);
    ASSERT_TRUE(givenUp) << app->log().toStdString();
    // The next paste arrives alone: the one given up did not follow once the compositor answered again.
    dictateWithTheCommand(*app);
    EXPECT_TRUE(field->waitForText(expectedField, 8000)) << field->text().toStdString() << app->log().toStdString();
    EXPECT_EQ(field->keys(), QStringList({QStringLiteral("Control_L"), QStringLiteral("Ctrl+V")}));
    ASSERT_TRUE(app->waitUntilIdle());

    const qint64 server = app->serverPid();
    sway.signal(SIGTERM);
    ASSERT_TRUE(DesktopRig::finishes(app->process(), 10000));
    EXPECT_EQ(app->process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app->process().exitCode(), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return RunningApp::hasEnded(server); }, 5000));
    QByteArray found;
    for (const QString& report : QDir(reports).entryList(QDir::Files))
        found += TestFiles::read(reports + u'/' + report);
    EXPECT_TRUE(found.isEmpty()) << found.toStdString();
}

// The user's clipboard is theirs: with "restoreClipboard" it holds their text again once the dictation is pasted;
// without it, the dictated text can still be pasted after Tolvan has quit.
TEST_F(WaylandDesktopTest, UnderSwayTheUsersClipboardComesBackAndTheDictatedTextOutlivesTheApp)
{
    const Compositor sway(QStringLiteral("sway"));
    if (!sway.isRunning())
        GTEST_SKIP() << "sway cannot run here: " << sway.problem();
    ASSERT_EQ(sway.runClient({QStringLiteral("wl-copy"), QStringLiteral("пароль от почты")}), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return sway.nativeClipboard() == QStringLiteral("пароль от почты"); }, 5000));
    auto app = startApp(sway.session(), {{SettingsKey::restoreClipboard, true}});
    ASSERT_TRUE(app->waitUntilReady());
    const auto field = sway.nativeTextField();
    ASSERT_TRUE(field->isReady());
    dictateWithTheCommand(*app);
    EXPECT_TRUE(field->waitForText(expectedField, 8000)) << field->text().toStdString() << app->log().toStdString();
    EXPECT_TRUE(app->logShows(QStringLiteral("Буфер обмена восстановлен"), 5000)) << app->log().toStdString();
    EXPECT_EQ(sway.nativeClipboard(), QStringLiteral("пароль от почты"));

    SettingsStore(Paths::settingsFile()).setBool(SettingsKey::restoreClipboard, false);
    dictateWithTheCommand(*app);
    EXPECT_TRUE(field->waitForText(expectedField + expectedField, 8000)) << field->text().toStdString();
    ASSERT_TRUE(app->waitUntilIdle());
    ::kill(static_cast<pid_t>(app->process().processId()), SIGTERM);
    ASSERT_TRUE(DesktopRig::finishes(app->process(), 8000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return sway.nativeClipboard() == expectedText; }, 5000))
        << sway.nativeClipboard().toStdString();
}

// Learning a word from a native window never sends Ctrl+C: in a terminal nobody knows as one, it would end the
// command running there.
TEST_F(WaylandDesktopTest, UnderSwayLearningAWordInANativeTerminalLeavesItsCommandRunning)
{
    const Compositor sway(QStringLiteral("sway"));
    if (!sway.isRunning())
        GTEST_SKIP() << "sway cannot run here: " << sway.problem();
    const auto app = startApp(sway.session());
    ASSERT_TRUE(app->waitUntilReady());
    const QString marker = QStringLiteral("tolvan-sleep-%1").arg(QCoreApplication::applicationPid());
    const auto running = [&] { return DesktopRig::run(QStringLiteral("pgrep"), {QStringLiteral("-f"), marker}) == 0; };
    auto foot =
        DesktopRig::start(QStringLiteral(TOLVAN_WAYLAND_RIG_DIR "/run-client.sh"),
                          sway.clientCommand({QStringLiteral("foot"), QStringLiteral("--app-id=an-unknown-terminal"),
                                              QStringLiteral("bash"), QStringLiteral("-c"),
                                              QStringLiteral("exec -a %1 sleep 600").arg(marker)}));
    ASSERT_TRUE(QTest::qWaitFor(running, 10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return sway.focusedAppId() == QStringLiteral("an-unknown-terminal"); }, 10000))
        << sway.focusedAppId().toStdString();

    ASSERT_EQ(runTolvan({QStringLiteral("--learn")}).exitCode, 0);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return sway.activeX11WindowName().startsWith(QStringLiteral("Выучить слово")); }, 8000))
        << sway.activeX11WindowName().toStdString() << app->log().toStdString();
    EXPECT_TRUE(running());
    EXPECT_FALSE(app->log().contains(QStringLiteral("Отправляю нажатие клавиш")));
    foot->kill();
}
