#pragma once
// The published descriptions of WMI's result codes, apart from the system's messages, so the
// lookup needs no windows.h.

// The description of a WMI result code; nullptr for a code WMI does not describe.
const wchar_t* WmiDescribedText(unsigned long code);
