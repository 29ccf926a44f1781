#pragma once
// The general exception class: every failure of the program travels as one of
// these (or a subclass) and carries its message as Windows-1250 text.

#include <exception>
#include <string>

namespace platform {

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : FMessage(std::move(message)) {}
    const std::string& Message() const noexcept { return FMessage; }
    const char* what() const noexcept override { return FMessage.c_str(); }

private:
    std::string FMessage;
};

// An index outside a string or a value outside an integer range.
class ERangeError : public Exception {
public:
    ERangeError() : Exception("Range check error") {}
};

// A file that cannot be opened, read or written.
class EFileError : public Exception {
public:
    using Exception::Exception;
};

// A text that does not read as the number it should be.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// Raised at a pumping point of a terminated application (see Terminate):
// whatever runs is abandoned as a failure on its way out.
class ETerminated : public Exception {
public:
    ETerminated() : Exception("The program is closing") {}
};

// The message text of whatever was caught: our own exceptions and the
// standard library's alike.
inline std::string ExceptionMessage(const std::exception& e) {
    return e.what();
}

} // namespace platform
