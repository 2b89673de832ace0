#include "wmi/WmiCredentials.h"

#include "framework/Strings.h"

void TWmiCredentials::Change(std::wstring& field, const std::wstring& value) {
    if (field == value) return;
    field = value;
    if (OnChange) OnChange();
}

void TWmiCredentials::SetOptions(const std::vector<std::wstring>& lines) {
    if (LinesText(lines) == LinesText(FOptions)) return;
    FOptions = lines;
    if (OnChange) OnChange();
}

void TWmiCredentials::Assign(const TWmiCredentials& source) {
    SetAuthority(source.FAuthority);
    SetLocale(source.FLocale);
    SetOptions(source.FOptions);
    SetPassword(source.FPassword);
    SetUserName(source.FUserName);
}
