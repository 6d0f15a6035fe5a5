#pragma once

#include <string>
#include <string_view>

/// "93015" -> "9:30:15", "143005" -> "14:30:05"; any other length gives "".
std::string FormatTime(std::string_view time);

/// UTF-8 to GBK, the terminal's 8-bit code page. Bytes that are not valid UTF-8 are
/// replaced, and characters GBK lacks become '?'; the rest of the text is kept.
std::string Utf8ToAnsi(std::string_view utf8);
/// GBK to UTF-8; invalid bytes become U+FFFD and the rest of the text is kept.
std::string AnsiToUtf8(std::string_view gbk);

/// Overwrites every byte the text holds (its whole capacity) with zeros in a way the
/// compiler cannot leave out, then empties it: for a password that has served its purpose.
void SecureErase(std::string& text);
