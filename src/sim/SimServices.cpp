#include "sim/SimServices.h"

#include "wbem/WbemScripting.h"
#include "sim/SimCollection.h"
#include "sim/SimEvents.h"
#include "sim/SimNamedValues.h"
#include "sim/SimObject.h"
#include "sim/SimSecurity.h"
#include "sim/WqlQuery.h"

namespace {
// (text, language = "WQL", flags, context) as a query call received them.
TSimQuery QueryRecord(const TSimArgs& args, long defaultFlags) {
    return {args.Text(0), args.Text(1, L"WQL"), args.Long(2, defaultFlags), !args.Missing(2),
            SimContextValues(args.Object(3).Get())};
}

class TSimServices : public TSimDispatch {
public:
    TSimServices(std::shared_ptr<TSimRepository> repository, std::wstring nameSpace)
        : TSimDispatch(
              {L"ExecQuery", L"Get", L"InstancesOf", L"Security_", L"ExecNotificationQuery"},
              kIidSWbemServices),
          FRepository(std::move(repository)), FNamespace(std::move(nameSpace)),
          FSecurity(MakeSimSecurity(FRepository)) {}

protected:
    ScopedVariant Call(size_t member, WORD flags, const TSimArgs& args) override {
        ReadOnly(flags);
        switch (member) {
        case 0: { // ExecQuery(text, language = "WQL", flags = wbemFlagReturnImmediately, context)
            TSimQuery record = QueryRecord(args, kWbemFlagReturnImmediately);
            FRepository->Probe().Queried(record);
            return RunQuery(record.Text, record.Language, record.Flags);
        }
        case 1: { // Get(path, flags, context)
            TSimGet record{args.Text(0), args.Long(1), !args.Missing(2)};
            FRepository->Probe().Got(record);
            return AsVariant(
                SimGetObject(FRepository, FNamespace, record.Path, record.Flags).Get());
        }
        case 2: { // InstancesOf(class, flags, context)
            const std::wstring text = L"select * from " + args.Text(0);
            return RunQuery(text, L"WQL", args.Long(1, kWbemFlagReturnImmediately));
        }
        case 3:
            return AsVariant(FSecurity.Get());
        default: { // ExecNotificationQuery(text, language, flags = 48, context)
            TSimQuery record = QueryRecord(args, kWbemFlagReturnImmediately | kWbemFlagForwardOnly);
            FRepository->Probe().NotificationQueried(record);
            if (ComPtr<IDispatch> source = FRepository->Probe().OpenEventSource(FNamespace, record))
                return AsVariant(source.Get());
            return AsVariant(SimOpenEventSource(FRepository, FNamespace, record).Get());
        }
        }
    }

private:
    // A query that fails answers at once without wbemFlagReturnImmediately, and otherwise when
    // its objects are first asked for, as WMI does.
    ScopedVariant RunQuery(const std::wstring& text, const std::wstring& language, long flags) {
        std::vector<TSimCollection::TEntry> entries;
        HRESULT error = S_OK;
        try {
            if (!SameText(language, L"WQL")) throw SimError(WBEM_E_INVALID_QUERY_TYPE);
            entries = Select(TWqlQuery::Parse(text), flags & kWbemQueryFlagPrototype);
        } catch (const TSimError& e) {
            if (!(flags & kWbemFlagReturnImmediately)) throw;
            error = e.Code;
        }
        return AsVariant(
            MakeSim<TSimCollection>(std::move(entries), kIidSWbemObjectSet, error).Get());
    }

    std::vector<TSimCollection::TEntry> Select(const TWqlQuery& query, bool prototype) {
        std::shared_ptr<const TSimClassDef> found =
            FRepository->FindClass(FNamespace, query.ClassName());
        if (!found) throw SimError(WBEM_E_INVALID_CLASS);
        query.Check(*found);
        if (const HRESULT error = FRepository->Probe().QueryError(found->Name); FAILED(error))
            throw TSimError{error};
        std::shared_ptr<const TSimClassDef> cls = found;
        if (!query.Selected().empty()) {
            // The objects carry the selected properties and the keys.
            auto narrowed = std::make_shared<TSimClassDef>(*found);
            std::erase_if(narrowed->Properties, [&](const TSimPropertyDef& p) {
                if (p.Key) return false;
                for (const std::wstring& name : query.Selected())
                    if (SameText(name, p.Name)) return false;
                return true;
            });
            cls = narrowed;
        }
        std::vector<TSimCollection::TEntry> entries;
        if (prototype) {
            // One object that shows the shape of the result, without values.
            auto object = MakeSim<TSimWmiObject>(FRepository, cls, FNamespace,
                                                 std::vector<ScopedVariant>{}, false);
            entries.push_back({cls->Name, object});
            return entries;
        }
        for (std::vector<ScopedVariant>& all : FRepository->Instances(*found)) {
            if (!query.Matches(*found, all)) continue;
            std::vector<ScopedVariant> values;
            for (const TSimPropertyDef& p : cls->Properties)
                for (size_t i = 0; i < found->Properties.size(); ++i)
                    if (found->Properties[i].Name == p.Name) values.push_back(std::move(all[i]));
            auto object =
                MakeSim<TSimWmiObject>(FRepository, cls, FNamespace, std::move(values), false);
            entries.push_back({object->RelPath(), object});
        }
        return entries;
    }

    std::shared_ptr<TSimRepository> FRepository;
    std::wstring FNamespace;
    ComPtr<TSimDispatch> FSecurity;
};

// Splits "Class", "Class.Key=Value[,Key=Value]" or "Class=Value" after an optional
// "\\server\namespace:" prefix.
struct TObjectPath {
    std::wstring Class;
    std::vector<std::pair<std::wstring, std::wstring>>
        Keys; // an empty key name stands for the only key
};

TObjectPath ParseObjectPath(const std::wstring& text) {
    std::wstring rest = text;
    if (rest.rfind(L"\\\\", 0) == 0 || rest.rfind(L"//", 0) == 0) {
        const size_t colon = rest.find(L':');
        if (colon == std::wstring::npos) throw SimError(WBEM_E_INVALID_OBJECT_PATH);
        rest = rest.substr(colon + 1);
    }
    TObjectPath path;
    const size_t split = rest.find_first_of(L".=");
    path.Class = rest.substr(0, split);
    if (path.Class.empty()) throw SimError(WBEM_E_INVALID_OBJECT_PATH);
    if (split == std::wstring::npos) return path;
    std::wstring keys = rest[split] == L'=' ? rest.substr(split) : rest.substr(split + 1);
    while (!keys.empty()) {
        const size_t eq = keys.find(L'=');
        if (eq == std::wstring::npos) throw SimError(WBEM_E_INVALID_OBJECT_PATH);
        std::wstring name = keys.substr(0, eq), value;
        size_t at = eq + 1;
        if (at < keys.size() && keys[at] == L'"') {
            for (++at; at < keys.size() && keys[at] != L'"'; ++at) {
                if (keys[at] == L'\\' && at + 1 < keys.size()) ++at;
                value += keys[at];
            }
            if (at >= keys.size()) throw SimError(WBEM_E_INVALID_OBJECT_PATH);
            ++at;
        } else {
            const size_t end = keys.find(L',', at);
            value = keys.substr(at, end == std::wstring::npos ? std::wstring::npos : end - at);
            at = end == std::wstring::npos ? keys.size() : end;
        }
        if (value.empty()) throw SimError(WBEM_E_INVALID_OBJECT_PATH);
        path.Keys.emplace_back(std::move(name), std::move(value));
        if (at < keys.size() && keys[at] != L',') throw SimError(WBEM_E_INVALID_OBJECT_PATH);
        keys = at < keys.size() ? keys.substr(at + 1) : L"";
    }
    return path;
}
} // namespace

ComPtr<TSimDispatch> SimGetObject(const std::shared_ptr<TSimRepository>& repository,
                                  const std::wstring& nameSpace, const std::wstring& text,
                                  long flags) {
    const TObjectPath path = ParseObjectPath(text);
    std::shared_ptr<const TSimClassDef> cls = repository->FindClass(nameSpace, path.Class);
    if (!cls) throw SimError(WBEM_E_NOT_FOUND);
    const bool amended = flags & kWbemFlagUseAmendedQualifiers;
    if (path.Keys.empty())
        return MakeSim<TSimWmiObject>(repository, cls, nameSpace, std::vector<ScopedVariant>{},
                                      amended);
    std::vector<size_t> keys;
    for (size_t i = 0; i < cls->Properties.size(); ++i)
        if (cls->Properties[i].Key) keys.push_back(i);
    if (keys.size() != 1 || path.Keys.size() != 1 ||
        (!path.Keys[0].first.empty() &&
         !SameText(path.Keys[0].first, cls->Properties[keys[0]].Name)))
        throw SimError(WBEM_E_INVALID_OBJECT_PATH);
    for (std::vector<ScopedVariant>& values : repository->Instances(*cls)) {
        // A null key has no text, and a path's key value is never empty.
        if (SameText(VariantToText(values[keys[0]].Get()), path.Keys[0].second))
            return MakeSim<TSimWmiObject>(repository, cls, nameSpace, std::move(values), amended);
    }
    throw SimError(WBEM_E_NOT_FOUND);
}

ComPtr<TSimDispatch> MakeSimServices(std::shared_ptr<TSimRepository> repository,
                                     std::wstring nameSpace) {
    return MakeSim<TSimServices>(std::move(repository), std::move(nameSpace));
}
