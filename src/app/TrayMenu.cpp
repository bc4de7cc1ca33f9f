#include "app/TrayMenu.h"

#include "app/CorrectionSuggestions.h"
#include "app/LearnWordFlow.h"
#include "app/TranscribeFileFlow.h"
#include "core/SettingsStore.h"
#include "dictation/DictationController.h"
#include "dictation/HotkeyManager.h"
#include "dictation/TextInserter.h"
#include "engines/ModelCatalog.h"
#include "engines/ModelManager.h"
#include "platform/X11Display.h"
#include "ui/FeedbackWindow.h"
#include "ui/HistoryWindow.h"
#include "ui/MacroEditor.h"
#include "update/Updater.h"
#include "voice/VoiceDetector.h"

#include <QApplication>

TrayMenu::TrayMenu(DictationController& dictations, HotkeyManager& hotkeys, TranscribeFileFlow& transcribeFile,
                   LearnWordFlow& learnWord, CorrectionSuggestions& suggestions, Actions actions)
    : dictations_(dictations), hotkeys_(hotkeys), transcribeFile_(transcribeFile), learnWord_(learnWord),
      suggestions_(suggestions), actions_(std::move(actions))
{
    connect(&menu_, &QMenu::aboutToShow, this, &TrayMenu::refresh);
    refresh();
}

void TrayMenu::refresh()
{
    menu_.clear();
    const TrayMenuTexts::Facts facts = this->facts();
    QAction* status = menu_.addAction(TrayMenuTexts::statusLine(facts));
    if (TrayMenuTexts::offersDownload(facts))
        connect(status, &QAction::triggered, &dictations_, &DictationController::startServer);
    else
        status->setEnabled(false);
    if (VoiceDetector::shared().problem())
        menu_.addAction(TrayMenuTexts::noVoiceDetector)->setEnabled(false);
    const bool recording = dictations_.phase() == DictationController::Phase::recording;
    menu_.addAction(recording ? QStringLiteral("Остановить и распознать") : QStringLiteral("Начать диктовку"), this,
                    [this] { actions_.toggleDictation(); });
    if (const int kept = dictations_.keptCount(); kept > 0) {
        menu_.addAction(QStringLiteral("Распознать сохранённую запись (%1)").arg(kept), &dictations_,
                        &DictationController::recognizeSavedRecording);
    }
    if (transcribeFile_.running())
        menu_.addAction(QStringLiteral("Остановить распознавание файла"), &transcribeFile_, &TranscribeFileFlow::stop);
    else
        menu_.addAction(QStringLiteral("Распознать аудиофайл…"), &transcribeFile_, &TranscribeFileFlow::start);
    menu_.addSeparator();
    QAction* settings = menu_.addAction(QStringLiteral("Настройки…"), this, [this] { actions_.openSettings(); });
    settings->setShortcut(QKeySequence(QStringLiteral("Ctrl+,")));
    menu_.addAction(QStringLiteral("Макросы…"), this, [] { MacroEditor::shared().open(); });
    menu_.addAction(QStringLiteral("Выучить слово из выделенного   Ctrl+Shift+Пробел"), &learnWord_,
                    &LearnWordFlow::start);
    addSuggestions();
    addHistory();
    menu_.addSeparator();
    addUpdateItem();
    menu_.addAction(QStringLiteral("Разрешения…"), this, [this] { actions_.showPermissions(); });
    menu_.addAction(QStringLiteral("Сообщить об ошибке или идее…"), this,
                    [] { FeedbackWindow::shared().showWindow(); });
    menu_.addAction(QStringLiteral("О программе"), this, [this] { actions_.showAbout(); });
    menu_.addSeparator();
    QAction* quit = menu_.addAction(QStringLiteral("Выйти"), qApp, &QApplication::quit);
    quit->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
}

TrayMenuTexts::Facts TrayMenu::facts() const
{
    TrayMenuTexts::Facts facts;
    const RecognitionModel model = ModelCatalog::byID(
        SettingsStore::shared().stringForKey(SettingsKey::modelID).value_or(ModelCatalog::defaultModelID()));
    if (const auto progress = ModelManager::shared().progress().find(model.id);
        progress != ModelManager::shared().progress().end())
        facts.downloadFraction = progress.value();
    facts.modelPresent = ModelManager::isDownloaded(model);
    facts.recording = dictations_.phase() == DictationController::Phase::recording;
    facts.transcribing = dictations_.phase() == DictationController::Phase::transcribing;
    const HotkeyManager::Preset* toggle = HotkeyManager::activePreset();
    facts.toggleTitle = toggle ? toggle->title : QString();
    const HotkeyManager::Offer offer = hotkeys_.offer();
    if (offer.kind == HotkeyManager::Offer::commands)
        facts.hotkeys = TrayMenuTexts::HotkeyTrouble::waylandOnly;
    else if (offer.kind == HotkeyManager::Offer::none)
        facts.hotkeys = X11Display::isReachable() ? TrayMenuTexts::HotkeyTrouble::noExtensions
                                                  : TrayMenuTexts::HotkeyTrouble::noDisplay;
    else if (offer.kind == HotkeyManager::Offer::keys && hotkeys_.unavailableShortcuts().contains(facts.toggleTitle))
        facts.hotkeys = TrayMenuTexts::HotkeyTrouble::comboTaken;
    facts.gigaam = model.engine == EngineKind::gigaam;
    facts.server = dictations_.whisperServer().state();
    facts.modelTitle = model.title;
    facts.language = SettingsStore::shared().stringForKey(SettingsKey::language).value_or(QStringLiteral("ru"));
    return facts;
}

void TrayMenu::addSuggestions()
{
    for (const CorrectionPair& pair : suggestions_.pending()) {
        const QString words = QStringLiteral("%1 → %2").arg(pair.wrong, pair.right);
        menu_.addAction(QStringLiteral("Запомнить: ") + words, &suggestions_,
                        [this, pair] { suggestions_.accept(pair); });
        menu_.addAction(QStringLiteral("Не предлагать: ") + words, &suggestions_,
                        [this, pair] { suggestions_.decline(pair); });
    }
}

void TrayMenu::addHistory()
{
    QMenu* history = &historyMenu_;
    history->clear();
    history->setTitle(QStringLiteral("История (клик — скопировать)"));
    menu_.addMenu(history);
    const QStringList entries = SettingsStore::shared().history().mid(0, SettingsStore::historyLimit);
    if (entries.isEmpty())
        history->addAction(QStringLiteral("Пусто"))->setEnabled(false);
    for (const QString& entry : entries) {
        history->addAction(TrayMenuTexts::historyTitle(entry), this, [entry] { TextInserter::copyRaw(entry); });
    }
    history->addSeparator();
    history->addAction(QStringLiteral("Исправить в истории…"), this, [] { HistoryWindow::shared().showWindow(); })
        ->setEnabled(!entries.isEmpty());
}

void TrayMenu::addUpdateItem()
{
    const Updater::State& state = Updater::shared().state();
    switch (state.kind) {
    case Updater::State::Kind::idle:
        menu_.addAction(QStringLiteral("Проверить обновления…"), this, [] { Updater::shared().check(true); });
        return;
    case Updater::State::Kind::checking:
        menu_.addAction(QStringLiteral("Проверяю обновления…"))->setEnabled(false);
        return;
    case Updater::State::Kind::downloading:
        menu_.addAction(QStringLiteral("Загрузка обновления: %1%").arg(static_cast<int>(state.fraction * 100)))
            ->setEnabled(false);
        return;
    case Updater::State::Kind::installing:
        menu_.addAction(QStringLiteral("Устанавливаю обновление…"))->setEnabled(false);
        return;
    }
}
