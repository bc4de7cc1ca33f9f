#include "engines/RecognitionSpeed.h"

#include "core/Log.h"
#include "core/SettingsStore.h"
#include "engines/ModelCatalog.h"

#include <QLocale>

#include <algorithm>
#include <mutex>

namespace
{

// The newest recognitions weigh this share at least, so that the figure follows a machine that got busier.
constexpr int smoothingSpan = 5;
const QChar separator = QLatin1Char('\t');

// Read, changed and written as one, as two recognitions may end at once.
std::mutex& storeMutex()
{
    static std::mutex mutex;
    return mutex;
}

// Each entry: "<model id>\t<factor>\t<recognitions>".
QStringList entries()
{
    return SettingsStore::shared().stringArrayForKey(SettingsKey::recognitionSpeeds);
}

qsizetype indexOf(const QStringList& list, const QString& modelID)
{
    for (qsizetype index = 0; index < list.size(); ++index) {
        if (list[index].section(separator, 0, -3) == modelID)
            return index;
    }
    return -1;
}

std::optional<RecognitionSpeed::Figure> parse(const QString& entry)
{
    bool factorRead = false;
    bool countRead = false;
    const double factor = entry.section(separator, -2, -2).toDouble(&factorRead);
    const int count = entry.section(separator, -1).toInt(&countRead);
    if (!factorRead || !countRead || factor < 0 || count < 1)
        return std::nullopt;
    return RecognitionSpeed::Figure{factor, count};
}

QString decimal(double value)
{
    return QLocale(QLocale::Russian).toString(value, 'f', value < 0.095 ? 2 : 1);
}

} // namespace

namespace RecognitionSpeed
{

void record(const QString& modelID, qint64 audioMs, qint64 workMs)
{
    if (audioMs <= 0 || workMs < 0)
        return;
    const double factor = static_cast<double>(workMs) / static_cast<double>(audioMs);
    const std::lock_guard lock(storeMutex());
    QStringList list = entries();
    const qsizetype index = indexOf(list, modelID);
    Figure figure{factor, 1};
    if (const std::optional<Figure> old = index < 0 ? std::nullopt : parse(list[index])) {
        figure.recognitions = old->recognitions + 1;
        figure.factor = old->factor + (factor - old->factor) / std::min(figure.recognitions, smoothingSpan);
    }
    const QString entry =
        modelID + separator + QString::number(figure.factor, 'g', 4) + separator + QString::number(figure.recognitions);
    if (index < 0)
        list.append(entry);
    else
        list[index] = entry;
    SettingsStore::shared().setStringArray(SettingsKey::recognitionSpeeds, list);
}

std::optional<Figure> of(const QString& modelID)
{
    const QStringList list = entries();
    const qsizetype index = indexOf(list, modelID);
    return index < 0 ? std::nullopt : parse(list[index]);
}

bool slowerThanSpeech(const QString& modelID)
{
    const std::optional<Figure> figure = of(modelID);
    return figure && figure->recognitions >= measuredAfter && figure->factor > 1;
}

QString describe(const QString& modelID)
{
    const std::optional<Figure> figure = of(modelID);
    if (!figure)
        return QStringLiteral("скорость не измерена");
    if (figure->factor > 1)
        return QStringLiteral("медленнее речи: %1×").arg(decimal(figure->factor));
    return QStringLiteral("≈ %1× длительности речи").arg(decimal(figure->factor));
}

std::optional<QString> firstSlowNotice(const QString& modelID)
{
    if (!slowerThanSpeech(modelID))
        return std::nullopt;
    {
        const std::lock_guard lock(storeMutex());
        QStringList told = SettingsStore::shared().stringArrayForKey(SettingsKey::slowModelsTold);
        if (told.contains(modelID))
            return std::nullopt;
        told.append(modelID);
        SettingsStore::shared().setStringArray(SettingsKey::slowModelsTold, told);
    }
    const RecognitionModel model = ModelCatalog::byID(modelID);
    const RecognitionModel fast = ModelCatalog::byID(ModelCatalog::fastModelID());
    QString advice = QStringLiteral("выберите модель побыстрее в настройках, на вкладке «Модель»");
    if (model.id != fast.id && fast.engine != model.engine)
        advice = QStringLiteral("для русской речи быстрее «%1» — её можно выбрать в настройках, на вкладке «Модель»")
                     .arg(fast.title);
    const QString notice = QStringLiteral("Модель распознаёт медленнее, чем вы говорите: «%1» тратит %2× "
                                          "длительности речи; %3.")
                               .arg(model.title, decimal(of(modelID)->factor), advice);
    Log::info(notice);
    return notice;
}

} // namespace RecognitionSpeed
