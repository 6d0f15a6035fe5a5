#include "ui/GbkText.h"

#include <algorithm>

#include "util/util.h"

QString FromGbk(std::string_view gbk)
{
    // Codes, numbers and dates are plain ASCII, which reads the same in GBK; only the
    // rest goes through the converter.
    const bool ascii = std::all_of(gbk.begin(), gbk.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii)
        return QString::fromLatin1(gbk.data(), static_cast<qsizetype>(gbk.size()));
    return QString::fromStdString(AnsiToUtf8(gbk));
}

std::string ToGbk(const QString& text)
{
    return Utf8ToAnsi(text.toStdString());
}
