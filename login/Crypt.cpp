#include "login/Crypt.h"

#include "platform/Exception.h"

#include <algorithm>

namespace {

constexpr const char* kDefaultKey = "abcdefghijklmnopqrstuvwxyz012345";
constexpr std::uint16_t kMultiplier = 0x4E35;
constexpr std::uint16_t kMixConstant = 0x015A;

// All word arithmetic wraps at 16 bits; the casts keep the integer
// promotions from widening it.
constexpr std::uint16_t W16(unsigned value) {
    return static_cast<std::uint16_t>(value);
}

} // namespace

void TPasswordEncryptDecrypt::ResetState() {
    Chain = WorkA = WorkB = WorkC = WorkD = Carry = Index = 0;
}

void TPasswordEncryptDecrypt::LoadKey(const platform::AnsiString& key) {
    KeyText = kDefaultKey;
    KeyText.replace(0, std::min(key.size(), kKeyLength), key, 0, kKeyLength);
}

TPasswordEncryptDecrypt::Word TPasswordEncryptDecrypt::MixWord() {
    if (Index >= kWordCount)
        throw platform::ERangeError();
    const Word i = Index;
    const Word a = Words[i];
    const Word x = Chain;
    const Word s = Carry;
    WorkB = kMultiplier;
    WorkC = W16(W16(W16(x + i) * WorkB) + W16(kMixConstant * a));
    Carry = W16(kMixConstant * a);
    Chain = W16(WorkC + s);
    WorkD = Chain;
    WorkA = W16(W16(a * WorkB) + 1);
    Words[i] = WorkA;
    Index = W16(i + 1);
    return W16(Words[i] ^ Chain);
}

TPasswordEncryptDecrypt::Word TPasswordEncryptDecrypt::NextKeyWord() {
    // The words are read from the whole key buffer, which only LoadKey fills.
    if (KeyText.size() < kKeyLength)
        throw platform::ERangeError();
    Word result = 0;
    for (std::size_t p = 0; p < kWordCount; ++p) {
        // The high byte counts as unsigned, the low byte as a signed 8-bit
        // value: 0x41, 0xB3 make 0x40B3. The stored passwords depend on it.
        const auto high = static_cast<unsigned char>(KeyText[2 * p]);
        const auto low = static_cast<signed char>(KeyText[2 * p + 1]);
        const Word pair = W16(256u * high + static_cast<unsigned>(low));
        Words[p] = p == 0 ? pair : W16(pair ^ Words[p - 1]);
        result = W16(result ^ MixWord());
    }
    Index = 0;
    return result;
}

platform::AnsiString TPasswordEncryptDecrypt::Encrypt(const platform::AnsiString& text,
                                                      const platform::AnsiString& key) {
    ResetState();
    LoadKey(key);
    platform::AnsiString result;
    result.reserve(2 * text.size());
    for (const char ch : text) {
        const auto b = static_cast<unsigned char>(ch);
        const Word k = NextKeyWord();
        for (char& keyChar : KeyText)
            keyChar = static_cast<char>(keyChar ^ ch);
        const unsigned v = (b ^ (k >> 8) ^ (k & 0xFF)) & 0xFF;
        // A plain byte of 128 or more moves its first letter 16 codes down,
        // into "Q" to "`"; Decrypt reads both forms alike.
        const unsigned first = (b < 128 ? 0x61 : 0x51) + (v >> 4);
        result.push_back(static_cast<char>(first));
        result.push_back(static_cast<char>(0x61 + (v & 15)));
    }
    return result;
}

platform::AnsiString TPasswordEncryptDecrypt::Decrypt(const platform::AnsiString& text,
                                                      const platform::AnsiString& key) {
    ResetState();
    LoadKey(key);
    platform::AnsiString result;
    result.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        if (i + 1 >= text.size())
            throw platform::ERangeError();
        const auto high = static_cast<unsigned char>(text[i]);
        const auto low = static_cast<unsigned char>(text[i + 1]);
        const unsigned u = (16u * (high - 0x61u) + (low - 0x61u)) & 0xFF;
        const Word k = NextKeyWord();
        const auto b = static_cast<char>((u ^ (k >> 8) ^ (k & 0xFF)) & 0xFF);
        for (char& keyChar : KeyText)
            keyChar = static_cast<char>(keyChar ^ b);
        result.push_back(b);
    }
    return result;
}
