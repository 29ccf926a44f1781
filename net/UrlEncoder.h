#pragma once
// TUrlEncoder: the form encoding of data sent with POST. A blank becomes
// "+", ASCII letters and digits stay, every other byte becomes "%" and two
// upper-case hexadecimal digits.

#include <QObject>

#include <functional>
#include <string>
#include <string_view>

class TUrlEncoder : public QObject {
    Q_OBJECT
public:
    // Sender, the operation that failed, the failure's message.
    using TOnErrorEvent = std::function<void(QObject* sender, const std::string& operation,
                                             const std::string& errMsg)>;

    explicit TUrlEncoder(QObject* owner = nullptr) : QObject(owner) {}

    // The encoded form of data. Should encoding fail, OnError hears
    // "Error during encode" with the reason, and data comes back unchanged.
    std::string Encode(std::string_view data);

    void setOnError(TOnErrorEvent handler) { FOnError = std::move(handler); }

private:
    TOnErrorEvent FOnError;
};
