#pragma once

#include <QString>

#include <string>
#include <string_view>

/// Where GBK text of the system meets widget text: the one conversion each way.

/// GBK bytes for display; invalid bytes show as U+FFFD.
QString FromGbk(std::string_view gbk);
/// A widget's text as GBK bytes; characters GBK lacks become '?'.
std::string ToGbk(const QString& text);
