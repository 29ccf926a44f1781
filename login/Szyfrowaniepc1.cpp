#include "login/Szyfrowaniepc1.h"

platform::AnsiString SzyfrowaniePC1::Encrypt(const platform::AnsiString& key,
                                             const platform::AnsiString& text) {
    return FEngine.Encrypt(text, key);
}

platform::AnsiString SzyfrowaniePC1::Decrypt(const platform::AnsiString& key,
                                             const platform::AnsiString& text) {
    return FEngine.Decrypt(text, key);
}
