#pragma once
// Security descriptors as Windows shows them on the program folders, built from SDDL: Wine
// keeps no DACL set on a file or folder reliably and shows its own folders as owned by the user.
#include <windows.h>

#include <sddl.h>

#include <string>

#include "core/ProgramFolder.h"

inline const std::wstring kTrustedInstaller =
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
// %ProgramFiles%\App as Windows gives it: TrustedInstaller owns it, administrators, SYSTEM
// and TrustedInstaller may change it, Users read and run, CREATOR OWNER passes rights on.
inline const std::wstring kProgramFiles =
    L"O:" + kTrustedInstaller + L"D:(A;;FA;;;" + kTrustedInstaller +
    L")(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)(A;OICIIO;GA;;;CO)(A;OICIIO;GXGR;;;BU)";
// A folder made under C:\ by an administrator: Users may modify it.
inline constexpr wchar_t kUsersModify[] = L"O:BAD:(A;;FA;;;BA)(A;;FA;;;SY)(A;OICI;0x1301bf;;;BU)";

inline ScopedSecurityDescriptor FromSddl(const std::wstring& sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor,
                                                         nullptr);
    return ScopedSecurityDescriptor(descriptor);
}
