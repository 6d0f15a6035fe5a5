#pragma once

#include <QLabel>
#include <QValidator>

/// Turns letters into upper case as they are typed (or pasted) into an edit box. Text
/// set by the program is left as it is.
class CUpperCaseValidator : public QValidator
{
    Q_OBJECT

public:
    using QValidator::QValidator;
    State validate(QString& input, int& position) const override;
};

/// The label that shows the check code: distinct letters on a tinted, striped and
/// speckled ground. The drawing follows from the code alone, so one code always looks
/// the same. A left click emits clicked().
class CCheckCodeLabel : public QLabel
{
    Q_OBJECT

public:
    explicit CCheckCodeLabel(QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};
