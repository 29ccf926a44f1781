#include "net/MimeEncoder.h"

std::string TUUProcessor::Encode(std::string_view data) const {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4 + (data.size() / kBytesPerLine + 1) * 2);
    for (std::size_t start = 0; start < data.size(); start += kBytesPerLine) {
        const std::string_view line = data.substr(start, kBytesPerLine);
        std::size_t i = 0;
        for (; i + 3 <= line.size(); i += 3) {
            const unsigned v = static_cast<unsigned char>(line[i]) << 16 |
                               static_cast<unsigned char>(line[i + 1]) << 8 |
                               static_cast<unsigned char>(line[i + 2]);
            out += kAlphabet[v >> 18];
            out += kAlphabet[(v >> 12) & 63];
            out += kAlphabet[(v >> 6) & 63];
            out += kAlphabet[v & 63];
        }
        // 45 is a multiple of 3, so only the last line can end in a part group.
        if (const std::size_t rest = line.size() - i; rest > 0) {
            unsigned v = static_cast<unsigned char>(line[i]) << 16;
            if (rest == 2)
                v |= static_cast<unsigned char>(line[i + 1]) << 8;
            out += kAlphabet[v >> 18];
            out += kAlphabet[(v >> 12) & 63];
            out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
            out += '=';
        }
        out += "\r\n";
    }
    return out;
}
