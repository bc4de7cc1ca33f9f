#include "ui/settings/FormattingTab.h"

#include "core/AlertPresenter.h"
#include "core/SettingsStore.h"
#include "text/MacroStore.h"
#include "ui/MacroEditor.h"
#include "ui/settings/HelpTexts.h"
#include "ui/settings/SettingsBindings.h"
#include "ui/settings/SettingsWidgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

FormattingTab::FormattingTab(SettingsBindings& bindings)
{
    using namespace SettingsWidgets;
    QWidget* tab = this;
    auto* layout = new QVBoxLayout(tab);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->setSpacing(10);
    layout->addWidget(bindings.check(
        tab, "commandsCheck", QStringLiteral("Умные команды и макросы («новый абзац», «заголовок: …», «подпись»)"),
        SettingsKey::formattingEnabled));
    layout->addWidget(bindings.check(tab, "autoFmtCheck",
                                     QStringLiteral("Авторазметка по паузам и контексту (эксперимент)"),
                                     SettingsKey::autoFormat));
    QComboBox* format = bindings.popup(
        tab, "formatPopup", {QStringLiteral("Markdown (## заголовки, - списки)"), QStringLiteral("Обычный текст")},
        SettingsKey::outputFormat, {QStringLiteral("markdown"), QStringLiteral("plain")});
    layout->addLayout(labelledRow(tab, QStringLiteral("Формат вывода:"), format));
    layout->addWidget(new QLabel(QStringLiteral("Типографика (кроме кода, ссылок и английских фраз):"), tab));
    layout->addWidget(bindings.check(tab, "quotesCheck", QStringLiteral("Кавычки «ёлочки» и „лапки“"),
                                     SettingsKey::typographyQuotes));
    layout->addWidget(bindings.check(tab, "dashesCheck",
                                     QStringLiteral("Тире вместо дефиса: «слово — слово», 1941–1945"),
                                     SettingsKey::typographyDashes));
    layout->addWidget(bindings.check(tab, "numbersCheck",
                                     QStringLiteral("Числа цифрами: 25 рублей, 1 января, в 7:30, 15 %"),
                                     SettingsKey::typographyNumbers));
    layout->addWidget(bindings.check(tab, "noBreakSpacesCheck",
                                     QStringLiteral("Неразрывные пробелы после предлогов, в числах и инициалах"),
                                     SettingsKey::typographyNoBreakSpaces));
    layout->addWidget(new QLabel(QStringLiteral("Правила редакторов, которым следуют не все:"), tab));
    layout->addWidget(bindings.check(tab, "romanCenturiesCheck",
                                     QStringLiteral("Века римскими цифрами: в XXI веке (иначе — словами)"),
                                     SettingsKey::typographyRomanCenturies));
    layout->addWidget(bindings.check(tab, "minusSignCheck", QStringLiteral("Знак минуса в отрицательных числах: −15"),
                                     SettingsKey::typographyMinusSign));
    layout->addWidget(bindings.check(tab, "numberSignCheck", QStringLiteral("Пробел после знака номера: № 15"),
                                     SettingsKey::typographyNumberSign));
    layout->addWidget(bindings.check(tab, "ellipsisCheck",
                                     QStringLiteral("Многоточие одним знаком (…) вместо трёх точек"),
                                     SettingsKey::typographyEllipsis));
    auto* buttons = new QHBoxLayout;
    auto* macros = button(tab, "macrosBtn", QStringLiteral("Макросы…"));
    auto* help = button(tab, "commandsHelpBtn", QStringLiteral("Справка по командам…"));
    connect(macros, &QPushButton::clicked, this, [] { MacroEditor::shared().open(); });
    connect(help, &QPushButton::clicked, this, &FormattingTab::showCommandHelp);
    buttons->addWidget(macros);
    buttons->addWidget(help);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    layout->addStretch(1);
}

void FormattingTab::showCommandHelp()
{
    AlertPresenter::shared().present({QStringLiteral("Голосовые команды форматирования"),
                                      HelpTexts::voiceCommands(MacroStore::loadRaw(), QDateTime::currentDateTime()),
                                      {QStringLiteral("Понятно")}});
}
