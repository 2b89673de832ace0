#pragma once
// The process's environment variables.
#include <string>

// The variable's value; empty when it is not set.
std::wstring EnvironmentVariable(const wchar_t* name);
