#pragma once
// TUUProcessor in its MIME mode: Base64 of RFC 2045 (the alphabet A-Z, a-z,
// 0-9, "+", "/", with "=" padding), 45 input bytes to each output line of at
// most 60 characters, every line ended by CR LF.

#include <QObject>

#include <string>
#include <string_view>

class TUUProcessor : public QObject {
    Q_OBJECT
public:
    enum class TProcessMode { Mime };

    explicit TUUProcessor(QObject* owner = nullptr) : QObject(owner) {}

    TProcessMode getMode() const { return FMode; }
    void setMode(TProcessMode value) { FMode = value; }

    // The encoded lines of data; empty data gives the empty text.
    std::string Encode(std::string_view data) const;

    static constexpr std::size_t kBytesPerLine = 45;

private:
    TProcessMode FMode = TProcessMode::Mime;
};
