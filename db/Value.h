#pragma once
// One value crossing the driver seam: a bound statement parameter or a result
// cell. Text is Windows-1250, like every text inside the program; the driver
// converts at its own border.

#include <cstdint>
#include <string>
#include <variant>

namespace db {

class Value {
public:
    enum class Kind { Null, Integer, Float, Text };

    Value() = default;
    Value(std::nullptr_t) {}
    Value(int value) : FData(std::int64_t{value}) {}
    Value(std::int64_t value) : FData(value) {}
    Value(double value) : FData(value) {}
    Value(std::string text) : FData(std::move(text)) {}
    Value(const char* text) : FData(std::string(text)) {}

    Kind kind() const { return static_cast<Kind>(FData.index()); }
    bool isNull() const { return kind() == Kind::Null; }

    // Each accessor requires the matching kind.
    std::int64_t integer() const { return std::get<std::int64_t>(FData); }
    double real() const { return std::get<double>(FData); }
    const std::string& text() const { return std::get<std::string>(FData); }

    bool operator==(const Value&) const = default;

private:
    // The alternatives' order is the order of Kind.
    std::variant<std::monostate, std::int64_t, double, std::string> FData;
};

} // namespace db
