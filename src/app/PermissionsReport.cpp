#include "app/PermissionsReport.h"

#include "core/AlertPresenter.h"
#include "core/MainThread.h"
#include "core/SettingsStore.h"
#include "platform/DesktopSession.h"
#include "platform/Processes.h"
#include "platform/X11Display.h"

#include <QPointer>
#include <QStandardPaths>
#include <QStringList>
#include <QTimer>

#include <optional>
#include <utility>

namespace
{

// The desktop's sound settings: the program and its arguments, or nothing when none is installed.
std::optional<std::pair<QString, QStringList>> soundSettings()
{
    const std::pair<QString, QStringList> candidates[] = {
        {QStringLiteral("pavucontrol"), {}},
        {QStringLiteral("gnome-control-center"), {QStringLiteral("sound")}},
        {QStringLiteral("systemsettings"), {QStringLiteral("kcm_pulseaudio")}},
    };
    for (const auto& [program, arguments] : candidates) {
        const QString path = QStandardPaths::findExecutable(program);
        if (!path.isEmpty())
            return std::pair{path, arguments};
    }
    return std::nullopt;
}

QString microphoneLine(const QString& source, const std::optional<QString>& failure)
{
    const QString name = source.isEmpty() ? QStringLiteral("Микрофон") : QStringLiteral("Микрофон «%1»").arg(source);
    if (!failure)
        return name + QStringLiteral(": ✓ звуковой сервер отвечает, вход есть");
    return name +
           QStringLiteral(": ✗ %1 — проверьте, что запущен PulseAudio или PipeWire и подключён микрофон").arg(*failure);
}

QString waylandPasteLine()
{
    return QStringLiteral("Вставка: ") +
           (DesktopSession::deliveryRoute() != DesktopSession::Route::clipboard
                ? QStringLiteral("✓ и в окна программ Wayland.")
                : QStringLiteral("✗ в окнах программ Wayland текст остаётся в буфере обмена."));
}

} // namespace

QString PermissionsReport::hotkeysLine(const HotkeyManager::Offer& offer)
{
    switch (offer.kind) {
    case HotkeyManager::Offer::keys:
        return QStringLiteral("Горячие клавиши и вставка: ✓ X11 с XTEST и XInput 2.2. ") +
               HotkeyManager::describe(offer);
    case HotkeyManager::Offer::portal:
        return QStringLiteral("Горячие клавиши: ✓ ") + HotkeyManager::describe(offer) + u'\n' + waylandPasteLine();
    case HotkeyManager::Offer::commands:
        return QStringLiteral("Горячие клавиши: ✗ сеанс Wayland без глобальных сочетаний рабочего стола. ") +
               HotkeyManager::describe(offer) + u'\n' + waylandPasteLine();
    case HotkeyManager::Offer::none:
        break;
    }
    if (!X11Display::isReachable())
        return QStringLiteral("Горячие клавиши и вставка: ✗ нет дисплея X11 — запустите Толван в графическом сеансе.");
    return QStringLiteral("Горячие клавиши и вставка: ✗ у дисплея нет расширений XTEST и XInput 2.2 — "
                          "включите их в X-сервере.");
}

namespace
{

// One opening of the microphone: the first block means it works, an end (the sound server's reason) means
// it does not; whichever comes first answers, once.
struct MicrophoneCheck
{
    std::unique_ptr<MicrophoneCapture> capture;
    QString source;
    std::function<void(const QString&)> answer;

    void finish(const std::optional<QString>& failure)
    {
        if (!answer)
            return;
        capture->stop();
        std::exchange(answer, nullptr)(microphoneLine(source, failure));
    }
};

} // namespace

void PermissionsReport::show(const HotkeyManager::Offer& offer)
{
    if (checking_)
        return;
    checking_ = true;
    checkMicrophone([self = QPointer<PermissionsReport>(this), offer](const QString& line) {
        if (!self)
            return;
        self->checking_ = false;
        self->present(line, offer);
    });
}

void PermissionsReport::checkMicrophone(std::function<void(const QString& line)> answer)
{
    auto check = std::make_shared<MicrophoneCheck>();
    check->capture = makeCapture();
    check->source = SettingsStore::shared().stringForKey(SettingsKey::inputDevice).value_or(QString());
    check->answer = std::move(answer);
    const auto report = [this, weak = std::weak_ptr<MicrophoneCheck>(check)](const std::optional<QString>& failure) {
        MainThread::post(this, [weak, failure] {
            if (const auto alive = weak.lock())
                alive->finish(failure);
        });
    };
    const Result<Done> started = check->capture->start(
        check->source, [report](std::span<const std::int16_t>) { report(std::nullopt); },
        [report](const QString& reason) { report(reason); });
    if (!started) {
        check->finish(started.error().description());
        return;
    }
    QTimer::singleShot(microphoneTimeoutMs, this,
                       [check] { check->finish(QStringLiteral("звуковой сервер не прислал ни одного блока")); });
}

void PermissionsReport::present(const QString& microphoneLine, const HotkeyManager::Offer& offer)
{
    const auto settings = soundSettings();
    QStringList buttons;
    if (settings)
        buttons << QStringLiteral("Настройки звука…");
    buttons << QStringLiteral("Закрыть");
    const QString text = microphoneLine + QLatin1Char('\n') + hotkeysLine(offer) +
                         QStringLiteral("\n\nОтдельных разрешений Linux не спрашивает: микрофон даёт звуковой сервер, "
                                        "клавиши и вставку — сервер X11.");
    const int chosen = AlertPresenter::shared().present(Alert{QStringLiteral("Разрешения"), text, buttons});
    if (settings && chosen == 0)
        Processes::startDetached(settings->first, settings->second);
}
