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

    // Puts what could not be done, in the user's words, on a first line above the system's
    // text. Only once: the step nearest the failure knows best what it was doing.
    void DescribeAs(const std::wstring& whatFailed);
    bool Described() const noexcept { return FDescribed; }

protected:
    // The system's text as the second line of a described error shows it.
    virtual std::wstring SystemText() const { return FMessage; }

private:
    std::wstring FMessage;
    std::string FUtf8;
    bool FDescribed = false;
};

// The message of any exception, as shown to the user.
std::wstring ExceptionMessage(const std::exception& e);
// The operating system's message text for an error or result code, without the line end.
std::wstring SystemErrorMessage(long code);

// Runs step; an error it raises goes on with what could not be done as its first line
// (see Exception::DescribeAs). whatFailed is the user's words: "无法保存 Config.ini。".
template <typename F> decltype(auto) Attempt(const wchar_t* whatFailed, F&& step) {
    try {
        return step();
    } catch (Exception& e) {
        if (!e.Described()) e.DescribeAs(whatFailed);
        throw;
    } catch (const std::exception& e) {
        Exception described(ExceptionMessage(e));
        described.DescribeAs(whatFailed);
        throw described;
    }
}
