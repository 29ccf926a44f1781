#include "db/TField.h"

#include "db/EDatabaseError.h"
#include "db/TDataSet.h"
#include "platform/FormatSettings.h"

#include <cmath>
#include <limits>

namespace db {
namespace {

constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
constexpr auto kMax = std::numeric_limits<std::int32_t>::max();

} // namespace

TField::TField(TDataSet* dataSet, std::string fieldName, TFieldType dataType, int size)
    : FDataSet(dataSet), FFieldName(std::move(fieldName)), FDataType(dataType), FSize(size) {}

Value TField::getValue() const {
    return FDataSet->CurrentValue(FColumn);
}

std::string TField::getAsString() const {
    const Value value = getValue();
    switch (value.kind()) {
    case Value::Kind::Null:
        return {};
    case Value::Kind::Integer:
        return std::to_string(value.integer());
    case Value::Kind::Float:
        return platform::FloatToStr(value.real());
    case Value::Kind::Text:
        return value.text();
    }
    return {};
}

std::int32_t TField::getAsInteger() const {
    const Value value = getValue();
    auto outOfRange = [&](const std::string& shown) {
        return EDatabaseError("Value " + shown + " of field '" + FFieldName +
                              "' is outside the 32-bit integer range");
    };
    switch (value.kind()) {
    case Value::Kind::Null:
        return 0;
    case Value::Kind::Integer:
        if (value.integer() < kMin || value.integer() > kMax)
            throw outOfRange(std::to_string(value.integer()));
        return static_cast<std::int32_t>(value.integer());
    case Value::Kind::Float: {
        const double real = value.real();
        if (real != std::floor(real))
            throw EDatabaseError("'" + platform::FloatToStr(real) + "' of field '" + FFieldName +
                                 "' is not a whole number");
        if (real < kMin || real > kMax)
            throw outOfRange(platform::FloatToStr(real));
        return static_cast<std::int32_t>(real);
    }
    case Value::Kind::Text: {
        const std::string& text = value.text();
        std::size_t i = text.empty() || (text[0] != '-' && text[0] != '+') ? 0 : 1;
        if (i == text.size())
            throw EDatabaseError("'" + text + "' of field '" + FFieldName +
                                 "' is not a valid integer value");
        std::int64_t number = 0;
        for (std::size_t k = i; k < text.size(); ++k) {
            if (text[k] < '0' || text[k] > '9')
                throw EDatabaseError("'" + text + "' of field '" + FFieldName +
                                     "' is not a valid integer value");
            number = number * 10 + (text[k] - '0');
            if (number > std::int64_t{kMax} + 1)
                throw outOfRange(text);
        }
        if (text[0] == '-')
            number = -number;
        if (number < kMin || number > kMax)
            throw outOfRange(text);
        return static_cast<std::int32_t>(number);
    }
    }
    return 0;
}

} // namespace db
