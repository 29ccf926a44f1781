#pragma once
// TPasswordEncryptDecrypt: the PC1 stream cipher with a 32-byte key, as the
// workshop application enciphers staff passwords. Each output byte is written
// as two letters. The letters must match the stored ones byte for byte,
// including the signed reading of some bytes of 128 and above.

#include "platform/Win1250.h"

#include <cstdint>

class TPasswordEncryptDecrypt {
public:
    using Word = std::uint16_t;

    // Text first, key second. Each call starts from a fresh state, so its
    // result depends on its arguments only.
    platform::AnsiString Encrypt(const platform::AnsiString& text, const platform::AnsiString& key);
    // Raises platform::ERangeError when the text has an odd length: its last
    // letter has no partner.
    platform::AnsiString Decrypt(const platform::AnsiString& text, const platform::AnsiString& key);

    // The steps the two operations are built from.
    void ResetState();
    // The default key with the first (at most 32) characters of key over it.
    void LoadKey(const platform::AnsiString& key);
    // One key-stream word from the key buffer; leaves Index at 0. Raises
    // platform::ERangeError when no key has been loaded.
    Word NextKeyWord();
    // Mixes Words[Index] into Chain and Carry and moves Index on; raises
    // platform::ERangeError when Index has run past the last word.
    Word MixWord();

private:
    static constexpr std::size_t kKeyLength = 32;
    static constexpr std::size_t kWordCount = 16;

    // Only KeyText, Chain and Carry carry information from one step to the
    // next; Words is set afresh for each byte and the four scratch values
    // matter only inside one MixWord.
    platform::AnsiString KeyText; // exactly kKeyLength bytes once loaded
    Word Words[kWordCount] = {};
    Word Chain = 0;
    Word WorkA = 0;
    Word WorkB = 0;
    Word WorkC = 0;
    Word WorkD = 0;
    Word Carry = 0;
    Word Index = 0; // 0 to kWordCount
};
