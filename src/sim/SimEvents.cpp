#include "sim/SimEvents.h"

#include <objbase.h>

#include "wbem/WbemScripting.h"
#include "sim/SimObject.h"
#include "sim/WqlQuery.h"

namespace {
// One media event as NextEvent hands it out: bound to the apartment that took it.
class TSimEventObject : public TSimWmiObject {
public:
    TSimEventObject(std::shared_ptr<TSimRepository> repository,
                    std::shared_ptr<const TSimClassDef> cls, std::vector<ScopedVariant> values)
        : TSimWmiObject(std::move(repository), std::move(cls), L"root\\WMI", std::move(values),
                        false) {
        BindToApartment();
    }
};

// The semisynchronous event source of ExecNotificationQuery. Like WMI's own it belongs to the
// apartment that opened it, and NextEvent(timeout) waits as an outgoing call does: the
// apartment goes on serving calls made to it meanwhile.
class TSimEventSource : public TSimDispatch {
public:
    TSimEventSource(std::shared_ptr<TSimRepository> repository,
                    std::shared_ptr<const TSimClassDef> cls, std::shared_ptr<TSimEventQueue> queue)
        : TSimDispatch({L"NextEvent"}, kIidSWbemEventSource), FRepository(std::move(repository)),
          FClass(std::move(cls)), FQueue(std::move(queue)) {
        BindToApartment();
    }

protected:
    ScopedVariant Call(size_t, WORD flags, const TSimArgs& args) override {
        ReadOnly(flags);
        const long timeout = args.Long(0, -1); // WBEM_INFINITE
        if (const HRESULT error = FRepository->Probe().NextEventError(); FAILED(error))
            throw TSimError{error};
        const std::wstring instanceName = Take(timeout < 0 ? INFINITE : DWORD(timeout));
        std::vector<ScopedVariant> values;
        values.emplace_back(true);
        values.push_back(instanceName.empty() ? SimNull() : ScopedVariant(instanceName));
        return AsVariant(MakeSim<TSimEventObject>(FRepository, FClass, std::move(values)).Get());
    }

private:
    std::wstring Take(DWORD timeout) {
        const ULONGLONG until = GetTickCount64() + timeout;
        for (;;) {
            {
                std::lock_guard guard(FQueue->Lock);
                if (!FQueue->InstanceNames.empty()) {
                    std::wstring name = std::move(FQueue->InstanceNames.front());
                    FQueue->InstanceNames.pop_front();
                    if (FQueue->InstanceNames.empty()) ResetEvent(FQueue->Ready.Get());
                    return name;
                }
            }
            const ULONGLONG now = GetTickCount64();
            if (timeout != INFINITE && now >= until) throw SimError(kWbemErrTimedOut);
            HANDLE ready = FQueue->Ready.Get();
            DWORD index = 0;
            const HRESULT waited = CoWaitForMultipleHandles(
                0, timeout == INFINITE ? INFINITE : DWORD(until - now), 1, &ready, &index);
            if (waited == RPC_S_CALLPENDING) throw SimError(kWbemErrTimedOut);
            if (FAILED(waited)) throw TSimError{waited};
        }
    }

    std::shared_ptr<TSimRepository> FRepository;
    std::shared_ptr<const TSimClassDef> FClass;
    std::shared_ptr<TSimEventQueue> FQueue;
};
} // namespace

// The source is registered before it is handed out, so no event raised afterwards is lost.
ComPtr<TSimDispatch> SimOpenEventSource(const std::shared_ptr<TSimRepository>& repository,
                                        const std::wstring& nameSpace, const TSimQuery& record) {
    if (!SameText(record.Language, L"WQL")) throw SimError(WBEM_E_INVALID_QUERY_TYPE);
    if (const HRESULT error = repository->Probe().NotificationQueryError(record.Text);
        FAILED(error))
        throw TSimError{error};
    const TWqlQuery query = TWqlQuery::Parse(record.Text);
    std::shared_ptr<const TSimClassDef> cls =
        nameSpace == L"root\\WMI" ? SimMediaEventClass(query.ClassName()) : nullptr;
    if (!cls) throw SimError(WBEM_E_INVALID_CLASS);
    query.Check(*cls);
    auto queue = std::make_shared<TSimEventQueue>();
    if (!queue->Ready) throw TSimError{HRESULT_FROM_WIN32(GetLastError())};
    queue->ClassName = cls->Name;
    {
        std::lock_guard guard(repository->EventLock);
        repository->EventQueues.push_back(queue);
    }
    return MakeSim<TSimEventSource>(repository, cls, std::move(queue));
}
