#include "sim/SimLocator.h"

#include "wbem/WbemScripting.h"
#include "sim/SimNamedValues.h"
#include "sim/SimSecurity.h"
#include "sim/SimServices.h"

namespace {
class TSimLocator : public TSimDispatch {
public:
    explicit TSimLocator(std::shared_ptr<TSimRepository> repository)
        : TSimDispatch({L"ConnectServer", L"Security_"}, kIidSWbemLocator),
          FRepository(std::move(repository)), FSecurity(MakeSimSecurity(FRepository)) {}

protected:
    ScopedVariant Call(size_t member, WORD flags, const TSimArgs& args) override {
        ReadOnly(flags);
        if (member == 1) return AsVariant(FSecurity.Get());
        // ConnectServer(server, namespace, user, password, locale, authority, flags, context)
        ComPtr<IDispatch> context = args.Object(7);
        TSimConnect record{args.Text(0), args.Text(1),       args.Text(2),
                           args.Text(3), args.Text(4),       args.Text(5),
                           args.Long(6), context != nullptr, SimContextValues(context.Get())};
        FRepository->Probe().Connected(record);
        if (const HRESULT error = FRepository->Probe().ServiceError(); FAILED(error))
            throw TSimError{error};
        // Nothing leaves this process: another computer is never reachable.
        if (!SimIsLocalServer(record.Server))
            throw TSimError{HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE)};
        if (!record.User.empty()) throw SimError(WBEM_E_LOCAL_CREDENTIALS);
        const std::wstring nameSpace = SimNamespace(record.NameSpace);
        if (nameSpace.empty()) throw SimError(WBEM_E_INVALID_NAMESPACE);
        return AsVariant(MakeSimServices(FRepository, nameSpace).Get());
    }

private:
    std::shared_ptr<TSimRepository> FRepository;
    ComPtr<TSimDispatch> FSecurity;
};
} // namespace

ComPtr<TSimDispatch> MakeSimLocator(std::shared_ptr<TSimRepository> repository) {
    return MakeSim<TSimLocator>(std::move(repository));
}

std::wstring SimComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &size) ? std::wstring(name, size) : L".";
}

bool SimIsLocalServer(const std::wstring& server) {
    return server.empty() || server == L"." || SameText(server, L"localhost") ||
           SameText(server, SimComputerName());
}
