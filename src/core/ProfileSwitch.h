#pragma once
// The one way through a switch: the profile and the options read once from Config.ini, the
// engine and the adapters chosen, the steps run, and each adapter read back. What the adapter
// shows afterwards is the truth, whatever the methods or netsh answered.
#include <windows.h>

#include <string>

#include "core/Settings.h"
#include "core/SwitchResult.h"
#include "core/WmiAdapters.h"

// How long a switch asks the adapter again until it shows the profile (the class may show a
// change a moment after the answer, a lease takes seconds), and how often.
constexpr DWORD ReadBackLimitMs = 10000;
constexpr DWORD ReadBackStepMs = 250;
// Tests shorten the limit; answers the one replaced.
DWORD SetReadBackLimit(DWORD milliseconds);

// Applies profile "A" or "B": through netsh on the connection of the adapter named in
// Config.ini (or of the first physical wired adapter when none is) when NET/Method is "B",
// otherwise through WMI on the adapter named (or on every physical wired one). Done when every
// adapter reads back with the profile in place; a restart-needed answer is done too, and so is
// an adapter whose cable is out and whose every answer was a success (with CableOutNote).
// Errors that keep the switch from reaching WMI at all are raised.
TSwitchResult SwitchProfile(const std::wstring& section);
// The same, as its code alone: 0 done (also after a restart), else the failure's code.
int64_t ApplyProfile(const std::wstring& section);

// What the adapter must show once the profile is in place. previous: as it was before the
// switch; useNetsh: the DNS servers are netsh's, as given.
bool ShowsProfile(const TAdapterState& now, const TIpProfile& profile,
                  const TAdapterState& previous, bool useNetsh);

// The cause of an adapter that answered success but does not show the profile.
extern const wchar_t NotInPlaceCause[];
// The note of a switch made while the cable is out.
extern const wchar_t CableOutNote[];
