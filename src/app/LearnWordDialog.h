#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;

// "Выучить слово": the form the recognizer hears and the spelling the user wants, both trimmed. With a
// heard word the first field holds it and the keyboard starts in the second.
class LearnWordDialog : public QDialog
{
    Q_OBJECT

public:
    explicit LearnWordDialog(const QString& heard, QWidget* parent = nullptr);

    QString wrong() const;
    QString right() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLineEdit* wrong_;
    QLineEdit* right_;
};
