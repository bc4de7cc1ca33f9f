#pragma once

#include <QWidget>

class SettingsBindings;

// The settings window's «Форматирование»: smart commands and macros, markup from pauses, the output format and
// the typography rules, with the macro editor and the help on commands a click away.
class FormattingTab : public QWidget
{
public:
    explicit FormattingTab(SettingsBindings& bindings);

private:
    void showCommandHelp();
};
