#include "ui/Accessibility.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

namespace
{
/// The label in the same window whose buddy is the control.
const QLabel* BuddyLabel(const QWidget& root, const QWidget& control)
{
    for (const QLabel* const label : root.findChildren<QLabel*>()) {
        if (label->buddy() == &control)
            return label;
    }
    return nullptr;
}

QString LabelOf(const QWidget& root, const QWidget& control)
{
    if (const auto* const button = qobject_cast<const QAbstractButton*>(&control))
        return button->text();
    if (const QLabel* const label = BuddyLabel(root, control))
        return label->text();
    if (const auto* const edit = qobject_cast<const QLineEdit*>(&control))
        return edit->placeholderText();
    if (const auto* const combo = qobject_cast<const QComboBox*>(&control)) {
        if (combo->lineEdit())
            return combo->lineEdit()->placeholderText();
    }
    return {};
}
} // namespace

QString Accessibility::SpokenLabel(const QString& label)
{
    QString spoken;
    spoken.reserve(label.size());
    for (qsizetype i = 0; i < label.size(); ++i) {
        const QChar ch = label.at(i);
        if (ch == QLatin1Char('&')) {
            // "&&" is a literal ampersand; a single one marks the next letter.
            if (i + 1 < label.size() && label.at(i + 1) == QLatin1Char('&'))
                spoken += label.at(++i);
            continue;
        }
        spoken += ch;
    }
    // A space between two characters beyond ASCII only spaces the label out.
    QString result;
    result.reserve(spoken.size());
    for (qsizetype i = 0; i < spoken.size(); ++i) {
        const QChar ch = spoken.at(i);
        const bool spacing = ch == QLatin1Char(' ') && i > 0 && i + 1 < spoken.size() &&
                             spoken.at(i - 1).unicode() >= 0x80 &&
                             spoken.at(i + 1).unicode() >= 0x80;
        if (!spacing)
            result += ch;
    }
    return result.trimmed();
}

void Accessibility::NameControls(QWidget& root)
{
    QList<QWidget*> controls = root.findChildren<QWidget*>();
    controls.prepend(&root);
    for (QWidget* const control : controls) {
        if (!control->accessibleName().isEmpty())
            continue;
        const bool isControl = qobject_cast<QAbstractButton*>(control) ||
                               qobject_cast<QLineEdit*>(control) ||
                               qobject_cast<QComboBox*>(control);
        if (!isControl)
            continue;
        // The line edit inside an editable combo box speaks for the box.
        if (qobject_cast<QComboBox*>(control->parentWidget()))
            continue;
        const QString name = Accessibility::SpokenLabel(LabelOf(root, *control));
        if (!name.isEmpty())
            control->setAccessibleName(name);
    }
}
