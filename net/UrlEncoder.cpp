#include "net/UrlEncoder.h"

#include <exception>

namespace {

bool IsAsciiAlnum(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

} // namespace

std::string TUrlEncoder::Encode(std::string_view data) {
    static const char kHex[] = "0123456789ABCDEF";
    try {
        std::string encoded;
        encoded.reserve(data.size() * 3);
        for (const char ch : data) {
            const auto c = static_cast<unsigned char>(ch);
            if (c == ' ') {
                encoded += '+';
            } else if (IsAsciiAlnum(c)) {
                encoded += ch;
            } else {
                encoded += '%';
                encoded += kHex[c >> 4];
                encoded += kHex[c & 0x0F];
            }
        }
        return encoded;
    } catch (const std::exception& e) {
        if (FOnError)
            FOnError(this, "Error during encode", e.what());
        return std::string(data);
    }
}
