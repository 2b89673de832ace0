#pragma once
// The error type the program raises. Its message is UTF-16 like every text of the program;
// what() gives it as UTF-8 for code that only knows std::exception.
#include <exception>
#include <string>

class Exception : public std::exception {
public:
    explicit Exception(std::wstring message);
    const std::wstring& Message() const noexcept { return FMessage; }
    const char* what() const noexcept override { return FUtf8.c_str(); }

private:
    std::wstring FMessage;
    std::string FUtf8;
};

// The message of any exception, as shown to the user.
std::wstring ExceptionMessage(const std::exception& e);
// The operating system's message text for an error or result code, without the line end.
std::wstring SystemErrorMessage(long code);
