#include "dictation/HotkeyManager.h"

#include "core/Log.h"
#include "core/SettingsStore.h"
#include "platform/DesktopSession.h"
#include "platform/PortalShortcuts.h"

#include <QPointer>

namespace
{

const QString portalToggle = QStringLiteral("toggle");
const QString portalPushToTalk = QStringLiteral("push-to-talk");

const Keys::Combination finishCombination{Keys::returnKey, Keys::none};
const Keys::Combination keypadFinishCombination{Keys::keypadEnter, Keys::none};

// Esc cancels a recording whatever modifiers are held: one grab for each set of them.
std::vector<Keys::Combination> cancelCombinations()
{
    constexpr Keys::Modifiers all = Keys::shift | Keys::control | Keys::alt | Keys::super;
    std::vector<Keys::Combination> combinations;
    for (Keys::Modifiers held = Keys::none; held <= all; ++held)
        combinations.push_back({Keys::escape, held});
    return combinations;
}

bool isCancel(const Keys::Combination& combination)
{
    return combination.key == Keys::escape;
}

bool rightCtrlChosen()
{
    return SettingsStore::shared().stringForKey(SettingsKey::pttKey) == QLatin1String("rightCtrl");
}

bool isPushToTalkKey(Keys::Keysym key)
{
    // Every key of the session comes here: the settings file is asked only about the two candidates.
    const bool rightAlt = key == Keys::rightAlt || key == Keys::isoLevel3Shift;
    if (!rightAlt && key != Keys::rightControl)
        return false;
    return rightAlt != rightCtrlChosen();
}

QString keyTitle(Keys::Keysym key)
{
    switch (key) {
    case Keys::space:
        return QStringLiteral("Пробел");
    case Keys::returnKey:
        return QStringLiteral("Enter");
    case Keys::keypadEnter:
        return QStringLiteral("Enter (цифровой блок)");
    case Keys::escape:
        return QStringLiteral("Esc");
    case Keys::f6:
        return QStringLiteral("F6");
    default:
        return key < 0x80 ? QString(QChar(key)).toUpper() : QStringLiteral("0x%1").arg(key, 0, 16);
    }
}

} // namespace

const Keys::Combination HotkeyManager::learnCombination{Keys::space, Keys::control | Keys::shift};

const std::vector<HotkeyManager::Preset>& HotkeyManager::presets()
{
    static const std::vector<Preset> rows{
        {QLatin1String("cmdShiftSpace"),
         QStringLiteral("Super+Shift+Пробел"),
         {Keys::space, Keys::super | Keys::shift}},
        {QLatin1String("optSpace"), QStringLiteral("Alt+Пробел"), {Keys::space, Keys::alt}},
        {QLatin1String("f6"), QStringLiteral("F6"), {Keys::f6, Keys::none}},
        {QLatin1String("off"), QStringLiteral("Выключен"), {}, false},
    };
    return rows;
}

const HotkeyManager::Preset* HotkeyManager::activePreset()
{
    const QString identifier =
        SettingsStore::shared().stringForKey(SettingsKey::togglePreset).value_or(QStringLiteral("cmdShiftSpace"));
    for (const Preset& preset : presets()) {
        if (preset.identifier == identifier)
            return &preset;
    }
    return nullptr;
}

QString HotkeyManager::title(const Keys::Combination& combination)
{
    QStringList parts;
    if (combination.modifiers & Keys::control)
        parts << QStringLiteral("Ctrl");
    if (combination.modifiers & Keys::super)
        parts << QStringLiteral("Super");
    if (combination.modifiers & Keys::alt)
        parts << QStringLiteral("Alt");
    if (combination.modifiers & Keys::shift)
        parts << QStringLiteral("Shift");
    parts << keyTitle(combination.key);
    return parts.join(QLatin1Char('+'));
}

QString HotkeyManager::pushToTalkTitle()
{
    return rightCtrlChosen() ? QStringLiteral("правый Ctrl") : QStringLiteral("правый Alt");
}

HotkeyManager::HotkeyManager(std::unique_ptr<KeyboardHook> hook, QObject* parent)
    : QObject(parent), hook_(std::move(hook))
{}

HotkeyManager::~HotkeyManager() = default;

bool HotkeyManager::startIfPossible()
{
    if (active_)
        return true;
    if (!hook_ || !hook_->start())
        return false;
    hook_->onKey = [this](const KeyboardHook::KeyEvent& event) { handleKey(event); };
    hook_->onCombination = [this](const Keys::Combination& combination) { handleCombination(combination); };
    active_ = true;
    Log::info(QStringLiteral("Горячие клавиши активны"));
    if (DesktopSession::isWayland())
        Log::info(QStringLiteral("Сеанс Wayland: клавиши Толвана (переключатель, правый Alt, Enter и Esc) действуют, "
                                 "только пока в фокусе окно программы X11; для окон Wayland назначьте в настройках "
                                 "рабочего стола сочетания на «tolvan --toggle» и «tolvan --cancel»"));
    refreshGrabs();
    if (DesktopSession::isWayland())
        startPortalShortcuts();
    return true;
}

void HotkeyManager::startPortalShortcuts()
{
    if (portal_)
        return;
    portal_ = std::make_unique<PortalShortcuts>();
    portal_->onBound = [this](const QVariantMap& triggers) {
        const auto described = [&triggers](const QString& id) {
            const QString trigger = triggers.value(id).toString();
            return !triggers.contains(id) ? QStringLiteral("не назначено")
                   : trigger.isEmpty() ? QStringLiteral("назначается в настройках рабочего стола")
                                       : trigger;
        };
        Log::info(
            QStringLiteral("Горячие клавиши: портал GlobalShortcuts (начать или закончить диктовку: %1; рация: %2)")
                .arg(described(portalToggle), described(portalPushToTalk)));
        portalTriggers_ = triggers;
        portalAnswered_ = true;
        if (onOfferChanged)
            onOfferChanged();
    };
    portal_->onUnavailable = [this](const QString& reason) {
        Log::info(QStringLiteral("Портал GlobalShortcuts не используется: ") + reason);
        portalAnswered_ = true;
        if (onOfferChanged)
            onOfferChanged();
    };
    portal_->onActivated = [this](const QString& id) { portalShortcut(id, true); };
    portal_->onDeactivated = [this](const QString& id) { portalShortcut(id, false); };
    const Preset* toggle = activePreset();
    // The desktop cannot take a lone modifier (the right Alt) as a shortcut: the user picks push-to-talk's key.
    portal_->start({{portalToggle, QStringLiteral("Начать или закончить диктовку"),
                     toggle && toggle->enabled ? PortalShortcuts::trigger(toggle->combination) : QString()},
                    {portalPushToTalk, QStringLiteral("Диктовать, пока клавиша нажата"), QString()}});
}

HotkeyManager::Offer HotkeyManager::offer() const
{
    if (portalTriggers_)
        return {Offer::portal, portalTriggers_->value(portalToggle).toString(),
                portalTriggers_->value(portalPushToTalk).toString()};
    if (DesktopSession::isWayland())
        return {Offer::commands, {}, {}};
    if (!active_)
        return {Offer::none, {}, {}};
    const Preset* toggle = activePreset();
    return {Offer::keys, toggle && toggle->enabled ? toggle->title : QString(),
            SettingsStore::shared().boolForKey(SettingsKey::pttEnabled) ? pushToTalkTitle() : QString()};
}

QString HotkeyManager::describe(const Offer& offer)
{
    const auto bound = [](const QString& keys) {
        return keys.isEmpty() ? QStringLiteral("назначается в настройках рабочего стола") : keys;
    };
    switch (offer.kind) {
    case Offer::keys:
        return (offer.toggle.isEmpty() ? QStringLiteral("Переключатель диктовки выключен")
                                       : QStringLiteral("Начать и закончить диктовку — %1").arg(offer.toggle)) +
               (offer.pushToTalk.isEmpty() ? QString()
                                           : QStringLiteral("; рация — удержание: %1").arg(offer.pushToTalk)) +
               QStringLiteral(". Enter заканчивает запись, Esc отменяет.");
    case Offer::portal:
        return QStringLiteral("Сочетания назначены через рабочий стол: начать и закончить диктовку — %1; рация — %2. "
                              "Отменить запись — командой «tolvan --cancel».")
            .arg(bound(offer.toggle), bound(offer.pushToTalk));
    case Offer::commands:
        return QStringLiteral("Клавиши Толвана, Enter и Esc действуют только в программах X11. Назначьте в настройках "
                              "рабочего стола сочетания на команды «tolvan --toggle» (начать и закончить диктовку) и "
                              "«tolvan --cancel» (отменить запись).");
    case Offer::none:
        break;
    }
    return QStringLiteral("Горячие клавиши не работают: нет дисплея X11 с расширениями XTEST и XInput 2.2.");
}

void HotkeyManager::portalShortcut(const QString& id, bool pressed)
{
    if (id == portalToggle && pressed)
        run(onToggle);
    else if (id == portalPushToTalk && pressed)
        pushToTalkPressed();
    else if (id == portalPushToTalk)
        pushToTalkReleased();
}

std::vector<Keys::Combination> HotkeyManager::wantedGrabs() const
{
    std::vector<Keys::Combination> wanted;
    if (const Preset* preset = activePreset(); preset && preset->enabled)
        wanted.push_back(preset->combination);
    if (recording()) {
        wanted.push_back(finishCombination);
        wanted.push_back(keypadFinishCombination);
        for (const Keys::Combination& cancel : cancelCombinations())
            wanted.push_back(cancel);
    } else {
        wanted.push_back(learnCombination);
    }
    return wanted;
}

void HotkeyManager::refreshGrabs()
{
    if (!active_)
        return;
    QStringList unavailable;
    for (const Keys::Combination& refused : hook_->setGrabs(wantedGrabs())) {
        // Esc with modifiers that another program acts on stays that program's; plain Esc is what counts.
        if (!isCancel(refused) || refused.modifiers == Keys::none)
            unavailable << title(refused);
    }
    if (unavailable != unavailable_ && !unavailable.isEmpty())
        reportUnavailable(unavailable);
    unavailable_ = unavailable;
}

void HotkeyManager::reportUnavailable(const QStringList& titles)
{
    // XWayland's keys are the session's to give (its keymap is the seat's, which may lack a key): no other program
    // needs to hold them, and the start has said what to expect. Once is enough.
    if (!DesktopSession::isWayland()) {
        Log::info(QStringLiteral("Сочетание занято другой программой: ") + titles.join(QStringLiteral(", ")));
    } else if (!refusalReported_) {
        refusalReported_ = true;
        Log::info(QStringLiteral("XWayland не дал Толвану сочетания: ") + titles.join(QStringLiteral(", ")));
    }
}

void HotkeyManager::run(const std::function<void()>& callback)
{
    const QPointer<HotkeyManager> self(this);
    if (callback)
        callback();
    if (self)
        refreshGrabs();
}

void HotkeyManager::handleCombination(const Keys::Combination& combination)
{
    const bool isRecordingNow = recording();
    if ((combination == finishCombination || combination == keypadFinishCombination) && isRecordingNow) {
        run(onDone);
    } else if (combination == learnCombination && !isRecordingNow) {
        run(onLearn);
    } else if (isCancel(combination) && isRecordingNow) {
        run(onCancel);
    } else if (const Preset* preset = activePreset(); preset && preset->enabled && preset->combination == combination) {
        run(onToggle);
    } else {
        // Grabbed for a state that has just ended.
        refreshGrabs();
    }
}

void HotkeyManager::handleKey(const KeyboardHook::KeyEvent& event)
{
    if (isPushToTalkKey(event.key)) {
        if (event.pressed)
            pushToTalkPressed();
        else
            pushToTalkReleased();
        return;
    }
    if (!event.pressed || event.modifierKey)
        return;
    if (pushToTalkDown_) {
        otherKeyWhileHold_ = true;
        holdWork_.cancel();
    }
    if (pttActive_) {
        pttActive_ = false;
        run(onPTTChord);
    }
    if (!recording() && !event.synthetic && onUserTyping)
        onUserTyping();
}

void HotkeyManager::pushToTalkPressed()
{
    if (pushToTalkDown_)
        return;
    pushToTalkDown_ = true;
    otherKeyWhileHold_ = false;
    if (!SettingsStore::shared().boolForKey(SettingsKey::pttEnabled) || recording())
        return;
    holdWork_.schedule(holdDelayMs, [this] { holdElapsed(); });
}

void HotkeyManager::pushToTalkReleased()
{
    if (!pushToTalkDown_)
        return;
    pushToTalkDown_ = false;
    holdWork_.cancel();
    if (pttActive_) {
        pttActive_ = false;
        run(onPTTEnd);
    }
}

void HotkeyManager::holdElapsed()
{
    if (!pushToTalkDown_ || otherKeyWhileHold_ || pttActive_)
        return;
    pttActive_ = true;
    run(onPTTBegin);
}
