#include "sim/SimEvents.h"

#include <chrono>

#include "framework/WbemScripting.h"
#include "sim/SimObject.h"
#include "sim/WqlQuery.h"

namespace {
// The semisynchronous event source of ExecNotificationQuery. NextEvent(timeout) blocks the
// calling thread, which need not be the one that opened the source.
class TSimEventSource : public TSimDispatch {
public:
    TSimEventSource(std::shared_ptr<TSimRepository> repository,
                    std::shared_ptr<const TSimClassDef> cls, std::shared_ptr<TSimEventQueue> queue)
        : TSimDispatch({L"NextEvent"}, kIidSWbemEventSource), FRepository(std::move(repository)),
          FClass(std::move(cls)), FQueue(std::move(queue)) {
        MakeFreeThreaded();
    }

protected:
    ScopedVariant Call(size_t, WORD flags, const TSimArgs& args) override {
        ReadOnly(flags);
        const long timeout = args.Long(0, -1); // WBEM_INFINITE
        std::unique_lock lock(FQueue->Lock);
        const auto arrived = [&] { return !FQueue->InstanceNames.empty(); };
        if (timeout < 0)
            FQueue->Ready.wait(lock, arrived);
        else if (!FQueue->Ready.wait_for(lock, std::chrono::milliseconds(timeout), arrived))
            throw SimError(kWbemErrTimedOut);
        const std::wstring instanceName = FQueue->InstanceNames.front();
        FQueue->InstanceNames.pop_front();
        lock.unlock();
        std::vector<ScopedVariant> values;
        values.emplace_back(true);
        values.push_back(instanceName.empty() ? SimNull() : ScopedVariant(instanceName));
        auto event =
            MakeSim<TSimWmiObject>(FRepository, FClass, L"root\\WMI", std::move(values), false);
        event->MakeFreeThreaded();
        return AsVariant(event.Get());
    }

private:
    std::shared_ptr<TSimRepository> FRepository;
    std::shared_ptr<const TSimClassDef> FClass;
    std::shared_ptr<TSimEventQueue> FQueue;
};
} // namespace

// The source is registered before it is handed out, so no event raised afterwards is lost.
ComPtr<TSimDispatch> SimOpenEventSource(const std::shared_ptr<TSimRepository>& repository,
                                        const std::wstring& nameSpace, const TSimQuery& record) {
    if (!SameText(record.Language, L"WQL")) throw SimError(WBEM_E_INVALID_QUERY_TYPE);
    const TWqlQuery query = TWqlQuery::Parse(record.Text);
    std::shared_ptr<const TSimClassDef> cls =
        nameSpace == L"root\\WMI" ? SimMediaEventClass(query.ClassName()) : nullptr;
    if (!cls) throw SimError(WBEM_E_INVALID_CLASS);
    query.Check(*cls);
    auto queue = std::make_shared<TSimEventQueue>();
    queue->ClassName = cls->Name;
    {
        std::lock_guard guard(repository->EventLock);
        repository->EventQueues.push_back(queue);
    }
    return MakeSim<TSimEventSource>(repository, cls, std::move(queue));
}
