#pragma once
// Text: one string type for the whole system, a sequence of Unicode code points.
// It is narrowed (low 8 bits per character) only where it meets the system library
// (file names, modes, shell commands, the window title, runtime error messages) and
// encoded as UTF-8 only by printLine, stream writes and the saved state.
#include <string>

using String = std::u32string;

// Each character's low 8 bits, one byte per character.
std::string narrow(const String& text);
// Each byte becomes one character 0..255 (Latin-1).
String widen(const std::string& bytes);
// UTF-8 with 1..3 bytes for U+0000..U+FFFF and 4 bytes above.
std::string encodeUtf8(const String& text);
// Decimal text of an integer.
String toString(int value);
