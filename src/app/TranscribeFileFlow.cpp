#include "app/TranscribeFileFlow.h"

#include "core/AlertPresenter.h"
#include "core/Log.h"
#include "core/SettingsStore.h"
#include "dictation/DictationController.h"
#include "dictation/TextInserter.h"

#include <QDir>
#include <QFileDialog>
#include <QTimer>

const QString TranscribeFileFlow::dialogFilter =
    QStringLiteral("Аудио (*.wav *.flac *.ogg *.opus *.mp3 *.m4a);;Все файлы (*)");

TranscribeFileFlow::TranscribeFileFlow(DictationController& dictations, QObject* parent)
    : QObject(parent), dictations_(dictations), recognition_(dictations.engines())
{
    recognition_.onProgress = [this](std::size_t recognized, std::size_t total) {
        const int percent = total == 0 ? 100 : int(recognized * 100 / total);
        showInPanel(QStringLiteral("Распознаю файл: %1 %").arg(percent), false);
    };
}

void TranscribeFileFlow::start()
{
    const QString path =
        QFileDialog::getOpenFileName(nullptr, QStringLiteral("Распознать аудиофайл"), QDir::homePath(), dialogFilter);
    if (!path.isEmpty())
        recognize(path);
}

void TranscribeFileFlow::stop()
{
    if (!running())
        return;
    recognition_.cancel();
    showInPanel(QStringLiteral("Распознавание файла остановлено"), true);
}

void TranscribeFileFlow::recognize(const QString& path)
{
    showInPanel(QStringLiteral("Распознаю файл: 0 %"), false);
    recognition_.start(path, [this](const Result<QString>& text) { finished(text); });
}

void TranscribeFileFlow::finished(const Result<QString>& text)
{
    if (!text) {
        if (dictations_.phase() == DictationController::Phase::idle)
            dictations_.display().hide();
        // Out of the recognition's completion: the alert runs a modal loop.
        QTimer::singleShot(0, this, [this, error = text.error()] { showFailure(error); });
        return;
    }
    if (text.value().isEmpty()) {
        showInPanel(QStringLiteral("В файле не распознано речи"), true);
        return;
    }
    SettingsStore::shared().prependToHistory(text.value());
    TextInserter::copyRaw(text.value());
    showInPanel(QStringLiteral("Текст файла скопирован"), true);
}

void TranscribeFileFlow::showInPanel(const QString& message, bool transient)
{
    if (dictations_.phase() != DictationController::Phase::idle) {
        Log::info(QStringLiteral("Сообщение о файле не показано во время диктовки: ") + message);
        return;
    }
    if (transient)
        dictations_.display().flash(message);
    else
        dictations_.display().showProcessing(message);
}

void TranscribeFileFlow::showFailure(const Error& error)
{
    const QString sentence = error.description().left(1).toUpper() + error.description().mid(1);
    AlertPresenter::shared().present(
        Alert{QStringLiteral("Не удалось распознать файл"), sentence, {QStringLiteral("Понятно")}});
}
