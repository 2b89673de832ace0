#pragma once
// The settings a dialog that is not elevated hands to the elevated copy that saves them: each
// value the dialog writes as one argument, read back by that copy key by key and checked, so
// that nothing but the program's own keys, each with a value of its own form, reaches the
// Config.ini an administrator's service reads.
#include <string>
#include <vector>

#include "framework/CustomIniFile.h"

// A store that keeps what is written, in order.
class TSettingsRecord : public TCustomIniFile {
public:
    struct TValue {
        std::wstring Section, Key, Value;
    };
    std::wstring ReadString(const std::wstring& section, const std::wstring& key,
                            const std::wstring& defaultValue) override;
    void WriteString(const std::wstring& section, const std::wstring& key,
                     const std::wstring& value) override;
    const std::vector<TValue>& Values() const { return FValues; }

private:
    std::vector<TValue> FValues;
};

// The option that carries the settings.
constexpr const wchar_t SaveSettingsOption[] = L"--save-settings";
// "--save-settings" and one "--setting=SECTION/KEY=VALUE" for each value, quoted so that the
// command line gives each back whole.
std::wstring SettingsArguments(const TSettingsRecord& settings);
// Writes the --setting values of the command line into the store when every one is a key the
// program reads with a value of its form; otherwise writes nothing and answers why, naming the
// key and the value.
std::wstring SaveSettingsArguments(const std::wstring& commandLine, TCustomIniFile& into);
