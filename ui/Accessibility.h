#pragma once

#include <QString>

class QWidget;

/// Accessible names for screen readers: every control of a window announces its Chinese
/// label.
namespace Accessibility
{
/// The label as a screen reader should say it: without the mnemonic marker "&" and
/// without the spaces that only widen a label of Chinese characters ("刷 新" is "刷新").
QString SpokenLabel(const QString& label);

/// Gives every control below root (root included) that has no accessible name yet the
/// name of its label: a button or check box its text, a box the text of the label whose
/// buddy it is, else its placeholder text. Names already given stay.
void NameControls(QWidget& root);
} // namespace Accessibility
