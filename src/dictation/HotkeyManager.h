#pragma once

#include "core/DelayedCall.h"
#include "platform/KeyboardHook.h"

#include <QLatin1String>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class PortalShortcuts;

// Turns a few keys of the whole session into dictation commands: the configurable toggle hotkey,
// push-to-talk on a clean hold of its key (the right Alt, or the right Ctrl for layouts where the right Alt is AltGr),
// Enter to finish and Esc (with any modifiers held) to
// cancel while recording, Ctrl+Shift+Space to learn a word, and a notice when the user types. Only the
// combinations that act at the moment are swallowed; every other key reaches the focused application. In a Wayland
// session, where those keys reach only X11 windows, the toggle and push-to-talk are also bound through the desktop
// portal when it offers global shortcuts. Lives on the main thread.
class HotkeyManager : public QObject
{
    Q_OBJECT

public:
    struct Preset
    {
        QLatin1String identifier;
        QString title;
        Keys::Combination combination;
        bool enabled = true;
    };

    static constexpr int holdDelayMs = 300;

    // What starts and ends a dictation in this session: every place that tells the user about hotkeys reads it.
    struct Offer
    {
        enum Kind
        {
            // Our own keys (X11).
            keys,
            // Shortcuts bound through the desktop portal.
            portal,
            // Only the commands (tolvan --toggle …) bound by the user: a Wayland session without the portal's.
            commands,
            // No display whose keys we could take.
            none,
        };
        Kind kind = none;
        // The keys as the user knows them; empty where none is bound.
        QString toggle;
        QString pushToTalk;

        bool operator==(const Offer&) const = default;
    };

    // The toggle presets selectable with "togglePreset".
    static const std::vector<Preset>& presets();
    // The preset named by "togglePreset" ("cmdShiftSpace" when never set); null for an unknown name.
    static const Preset* activePreset();
    // "Ctrl+Shift+Пробел" and the like.
    static QString title(const Keys::Combination& combination);
    static const Keys::Combination learnCombination;
    // The push-to-talk key chosen in the settings ("pttKey"), as the user calls it.
    static QString pushToTalkTitle();
    // The active layout makes the right Alt key AltGr, which typists hold for their marks: another push-to-talk key
    // serves them better.
    bool rightAltIsAltGr() const { return active_ && hook_->rightAltIsAltGr(); }

    explicit HotkeyManager(std::unique_ptr<KeyboardHook> hook = KeyboardHook::createDefault(),
                           QObject* parent = nullptr);
    ~HotkeyManager() override;

    // Connects to the keyboard once; false while no usable display exists (the owner retries).
    bool startIfPossible();
    bool isActive() const { return active_; }
    // Grabs exactly the combinations that act now. The owner calls it whenever the recording starts or
    // ends for another reason than these keys, and after the toggle preset changes.
    void refreshGrabs();
    // The titles of wanted combinations that another program owns, as of the last refresh.
    QStringList unavailableShortcuts() const { return unavailable_; }
    // Binds the toggle and push-to-talk through the portal's global shortcuts, if it has them; startIfPossible does
    // it in a Wayland session. Returns at once; the log says what came of it.
    void startPortalShortcuts();
    Offer offer() const;
    // The portal has been asked and has not answered yet: the offer may still change.
    bool offerPending() const { return portal_ && !portalAnswered_; }
    // One paragraph on the offer, in the user's words.
    static QString describe(const Offer& offer);
    // Told when the offer changes after the start (the portal has bound the shortcuts, or is not there).
    std::function<void()> onOfferChanged;

    std::function<void()> onToggle, onPTTBegin, onPTTEnd, onCancel, onDone, onLearn, onUserTyping;
    // A key pressed while right Alt is held past the hold delay: the hold was a chord (AltGr of a typographic
    // layout, Birman's among them), and the recording it started is the user's by mistake.
    std::function<void()> onPTTChord;
    std::function<bool()> isRecording = [] { return false; };

private:
    void handleKey(const KeyboardHook::KeyEvent& event);
    void handleCombination(const Keys::Combination& combination);
    // The push-to-talk key: the chosen key, or the portal's shortcut.
    void pushToTalkPressed();
    void pushToTalkReleased();
    void portalShortcut(const QString& id, bool pressed);
    void holdElapsed();
    bool recording() const { return isRecording && isRecording(); }
    // Runs a command callback, then grabs what acts in the state the command left.
    void run(const std::function<void()>& callback);
    std::vector<Keys::Combination> wantedGrabs() const;
    void reportUnavailable(const QStringList& titles);

    std::unique_ptr<KeyboardHook> hook_;
    bool active_ = false;
    std::unique_ptr<PortalShortcuts> portal_;
    bool pushToTalkDown_ = false;
    bool otherKeyWhileHold_ = false;
    bool pttActive_ = false;
    DelayedCall holdWork_;
    QStringList unavailable_;
    bool refusalReported_ = false;
    // The portal's triggers by shortcut id, once it has bound them.
    std::optional<QVariantMap> portalTriggers_;
    bool portalAnswered_ = false;
};
