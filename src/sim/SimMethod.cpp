#include "sim/SimMethod.h"

#include "sim/SimObject.h"
#include "sim/SimQualifiers.h"

TSimMethod::TSimMethod(std::shared_ptr<TSimRepository> repository, const TSimClassDef& owner,
                       const TSimMethodDef& def, bool amended)
    : TSimDispatch({L"Name", L"Origin", L"InParameters", L"OutParameters", L"Qualifiers_"},
                   IID_NULL),
      FRepository(std::move(repository)), FOwner(owner.Name), FDef(def), FAmended(amended) {}

ScopedVariant TSimMethod::Call(size_t member, WORD flags, const TSimArgs&) {
    ReadOnly(flags);
    switch (member) {
    case 0:
        return ScopedVariant(FDef.Name);
    case 1:
        return ScopedVariant(FOwner);
    case 2:
        if (FDef.InParameters.empty()) return SimNull();
        return Parameters(SimParameterClass(FDef.InParameters));
    case 3:
        return Parameters(SimOutParameterClass());
    default:
        return AsVariant(SimQualifierSet(SimMethodQualifiers(), FAmended).Get());
    }
}

ScopedVariant TSimMethod::Parameters(std::shared_ptr<const TSimClassDef> cls) const {
    return AsVariant(MakeSim<TSimWmiObject>(FRepository, std::move(cls), L"root\\cimv2",
                                            std::vector<ScopedVariant>{}, FAmended)
                         .Get());
}
