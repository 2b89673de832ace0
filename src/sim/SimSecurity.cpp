#include "sim/SimSecurity.h"

#include <iterator>

#include "sim/SimCollection.h"
#include "sim/SimRecord.h"

namespace {
// WbemPrivilegeEnum 1..27 in order.
const wchar_t* const PrivilegeNames[] = {L"SeCreateTokenPrivilege",
                                         L"SeAssignPrimaryTokenPrivilege",
                                         L"SeLockMemoryPrivilege",
                                         L"SeIncreaseQuotaPrivilege",
                                         L"SeMachineAccountPrivilege",
                                         L"SeTcbPrivilege",
                                         L"SeSecurityPrivilege",
                                         L"SeTakeOwnershipPrivilege",
                                         L"SeLoadDriverPrivilege",
                                         L"SeSystemProfilePrivilege",
                                         L"SeSystemtimePrivilege",
                                         L"SeProfileSingleProcessPrivilege",
                                         L"SeIncreaseBasePriorityPrivilege",
                                         L"SeCreatePagefilePrivilege",
                                         L"SeCreatePermanentPrivilege",
                                         L"SeBackupPrivilege",
                                         L"SeRestorePrivilege",
                                         L"SeShutdownPrivilege",
                                         L"SeDebugPrivilege",
                                         L"SeAuditPrivilege",
                                         L"SeSystemEnvironmentPrivilege",
                                         L"SeChangeNotifyPrivilege",
                                         L"SeRemoteShutdownPrivilege",
                                         L"SeUndockPrivilege",
                                         L"SeSyncAgentPrivilege",
                                         L"SeEnableDelegationPrivilege",
                                         L"SeManageVolumePrivilege"};
constexpr int PrivilegeCount = static_cast<int>(std::size(PrivilegeNames));

ComPtr<TSimDispatch> PrivilegeObject(const TSimPrivilege& privilege) {
    auto object = MakeSim<TSimRecord>();
    object->Add(L"Name", ScopedVariant(privilege.Name))
        .Add(L"Identifier", ScopedVariant(privilege.Ordinal))
        .Add(L"IsEnabled", ScopedVariant(privilege.Enabled))
        .Add(L"DisplayName", ScopedVariant(privilege.Name));
    return object;
}

class TSimPrivilegeSet : public TSimDispatch {
public:
    explicit TSimPrivilegeSet(std::shared_ptr<TSimRepository> repository)
        : TSimDispatch(
              {L"Add", L"AddAsString", L"Remove", L"DeleteAll", L"Count", L"Item", L"_NewEnum"},
              IID_NULL),
          FRepository(std::move(repository)) {}

protected:
    ScopedVariant Call(size_t member, WORD flags, const TSimArgs& args) override {
        ReadOnly(flags);
        switch (member) {
        case 0: {
            const long ordinal = args.Long(0);
            if (ordinal < 1 || ordinal > PrivilegeCount) throw SimError(WBEM_E_INVALID_PARAMETER);
            return Add(
                {PrivilegeNames[ordinal - 1], static_cast<int>(ordinal), args.Bool(1, true)});
        }
        case 1: {
            const std::wstring name = args.Text(0);
            for (int i = 0; i < PrivilegeCount; ++i)
                if (SameText(name, PrivilegeNames[i]))
                    return Add({PrivilegeNames[i], i + 1, args.Bool(1, true)});
            throw SimError(WBEM_E_INVALID_PARAMETER);
        }
        case 2: {
            const long ordinal = args.Long(0);
            std::erase_if(FHeld, [&](const TSimPrivilege& p) { return p.Ordinal == ordinal; });
            return {};
        }
        case 3:
            FHeld.clear();
            return {};
        case 4:
            return Long(static_cast<long>(FHeld.size()));
        case 5: {
            const long ordinal = args.Long(0);
            for (const TSimPrivilege& p : FHeld)
                if (p.Ordinal == ordinal) return AsVariant(PrivilegeObject(p).Get());
            throw SimError(WBEM_E_NOT_FOUND);
        }
        default: {
            std::vector<ComPtr<IDispatch>> items;
            for (const TSimPrivilege& p : FHeld)
                items.push_back(PrivilegeObject(p));
            return SimEnumeration(std::move(items));
        }
        }
    }

private:
    ScopedVariant Add(TSimPrivilege privilege) {
        FRepository->Probe().PrivilegeAdded(privilege);
        std::erase_if(FHeld,
                      [&](const TSimPrivilege& p) { return p.Ordinal == privilege.Ordinal; });
        FHeld.push_back(privilege);
        return AsVariant(PrivilegeObject(privilege).Get());
    }
    std::shared_ptr<TSimRepository> FRepository;
    std::vector<TSimPrivilege> FHeld;
};

// Security_ of a services object or the locator. Impersonation defaults to impersonate (3).
class TSimSecurity : public TSimDispatch {
public:
    explicit TSimSecurity(std::shared_ptr<TSimRepository> repository)
        : TSimDispatch({L"ImpersonationLevel", L"AuthenticationLevel", L"Privileges"}, IID_NULL),
          FRepository(std::move(repository)), FPrivileges(MakeSim<TSimPrivilegeSet>(FRepository)) {}

protected:
    ScopedVariant Call(size_t member, WORD flags, const TSimArgs& args) override {
        if (member < 2 && !IsGet(flags)) {
            const long level = args.Long(args.Count() - 1);
            if (level < 1 || level > (member == 0 ? 4 : 6))
                throw SimError(WBEM_E_INVALID_PARAMETER);
            (member == 0 ? FImpersonation : FAuthentication) = level;
            if (member == 0) FRepository->Probe().ImpersonationSet(static_cast<int>(level));
            return {};
        }
        ReadOnly(flags);
        switch (member) {
        case 0:
            return Long(FImpersonation);
        case 1:
            return Long(FAuthentication);
        default:
            return AsVariant(FPrivileges.Get());
        }
    }

private:
    std::shared_ptr<TSimRepository> FRepository;
    ComPtr<TSimDispatch> FPrivileges;
    long FImpersonation = 3;
    long FAuthentication = 6;
};
} // namespace

ComPtr<TSimDispatch> MakeSimSecurity(std::shared_ptr<TSimRepository> repository) {
    return MakeSim<TSimSecurity>(std::move(repository));
}
