#include "app/StatusMenu.h"

#include <gtest/gtest.h>

using StatusMenu::Facts;
using StatusMenu::HotkeyTrouble;

TEST(StatusMenu, TheFirstRuleThatAppliesNamesTheState)
{
    const auto with = [](auto change) {
        Facts facts;
        facts.server = {WhisperServer::State::ready, {}};
        facts.modelTitle = QStringLiteral("Large v3 Turbo");
        facts.language = QStringLiteral("ru");
        change(facts);
        return StatusMenu::statusLine(facts).toStdString();
    };
    // Each row breaks the rules below it, so the order of the rules shows.
    EXPECT_EQ(with([](Facts& f) {
                  f.downloadFraction = 0.379;
                  f.modelPresent = false;
                  f.recording = true;
              }),
              "Модель загружается: 37%");
    EXPECT_EQ(with([](Facts& f) {
                  f.modelPresent = false;
                  f.recording = true;
              }),
              "Модель не загружена");
    EXPECT_EQ(with([](Facts& f) {
                  f.recording = true;
                  f.hotkeys = HotkeyTrouble::noDisplay;
              }),
              "● Идёт запись…");
    EXPECT_EQ(with([](Facts& f) {
                  f.transcribing = true;
                  f.hotkeys = HotkeyTrouble::noDisplay;
              }),
              "Распознаю…");
    EXPECT_EQ(with([](Facts& f) {
                  f.hotkeys = HotkeyTrouble::comboTaken;
                  f.toggleTitle = QStringLiteral("Super+Shift+Пробел");
                  f.gigaam = true;
              }),
              "Сочетание Super+Shift+Пробел занято другой программой — см. «Разрешения…»");
    EXPECT_EQ(with([](Facts& f) { f.hotkeys = HotkeyTrouble::waylandOnly; }),
              "Горячие клавиши не работают в сеансе Wayland — см. «Разрешения…»");
    EXPECT_EQ(with([](Facts& f) {
                  f.gigaam = true;
                  f.server = {WhisperServer::State::stopped, {}};
              }),
              "Готов · GigaAM-v3 (Сбер) · русский");
    EXPECT_EQ(with([](Facts& f) { f.server = {WhisperServer::State::stopped, {}}; }), "Сервер остановлен");
    EXPECT_EQ(with([](Facts& f) { f.server = {WhisperServer::State::starting, {}}; }), "Загружаю модель в память…");
    EXPECT_EQ(with([](Facts& f) { f.server = WhisperServer::State::failure(QStringLiteral("порт занят")); }),
              "Ошибка сервера: порт занят");
    EXPECT_EQ(with([](Facts&) {}), "Готов · Large v3 Turbo · русский");
    EXPECT_EQ(with([](Facts& f) { f.language = QStringLiteral("auto"); }), "Готов · Large v3 Turbo · auto");
}

TEST(StatusMenu, HistoryTitlesAreCutAfterSixtyCharacters)
{
    const QString sixty(60, u'я');
    EXPECT_EQ(StatusMenu::historyTitle(sixty), sixty);
    EXPECT_EQ(StatusMenu::historyTitle(sixty + u'ж'), sixty + QChar(0x2026));
    EXPECT_EQ(StatusMenu::historyTitle(QString()), QString());
}
