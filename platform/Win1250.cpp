#include "platform/Win1250.h"

#include <QString>

#include <algorithm>
#include <array>

namespace platform {
namespace {

// Code points of bytes 0x80..0xFF.
constexpr std::array<char16_t, 128> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021, // 80
    0x0088, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179, // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, // 98
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7, // A0
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B, // A8
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7, // B0
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C, // B8
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7, // C0
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E, // C8
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7, // D0
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF, // D8
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, // E0
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F, // E8
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7, // F0
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9, // F8
};

struct UpperTable {
    std::array<unsigned char, 256> map{};
    constexpr UpperTable() {
        for (int i = 0; i < 256; ++i)
            map[i] = static_cast<unsigned char>(i);
        for (int c = 'a'; c <= 'z'; ++c)
            map[c] = static_cast<unsigned char>(c - 0x20);
        // š ś ť ž ź
        map[0x9A] = 0x8A;
        map[0x9C] = 0x8C;
        map[0x9D] = 0x8D;
        map[0x9E] = 0x8E;
        map[0x9F] = 0x8F;
        map[0xB3] = 0xA3; // ł
        map[0xB9] = 0xA5; // ą
        map[0xBA] = 0xAA; // ş
        map[0xBE] = 0xBC; // ľ
        map[0xBF] = 0xAF; // ż
        for (int c = 0xE0; c <= 0xFE; ++c)
            if (c != 0xF7) // ÷ has no capital
                map[c] = static_cast<unsigned char>(c - 0x20);
    }
};
constexpr UpperTable kUpper;

} // namespace

std::pair<char32_t, std::size_t> DecodeUtf8(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80)
        return {lead, 1};
    std::size_t length;
    char32_t cp;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        cp = lead & 0x07;
    } else {
        return {0, 0};
    }
    if (i + length > text.size())
        return {0, 0};
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return {0, 0};
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMinimum[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return {0, 0};
    return {cp, length};
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

char32_t Win1250ToUnicode(unsigned char byte) {
    return byte < 0x80 ? char32_t(byte) : char32_t(kHigh[byte - 0x80]);
}

int UnicodeToWin1250(char32_t cp) {
    if (cp < 0x80)
        return static_cast<int>(cp);
    // Every character of the code page lies below U+2200: one table lookup.
    struct Reverse {
        std::array<unsigned char, 0x2200> byte{};
        constexpr Reverse() {
            for (std::size_t i = 0; i < kHigh.size(); ++i)
                byte[kHigh[i]] = static_cast<unsigned char>(0x80 + i);
        }
    };
    static constexpr Reverse kReverse;
    if (cp >= kReverse.byte.size() || kReverse.byte[cp] == 0)
        return -1;
    return kReverse.byte[cp];
}

std::string Win1250ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    for (char ch : text) {
        if (static_cast<unsigned char>(ch) < 0x80)
            out.push_back(ch);
        else
            AppendUtf8(out, Win1250ToUnicode(static_cast<unsigned char>(ch)));
    }
    return out;
}

AnsiString Utf8ToWin1250(std::string_view utf8) {
    AnsiString out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        if (const auto ch = static_cast<unsigned char>(utf8[i]); ch < 0x80) {
            out.push_back(static_cast<char>(ch));
            ++i;
            continue;
        }
        const auto [cp, length] = DecodeUtf8(utf8, i);
        if (length == 0) {
            out.push_back('?');
            ++i;
            continue;
        }
        const int byte = UnicodeToWin1250(cp);
        out.push_back(byte < 0 ? '?' : static_cast<char>(byte));
        i += length;
    }
    return out;
}

unsigned char AnsiUpperChar(unsigned char byte) {
    return kUpper.map[byte];
}

AnsiString AnsiUpperCase(std::string_view text) {
    AnsiString out(text);
    for (char& ch : out)
        ch = static_cast<char>(kUpper.map[static_cast<unsigned char>(ch)]);
    return out;
}

bool AnsiSameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (kUpper.map[static_cast<unsigned char>(a[i])] !=
            kUpper.map[static_cast<unsigned char>(b[i])])
            return false;
    return true;
}

int AnsiCompareText(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const int x = kUpper.map[static_cast<unsigned char>(a[i])];
        const int y = kUpper.map[static_cast<unsigned char>(b[i])];
        if (x != y)
            return x - y;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

QString ToQString(std::string_view text) {
    QString out;
    out.reserve(static_cast<qsizetype>(text.size()));
    for (char ch : text)
        out.append(QChar(static_cast<char16_t>(Win1250ToUnicode(static_cast<unsigned char>(ch)))));
    return out;
}

AnsiString FromQString(const QString& text) {
    AnsiString out;
    out.reserve(static_cast<std::size_t>(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        // A character outside the Basic Multilingual Plane is two UTF-16
        // units, and one character the code page lacks.
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        const int byte = UnicodeToWin1250(text[i].unicode());
        out.push_back(byte < 0 ? '?' : static_cast<char>(byte));
    }
    return out;
}

} // namespace platform
