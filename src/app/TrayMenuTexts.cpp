#include "app/TrayMenuTexts.h"

namespace
{

QString hotkeyLine(TrayMenuTexts::HotkeyTrouble trouble, const QString& toggleTitle)
{
    using TrayMenuTexts::HotkeyTrouble;
    switch (trouble) {
    case HotkeyTrouble::none:
        return {};
    case HotkeyTrouble::noDisplay:
        return QStringLiteral("Горячие клавиши не работают: нет дисплея X11 — см. «Разрешения…»");
    case HotkeyTrouble::waylandOnly:
        return QStringLiteral("Горячие клавиши не работают в сеансе Wayland — см. «Разрешения…»");
    case HotkeyTrouble::noExtensions:
        return QStringLiteral("Горячие клавиши не работают: у дисплея нет XTEST или XInput 2.2 — см. «Разрешения…»");
    case HotkeyTrouble::comboTaken:
        return QStringLiteral("Сочетание %1 занято другой программой — см. «Разрешения…»").arg(toggleTitle);
    }
    return {};
}

QString serverLine(const TrayMenuTexts::Facts& facts)
{
    switch (facts.server.kind) {
    case WhisperServer::State::stopped:
        return QStringLiteral("Сервер остановлен");
    case WhisperServer::State::starting:
        return QStringLiteral("Загружаю модель в память…");
    case WhisperServer::State::failed:
        return QStringLiteral("Ошибка сервера: ") + facts.server.message;
    case WhisperServer::State::ready:
        break;
    }
    const QString language = facts.language == QLatin1String("ru") ? QStringLiteral("русский") : facts.language;
    return QStringLiteral("Готов · %1 · %2").arg(facts.modelTitle, language);
}

} // namespace

namespace TrayMenuTexts
{

QString statusLine(const Facts& facts)
{
    if (facts.downloadFraction)
        return QStringLiteral("Модель загружается: %1%").arg(static_cast<int>(*facts.downloadFraction * 100));
    if (!facts.modelPresent)
        return QStringLiteral("Модель не загружена — загрузить");
    if (facts.recording)
        return QStringLiteral("● Идёт запись…");
    if (facts.transcribing)
        return QStringLiteral("Распознаю…");
    if (facts.hotkeys != HotkeyTrouble::none)
        return hotkeyLine(facts.hotkeys, facts.toggleTitle);
    if (facts.gigaam)
        return QStringLiteral("Готов · GigaAM-v3 (Сбер) · русский");
    return serverLine(facts);
}

bool offersDownload(const Facts& facts)
{
    return !facts.downloadFraction && !facts.modelPresent;
}

QString historyTitle(const QString& entry)
{
    QString title = entry;
    if (title.size() > historyTitleLength) {
        // Never half of a character written as a surrogate pair.
        const qsizetype cut =
            title.at(historyTitleLength - 1).isHighSurrogate() ? historyTitleLength - 1 : historyTitleLength;
        title = title.left(cut) + QChar(0x2026);
    }
    // A single & would make the next letter a keyboard accelerator and vanish.
    return title.replace(u'&', QStringLiteral("&&"));
}

} // namespace TrayMenuTexts
