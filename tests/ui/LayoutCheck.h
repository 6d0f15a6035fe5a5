#pragma once

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QRect>
#include <QString>
#include <QWidget>

#include <string>
#include <utility>
#include <vector>

/// Finds text that a window cuts off or lays over other text: every visible label, button,
/// check box, edit and combo box of the window (the window included) must have room for
/// its text in its own rectangle and inside the window, and no two of them may overlap
/// unless listed as meant to (by object names, either order).
namespace LayoutCheck
{
using Pair = std::pair<QString, QString>;

inline QString Name(const QWidget& widget)
{
    return widget.objectName().isEmpty()
               ? QString::fromLatin1(widget.metaObject()->className()) + QLatin1Char(':') +
                     (qobject_cast<const QLabel*>(&widget)
                          ? static_cast<const QLabel&>(widget).text()
                      : qobject_cast<const QAbstractButton*>(&widget)
                          ? static_cast<const QAbstractButton&>(widget).text()
                          : QString())
               : widget.objectName();
}

/// The text a widget shows, or empty for one that shows none of its own.
inline QString ShownText(const QWidget& widget)
{
    if (const auto* const label = qobject_cast<const QLabel*>(&widget))
        return label->pixmap().isNull() ? label->text() : QString();
    if (const auto* const button = qobject_cast<const QAbstractButton*>(&widget))
        return button->text();
    return {};
}

inline bool IsTextWidget(const QWidget& widget)
{
    return !ShownText(widget).isEmpty() || qobject_cast<const QLineEdit*>(&widget) ||
           qobject_cast<const QComboBox*>(&widget);
}

/// Whether the widget is a part of a composite control (the edit of a combo box).
inline bool IsPart(const QWidget& widget)
{
    return qobject_cast<const QComboBox*>(widget.parentWidget()) != nullptr;
}

/// What is wrong with one widget's own room for its text.
inline void CheckRoom(const QWidget& widget, std::vector<std::string>& problems)
{
    const QFontMetrics metrics = widget.fontMetrics();
    const QRect room = widget.contentsRect();
    const QString text = ShownText(widget);
    const auto report = [&](const char* what, int need, int have) {
        problems.push_back(Name(widget).toStdString() + ": " + what + " needs " +
                           std::to_string(need) + ", has " + std::to_string(have));
    };
    if (const auto* const label = qobject_cast<const QLabel*>(&widget)) {
        if (text.isEmpty())
            return;
        if (label->wordWrap()) {
            const int need = label->heightForWidth(widget.width());
            if (need > widget.height())
                report("wrapped height", need, widget.height());
            return;
        }
        const QRect bounds = metrics.boundingRect(room, int(label->alignment()), text);
        if (bounds.width() > room.width())
            report("width", bounds.width(), room.width());
        if (metrics.height() > room.height())
            report("height", metrics.height(), room.height());
        return;
    }
    if (const auto* const check = qobject_cast<const QCheckBox*>(&widget)) {
        if (check->sizeHint().width() > widget.width())
            report("width", check->sizeHint().width(), widget.width());
        return;
    }
    if (qobject_cast<const QAbstractButton*>(&widget)) {
        const int need = metrics.horizontalAdvance(text);
        if (need > widget.width())
            report("width", need, widget.width());
        if (metrics.ascent() + metrics.descent() > widget.height())
            report("height", metrics.ascent() + metrics.descent(), widget.height());
        return;
    }
    // Boxes scroll their text sideways; a line of it must fit in their height.
    if (metrics.ascent() + metrics.descent() > widget.height())
        report("height", metrics.ascent() + metrics.descent(), widget.height());
}

/// Where a widget draws its text, in its own coordinates (the whole widget for boxes).
inline QRect TextRect(const QWidget& widget)
{
    const QString text = ShownText(widget);
    if (text.isEmpty() || qobject_cast<const QCheckBox*>(&widget))
        return widget.rect();
    const QFontMetrics metrics = widget.fontMetrics();
    if (const auto* const label = qobject_cast<const QLabel*>(&widget)) {
        const int flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
        return metrics.boundingRect(widget.contentsRect(), flags, text);
    }
    return metrics.boundingRect(widget.rect(), Qt::AlignCenter, text);
}

/// The problems of one window; `checked`, when given, receives how many widgets with text
/// were looked at.
inline std::vector<std::string>
Problems(QWidget& window, const std::vector<Pair>& meantToOverlap = {}, int* checked = nullptr)
{
    std::vector<std::string> problems;
    std::vector<QWidget*> shown;
    QList<QWidget*> widgets = window.findChildren<QWidget*>();
    for (QWidget* const widget : widgets) {
        if (widget->window() != &window || !widget->isVisible() || IsPart(*widget) ||
            !IsTextWidget(*widget))
            continue;
        CheckRoom(*widget, problems);
        // A widget is drawn only inside its parents: its text must lie inside each of them.
        const QRect text = TextRect(*widget);
        for (const QWidget* parent = widget; parent != &window;) {
            const QWidget* const next = parent->parentWidget();
            const QRect textInNext(widget->mapTo(next, text.topLeft()), text.size());
            if (!next->rect().contains(textInNext)) {
                problems.push_back(Name(*widget).toStdString() + ": text cut off by " +
                                   Name(*next).toStdString());
                break;
            }
            parent = next;
        }
        shown.push_back(widget);
    }
    if (checked)
        *checked = static_cast<int>(shown.size());
    for (std::size_t i = 0; i < shown.size(); ++i) {
        for (std::size_t j = i + 1; j < shown.size(); ++j) {
            QWidget* const a = shown[i];
            QWidget* const b = shown[j];
            if (a->isAncestorOf(b) || b->isAncestorOf(a))
                continue;
            const QRect ra(a->mapTo(&window, QPoint(0, 0)), a->size());
            const QRect rb(b->mapTo(&window, QPoint(0, 0)), b->size());
            if (!ra.intersects(rb))
                continue;
            const Pair pair{a->objectName(), b->objectName()};
            const Pair reversed{pair.second, pair.first};
            bool meant = false;
            for (const Pair& allowed : meantToOverlap)
                meant = meant || allowed == pair || allowed == reversed;
            if (!meant)
                problems.push_back(Name(*a).toStdString() + " overlaps " + Name(*b).toStdString());
        }
    }
    return problems;
}
} // namespace LayoutCheck
