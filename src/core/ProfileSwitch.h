#pragma once
// The one way through a switch: the profile and the options read once from Config.ini, the
// engine and the adapters chosen, the steps run, and each adapter read back. What the adapter
// shows afterwards is the truth, whatever the methods or netsh answered.
#include <string>

#include "core/Settings.h"
#include "core/SwitchResult.h"
#include "core/WmiAdapters.h"

// Applies profile "A" or "B": through netsh on the connection of NET/Adapter (or of the first
// IP-enabled adapter when it is empty) when NET/Method is "B", otherwise through WMI on the
// adapter of NET/Adapter (or on every IP-enabled one). Done when every adapter reads back with
// the profile in place; a restart-needed answer is done too. Errors that keep the switch from
// reaching WMI at all are raised.
TSwitchResult SwitchProfile(const std::wstring& section);
// The same, as its code alone: 0 done (also after a restart), else the failure's code.
int64_t ApplyProfile(const std::wstring& section);

// What the adapter must show once the profile is in place. previous: as it was before the
// switch; useNetsh: the mask and DNS servers are netsh's, as given.
bool ShowsProfile(const TAdapterState& now, const TIpProfile& profile,
                  const TAdapterState& previous, bool useNetsh);

// The cause of an adapter that answered success but does not show the profile.
extern const wchar_t NotInPlaceCause[];
