#pragma once
// SzyfrowaniePC1: what callers use to encipher a password. It holds one
// cipher engine and forwards to it, taking the key first.

#include "login/Crypt.h"

class SzyfrowaniePC1 {
public:
    platform::AnsiString Encrypt(const platform::AnsiString& key, const platform::AnsiString& text);
    // Raises platform::ERangeError for a text of odd length.
    platform::AnsiString Decrypt(const platform::AnsiString& key, const platform::AnsiString& text);

private:
    TPasswordEncryptDecrypt FEngine;
};
