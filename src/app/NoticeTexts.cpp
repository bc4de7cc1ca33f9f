#include "app/NoticeTexts.h"

#include "BuildInfo.h"
#include "core/Resources.h"
#include "core/SettingsStore.h"
#include "engines/ModelCatalog.h"
#include "engines/ModelManager.h"
#include "engines/WhisperGpu.h"
#include "platform/DesktopSession.h"
#include "update/UpdateKeys.h"

namespace
{

// How to dictate in a Wayland session: the hotkeys on offer (the commands to bind, desktop by desktop, when there
// are no others), and where the text goes.
QString waylandNotice(const HotkeyManager::Offer& offer)
{
    const QString delivery =
        DesktopSession::deliveryRoute() != DesktopSession::Route::clipboard
            ? QStringLiteral("Текст вставляется и в окна программ Wayland.")
            : QStringLiteral("В окнах программ Wayland текст остаётся в буфере — вставьте его Ctrl+V.");
    const QString howToBind =
        offer.kind != HotkeyManager::Offer::commands
            ? QString()
            : QStringLiteral("• GNOME: Параметры → Клавиатура → Комбинации клавиш → Дополнительные комбинации → «+».\n"
                             "• KDE Plasma: Параметры системы → Комбинации клавиш → Добавить → Команда или скрипт.\n"
                             "• sway: в ~/.config/sway/config строки «bindsym $mod+Shift+space exec tolvan --toggle» и "
                             "«bindsym $mod+Shift+Escape exec tolvan --cancel».\n");
    return QStringLiteral("\n\nУ вас сеанс Wayland. ") + HotkeyManager::describe(offer) + u'\n' + howToBind + delivery;
}

QString howToDictate(const HotkeyManager::Offer& offer, bool tray)
{
    const QString toggle =
        offer.toggle.isEmpty() ? QStringLiteral("сочетание, назначенное на «tolvan --toggle»") : offer.toggle;
    QString text =
        QStringLiteral("Щёлкните туда, где нужен текст, и нажмите %1 — говорите — нажмите его снова или Enter. ")
            .arg(toggle) +
        (offer.pushToTalk.isEmpty() ? QString()
                                    : QStringLiteral("Или держите %1, пока говорите. ").arg(offer.pushToTalk)) +
        QStringLiteral("Esc отменяет запись. ") +
        (tray ? QStringLiteral("Значок Толвана в трее открывает меню.")
              : QStringLiteral("Системного трея здесь нет: меню Толвана — в окне настроек, его открывает "
                               "каждый новый запуск Толвана (например, из меню приложений)."));
    if (DesktopSession::isWayland())
        text += waylandNotice(offer);
    return text;
}

} // namespace

namespace NoticeTexts
{

Alert about(const HotkeyManager::Offer& offer)
{
    const QString text =
        QStringLiteral("Локальная голосовая диктовка для Linux.\nРаспознавание целиком на этом компьютере — без "
                       "интернета и облаков.\n\n"
                       "Открытые компоненты:\n"
                       "• whisper.cpp и модели Whisper (OpenAI) — MIT\n"
                       "• GigaAM-v3 (Сбер) — MIT\n"
                       "• sherpa-onnx — Apache-2.0; ONNX Runtime — MIT\n"
                       "• llama.cpp — MIT; Qwen3 — Apache-2.0\n"
                       "• Qt 6 — LGPL-3.0; ICU — лицензия Unicode\n"
                       "Полные тексты лицензий — в файле «Лицензии»: ") +
        Resources::path(QStringLiteral("Лицензии")) + QStringLiteral("\n\nГорячие клавиши: ") +
        HotkeyManager::describe(offer) +
        QStringLiteral("\n\nГолосовое форматирование: заголовки, абзацы, списки, макросы —\n"
                       "см. «Форматирование» → «Справка по командам…».\n\n"
                       "Ошибки и идеи: меню «Сообщить об ошибке или идее…».\n\n") +
        UpdateKeys::description(QChar(0x00A0));
    return Alert{QStringLiteral("Толван ") + QLatin1String(BuildInfo::shortVersion), text, {QStringLiteral("Закрыть")}};
}

Alert firstRun(const HotkeyManager::Offer& offer, bool tray)
{
    QString text = howToDictate(offer, tray);
    const RecognitionModel model = ModelCatalog::byID(
        SettingsStore::shared().stringForKey(SettingsKey::modelID).value_or(ModelCatalog::defaultModelID()));
    QString title = QStringLiteral("Толван готов к диктовке");
    if (!ModelManager::isDownloaded(model)) {
        const auto progress = ModelManager::shared().progress().value(model.id, 0);
        title = QStringLiteral("Толван загружает модель");
        text = QStringLiteral("Сейчас загружается модель распознавания «%1» (%2 МБ, готово %3%) — ход загрузки виден "
                              "в первой строке меню Толвана. Диктовать можно, как только она загрузится.\n\n")
                   .arg(model.title)
                   .arg(model.sizeMB)
                   .arg(static_cast<int>(progress * 100)) +
               text;
    }
    if (model.id == ModelCatalog::fastModelID() && !WhisperGpu::accelerated())
        text += QStringLiteral("\n\nМодель — GigaAM-v3: без ускорения на видеокарте Whisper Turbo распознаёт "
                               "медленнее, чем вы говорите, а GigaAM — за доли секунды. Turbo можно выбрать в "
                               "настройках, на вкладке «Модель»: «Загрузить», затем «Сделать активной».");
    return Alert{title, text, {QStringLiteral("Понятно")}};
}

} // namespace NoticeTexts
