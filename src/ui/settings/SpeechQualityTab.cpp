#include "ui/settings/SpeechQualityTab.h"

#include "core/AlertPresenter.h"
#include "core/SettingsStore.h"
#include "quality/AdvisorText.h"
#include "ui/Glyphs.h"
#include "ui/NoteLabel.h"
#include "ui/settings/HelpTexts.h"
#include "ui/settings/SettingsWidgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

namespace
{

const QStringList modeIDs{QStringLiteral("off"), QStringLiteral("highlight"), QStringLiteral("autoclean"),
                          QStringLiteral("autopilot")};
const QStringList modeTitles{QStringLiteral("Выключено"), QStringLiteral("Подсвечивать и спрашивать"),
                             QStringLiteral("Автоматически убирать паразитов"),
                             QStringLiteral("Автопилот: ИИ переписывает сам")};
constexpr int highlightIndex = 1;

QString storedMode()
{
    return SettingsStore::shared().stringForKey(SettingsKey::speechQuality).value_or(QStringLiteral("highlight"));
}

QString storedStyle()
{
    return SettingsStore::shared().stringForKey(SettingsKey::advisorStyle).value_or(QStringLiteral("neutral"));
}

QStringList styleTitles()
{
    QStringList titles;
    for (const AdvisorText::Style& style : AdvisorText::styles())
        titles.append(Glyphs::displayable(style.title));
    return titles;
}

int styleIndex(const QString& identifier)
{
    const auto& styles = AdvisorText::styles();
    for (size_t index = 0; index < styles.size(); ++index) {
        if (styles[index].identifier == identifier)
            return static_cast<int>(index);
    }
    return 0;
}

// The autopilot rewrites by itself: it needs a style without a model, or the advisor with its model.
bool autopilotPossible()
{
    return AdvisorText::isAnimalStyle(storedStyle()) ||
           (SettingsStore::shared().boolForKey(SettingsKey::styleAdvisor) && AdvisorEngine::shared().modelDownloaded());
}

QString intensityText(int value)
{
    return QStringLiteral("%1 из 10").arg(value);
}

} // namespace

SpeechQualityTab::SpeechQualityTab(QWidget* parent) : QWidget(parent)
{
    using namespace SettingsWidgets;
    auto* layout = new QVBoxLayout(this);
    modePopup_ = popup(this, "sqPopup", modeTitles);
    layout->addLayout(labelledRow(this, QStringLiteral("Режим:"), modePopup_));
    advisorGroup_ = buildAdvisorGroup();
    layout->addWidget(advisorGroup_);
    layout->addStretch(1);
    connect(modePopup_, &QComboBox::activated, this, &SpeechQualityTab::modeChosen);
}

QWidget* SpeechQualityTab::buildAdvisorGroup()
{
    using namespace SettingsWidgets;
    auto* group = new QWidget(this);
    group->setObjectName(QStringLiteral("advisorGroup"));
    auto* layout = new QVBoxLayout(group);
    layout->setContentsMargins(0, 8, 0, 0);
    layout->addWidget(new QLabel(QStringLiteral("Переписывание фраз — советник в окне разбора и автопилот:"), group));
    advisorCheck_ = check(group, "advisorCheck", QStringLiteral("Советник стиля (локальный ИИ, Qwen3-4B, ~2,4 ГБ)"));
    layout->addWidget(advisorCheck_);
    advisorStatus_ = NoteLabel::make(group, QString());
    advisorStatus_->setObjectName(QStringLiteral("advisorStatus"));
    advisorStatus_->setContentsMargins(22, 0, 0, 0);
    layout->addWidget(advisorStatus_);

    stylePopup_ = popup(group, "stylePopup", styleTitles());
    layout->addLayout(labelledRow(group, QStringLiteral("Стиль:"), stylePopup_));

    intensitySlider_ = new QSlider(Qt::Horizontal, group);
    intensitySlider_->setObjectName(QStringLiteral("intensitySlider"));
    intensitySlider_->setRange(0, SettingsStore::advisorIntensityMaximum);
    intensitySlider_->setSingleStep(1);
    intensitySlider_->setPageStep(1);
    intensitySlider_->setTickInterval(1);
    intensitySlider_->setTickPosition(QSlider::TicksBelow);
    intensitySlider_->setMinimumWidth(260);
    intensityLabel_ = new QLabel(group);
    intensityLabel_->setObjectName(QStringLiteral("intensityLabel"));
    auto* intensityRow = labelledRow(group, QStringLiteral("Вмешательство:"), intensitySlider_);
    intensityRow->insertWidget(2, intensityLabel_);
    layout->addLayout(intensityRow);
    layout->addWidget(
        NoteLabel::make(group, QStringLiteral("0 — только подсветка правилами · 5 — умеренная правка · 10 — полная "
                                              "переработка под стиль. Собака и кошка — мгновенные переводчики, "
                                              "ИИ-модель им не нужна.")));
    auto* rulesButton = button(group, "rulesHelpBtn", QStringLiteral("Что ищет фильтр…"));
    auto* rulesRow = new QHBoxLayout;
    rulesRow->addWidget(rulesButton);
    rulesRow->addStretch(1);
    layout->addLayout(rulesRow);

    connect(advisorCheck_, &QCheckBox::clicked, this, &SpeechQualityTab::advisorToggled);
    connect(stylePopup_, &QComboBox::activated, this, &SpeechQualityTab::styleChosen);
    connect(intensitySlider_, &QSlider::valueChanged, this, &SpeechQualityTab::intensityMoved);
    connect(rulesButton, &QPushButton::clicked, this, [] {
        AlertPresenter::shared().present(
            {QStringLiteral("Что ищет «Грамотная речь»"), HelpTexts::speechRules(), {QStringLiteral("Понятно")}});
    });
    return group;
}

QString SpeechQualityTab::advisorStatus(const AdvisorEngine::State& state, bool advisorEnabled)
{
    // `make run` starts the app before the advisor's server is built, and builds it meanwhile.
    if (advisorEnabled && state.kind != AdvisorEngine::State::downloading && !AdvisorEngine::serverExecutable())
        return QStringLiteral("Сервер советника (llama-server) ещё не собран — советник заработает, когда сборка "
                              "закончится");
    switch (state.kind) {
    case AdvisorEngine::State::downloading:
        return QStringLiteral("Загрузка модели: %1%…").arg(static_cast<int>(state.progress * 100));
    case AdvisorEngine::State::failed:
        return QStringLiteral("Ошибка: ") + state.message;
    case AdvisorEngine::State::noModel:
        return advisorEnabled ? QStringLiteral("Модель не загружена")
                              : QStringLiteral("Выключен — переписанные варианты недоступны");
    case AdvisorEngine::State::idle:
        return QStringLiteral("Модель загружена и готова");
    case AdvisorEngine::State::starting:
    case AdvisorEngine::State::ready:
        return QStringLiteral("Модель работает (выгрузится после 5 минут простоя)");
    }
    return {};
}

void SpeechQualityTab::refresh()
{
    SettingsStore& settings = SettingsStore::shared();
    const QString mode = storedMode();
    const int modeIndex = static_cast<int>(modeIDs.indexOf(mode));
    modePopup_->setCurrentIndex(modeIndex < 0 ? highlightIndex : modeIndex);
    advisorGroup_->setVisible(mode == QLatin1String("highlight") || mode == QLatin1String("autopilot"));

    const bool advisorEnabled = settings.boolForKey(SettingsKey::styleAdvisor);
    advisorCheck_->setChecked(advisorEnabled);
    advisorStatus_->setText(advisorStatus(AdvisorEngine::shared().state(), advisorEnabled));
    stylePopup_->setCurrentIndex(styleIndex(storedStyle()));
    const int intensity = static_cast<int>(settings.integerForKey(SettingsKey::advisorIntensity));
    const QSignalBlocker quiet(intensitySlider_);
    intensitySlider_->setValue(intensity);
    intensityLabel_->setText(intensityText(intensitySlider_->value()));
}

void SpeechQualityTab::modeChosen(int index)
{
    const QString mode = modeIDs.value(index);
    if (mode == QLatin1String("autopilot") && !autopilotPossible()) {
        AlertPresenter::shared().present({QStringLiteral("Автопилоту нужен советник"),
                                          QStringLiteral("Сначала включите «Советник стиля» на этой вкладке — "
                                                         "приложение загрузит ИИ-модель, и автопилот станет доступен."),
                                          {QStringLiteral("Понятно")}});
    } else if (!mode.isEmpty()) {
        SettingsStore::shared().setString(SettingsKey::speechQuality, mode);
    }
    reportChange();
}

void SpeechQualityTab::advisorToggled(bool on)
{
    AdvisorEngine& advisor = AdvisorEngine::shared();
    SettingsStore& settings = SettingsStore::shared();
    if (!on) {
        settings.setBool(SettingsKey::styleAdvisor, false);
        advisor.shutdown();
    } else if (advisor.modelDownloaded()) {
        settings.setBool(SettingsKey::styleAdvisor, true);
    } else {
        const int answer = AlertPresenter::shared().present(
            {QStringLiteral("Включить советника стиля?"),
             QStringLiteral("Модель Qwen3-4B (~2,4 ГБ) будет загружена и займёт около 3 ГБ памяти во время работы "
                            "(выгружается после 5 минут простоя). Всё офлайн."),
             {QStringLiteral("Загрузить и включить"), QStringLiteral("Отмена")}});
        if (answer == 0) {
            settings.setBool(SettingsKey::styleAdvisor, true);
            advisor.downloadModel();
        }
    }
    reportChange();
}

void SpeechQualityTab::styleChosen(int index)
{
    const auto& styles = AdvisorText::styles();
    if (index >= 0 && static_cast<size_t>(index) < styles.size())
        SettingsStore::shared().setString(SettingsKey::advisorStyle, styles[static_cast<size_t>(index)].identifier);
    reportChange();
}

void SpeechQualityTab::intensityMoved(int value)
{
    SettingsStore::shared().setInteger(SettingsKey::advisorIntensity, value);
    intensityLabel_->setText(intensityText(value));
}

void SpeechQualityTab::reportChange()
{
    if (changed)
        changed();
    else
        refresh();
}
