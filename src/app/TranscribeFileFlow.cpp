#include "app/TranscribeFileFlow.h"

#include "core/AlertPresenter.h"
#include "core/SettingsStore.h"
#include "dictation/OverlayHUD.h"
#include "dictation/TextInserter.h"

#include <QDir>
#include <QFileDialog>
#include <QTimer>

const QString TranscribeFileFlow::dialogFilter =
    QStringLiteral("Аудио (*.wav *.flac *.ogg *.opus *.mp3 *.m4a);;Все файлы (*)");

TranscribeFileFlow::TranscribeFileFlow(EngineRouter& engines, OverlayHUD& hud, QObject* parent)
    : QObject(parent), hud_(hud), recognition_(engines)
{
    recognition_.onProgress = [this](std::size_t recognized, std::size_t total) {
        const int percent = total == 0 ? 100 : int(recognized * 100 / total);
        hud_.showProcessing(QStringLiteral("Распознаю файл: %1 %").arg(percent));
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
    hud_.flash(QStringLiteral("Распознавание файла остановлено"));
}

void TranscribeFileFlow::recognize(const QString& path)
{
    hud_.showProcessing(QStringLiteral("Распознаю файл: 0 %"));
    recognition_.start(path, [this](const Result<QString>& text) { finished(text); });
}

void TranscribeFileFlow::finished(const Result<QString>& text)
{
    if (!text) {
        hud_.hide();
        // Out of the recognition's completion: the alert runs a modal loop.
        QTimer::singleShot(0, this, [this, error = text.error()] { showFailure(error); });
        return;
    }
    if (text.value().isEmpty()) {
        hud_.flash(QStringLiteral("В файле не распознано речи"));
        return;
    }
    SettingsStore::shared().prependToHistory(text.value());
    TextInserter::copyRaw(text.value());
    hud_.flash(QStringLiteral("Текст файла скопирован"));
}

void TranscribeFileFlow::showFailure(const Error& error)
{
    const QString sentence = error.description().left(1).toUpper() + error.description().mid(1);
    AlertPresenter::shared().present(
        Alert{QStringLiteral("Не удалось распознать файл"), sentence, {QStringLiteral("Понятно")}});
}
