#include "app/TrayMenuTexts.h"

#include <gtest/gtest.h>

#include <utility>

using TrayMenuTexts::Facts;
using TrayMenuTexts::HotkeyTrouble;
using State = WhisperServer::State;

// Each row names only the facts it sets; the rest keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

TEST(TrayMenuTexts, TheFirstRuleThatAppliesNamesTheState)
{
    const State ready{State::ready, {}};
    const State stopped{State::stopped, {}};
    const QString turbo = QStringLiteral("Large v3 Turbo");
    const QString ru = QStringLiteral("ru");
    const QString combo = QStringLiteral("Super+Shift+Пробел");
    // Each row also meets the conditions of some rules below it, so the order of the rules shows.
    for (const auto& [facts, line] : std::initializer_list<std::pair<Facts, const char*>>{
             {{.downloadFraction = 0.379, .modelPresent = false, .recording = true}, "Модель загружается: 37%"},
             {{.modelPresent = false, .recording = true}, "Модель не загружена — загрузить"},
             {{.recording = true, .hotkeys = HotkeyTrouble::noDisplay}, "● Идёт запись…"},
             {{.transcribing = true, .hotkeys = HotkeyTrouble::noDisplay}, "Распознаю…"},
             {{.hotkeys = HotkeyTrouble::comboTaken, .toggleTitle = combo, .gigaam = true},
              "Сочетание Super+Shift+Пробел занято другой программой — см. «Разрешения…»"},
             {{.hotkeys = HotkeyTrouble::waylandOnly},
              "Горячие клавиши не работают в сеансе Wayland — см. «Разрешения…»"},
             {{.gigaam = true, .server = stopped}, "Готов · GigaAM-v3 (Сбер) · русский"},
             {{.server = stopped}, "Сервер остановлен"},
             {{.server = {State::starting, {}}}, "Загружаю модель в память…"},
             {{.server = State::failure(QStringLiteral("порт занят"))}, "Ошибка сервера: порт занят"},
             {{.server = ready, .modelTitle = turbo, .language = ru}, "Готов · Large v3 Turbo · русский"},
             {{.server = ready, .modelTitle = turbo, .language = QStringLiteral("auto")},
              "Готов · Large v3 Turbo · auto"},
         })
        EXPECT_EQ(TrayMenuTexts::statusLine(facts).toStdString(), line);
    // Only a missing model that is not being downloaded makes the line a button.
    EXPECT_TRUE(TrayMenuTexts::offersDownload({.modelPresent = false}));
    EXPECT_FALSE(TrayMenuTexts::offersDownload({.downloadFraction = 0.5, .modelPresent = false}));
    EXPECT_FALSE(TrayMenuTexts::offersDownload({}));
}

TEST(TrayMenuTexts, HistoryTitlesAreCutAfterSixtyCharacters)
{
    const QString sixty(60, u'я');
    EXPECT_EQ(TrayMenuTexts::historyTitle(sixty), sixty);
    EXPECT_EQ(TrayMenuTexts::historyTitle(sixty + u'ж'), sixty + QChar(0x2026));
    EXPECT_EQ(TrayMenuTexts::historyTitle(QString()), QString());
    const QString emoji = QString(59, u'я') + QStringLiteral("🙂");
    EXPECT_EQ(TrayMenuTexts::historyTitle(emoji + u'ж'), QString(59, u'я') + QChar(0x2026));
    EXPECT_EQ(TrayMenuTexts::historyTitle(QStringLiteral("Маша & Медведь")), QStringLiteral("Маша && Медведь"));
}
