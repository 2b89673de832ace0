#pragma once
// The error of the WMI layer and the texts of WMI's result codes.
#include <windows.h>

#include <string>

#include "framework/Automation.h"

// Carries the WMI or COM result code; zero when raised without one.
class TWmiException : public EComError {
public:
    explicit TWmiException(std::wstring message, HRESULT code = 0)
        : EComError(std::move(message), code) {}
};

// The text of a WMI result code, ": ", and the code as eight upper-case hexadecimal digits.
// A code WMI does not describe takes the system's message.
std::wstring WmiErrorText(HRESULT code);
// Raises TWmiException for a negative result code.
void WmiCheck(HRESULT code);
