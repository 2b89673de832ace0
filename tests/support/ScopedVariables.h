#pragma once
// Environment variables of the test process set for the life of the guard (an empty value: not
// set) and cleared when it goes, also when the test set them again meanwhile, so nothing set for
// one test reaches the next (or a program it starts later).
#include <windows.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

class ScopedVariables {
public:
    using TVariable = std::pair<std::wstring, std::wstring>;
    explicit ScopedVariables(std::initializer_list<TVariable> variables) : FVariables(variables) {
        for (const auto& [name, value] : FVariables)
            Put(name, value);
    }
    ~ScopedVariables() {
        for (const auto& variable : FVariables)
            SetEnvironmentVariableW(variable.first.c_str(), nullptr);
    }
    ScopedVariables(const ScopedVariables&) = delete;
    ScopedVariables& operator=(const ScopedVariables&) = delete;

    static void Put(const std::wstring& name, const std::wstring& value) {
        SetEnvironmentVariableW(name.c_str(), value.empty() ? nullptr : value.c_str());
    }

private:
    std::vector<TVariable> FVariables;
};
