#pragma once
// Who connects to WMI and how: user, password, locale, authority and name=value options.
#include <functional>
#include <string>
#include <vector>

class TWmiCredentials {
public:
    const std::wstring& UserName() const { return FUserName; }
    void SetUserName(const std::wstring& value) { Change(FUserName, value); }
    const std::wstring& Password() const { return FPassword; }
    void SetPassword(const std::wstring& value) { Change(FPassword, value); }
    const std::wstring& Locale() const { return FLocale; }
    void SetLocale(const std::wstring& value) { Change(FLocale, value); }
    const std::wstring& Authority() const { return FAuthority; }
    void SetAuthority(const std::wstring& value) { Change(FAuthority, value); }
    // Lines of the form name=value, passed to the server as named values.
    const std::vector<std::wstring>& Options() const { return FOptions; }
    void SetOptions(const std::vector<std::wstring>& lines);

    void Assign(const TWmiCredentials& source);
    // Raised after any value changed.
    std::function<void()> OnChange;

private:
    void Change(std::wstring& field, const std::wstring& value);

    std::wstring FUserName, FPassword, FLocale, FAuthority;
    std::vector<std::wstring> FOptions;
};
