#pragma once
// Windows-1250 text. Inside the program every text is a single-byte string in
// the code page of a Polish Windows system; conversion to Unicode happens only
// at the user interface and at the database file.

#include <string>
#include <string_view>
#include <utility>

class QString;

namespace platform {

using AnsiString = std::string;

// Windows-1250 bytes to UTF-8. The five bytes the code page leaves undefined
// map to the C1 control of the same number, as Windows does, so every byte
// string survives the round trip.
std::string Win1250ToUtf8(std::string_view text);

// UTF-8 to Windows-1250; a character the code page lacks, and any malformed
// UTF-8 sequence, becomes "?".
AnsiString Utf8ToWin1250(std::string_view utf8);

// The Unicode code point of one Windows-1250 byte, and the reverse (-1 when
// the code page has no byte for it).
char32_t Win1250ToUnicode(unsigned char byte);
int UnicodeToWin1250(char32_t codePoint);

// One code point of UTF-8 at text[i] and its length in bytes; length 0 when
// the bytes there are no well-formed sequence (cut short, overlong, a
// surrogate or beyond U+10FFFF).
std::pair<char32_t, std::size_t> DecodeUtf8(std::string_view text, std::size_t i);
void AppendUtf8(std::string& out, char32_t codePoint);

// Upper case by the Windows-1250 table: a-z, the Central European letters
// with a capital in the code page, and nothing else (ß and µ stay).
unsigned char AnsiUpperChar(unsigned char byte);
AnsiString AnsiUpperCase(std::string_view text);
// Equal but for letter case, by the same table.
bool AnsiSameText(std::string_view a, std::string_view b);
// Case-insensitive order by the same table: below 0, 0 or above 0 as a
// sorts before, with or after b.
int AnsiCompareText(std::string_view a, std::string_view b);

// The user-interface border.
QString ToQString(std::string_view text);
AnsiString FromQString(const QString& text);

// A Polish literal of a UTF-8 source file, in the program's own encoding.
inline AnsiString Pl(std::string_view utf8Literal) {
    return Utf8ToWin1250(utf8Literal);
}

} // namespace platform
