#pragma once
// Qualifiers of classes, properties, method parameters and methods, as Qualifiers_ lists them.
#include <memory>
#include <string>
#include <vector>

#include "sim/SimDispatch.h"
#include "sim/SimSchema.h"

struct TSimQualifier {
    std::wstring Name;
    std::shared_ptr<ScopedVariant> Value;
    bool Amended = false; // only an object read with wbemFlagUseAmendedQualifiers shows it
};

TSimQualifier SimQualifier(std::wstring name, ScopedVariant value, bool amended = false);
// The Qualifiers_ set; amended qualifiers only when amended is true.
ComPtr<TSimDispatch> SimQualifierSet(const std::vector<TSimQualifier>& qualifiers, bool amended);
std::vector<TSimQualifier> SimPropertyQualifiers(const TSimPropertyDef& def);
// A method parameter's: its type, its position and its direction.
std::vector<TSimQualifier> SimParameterQualifiers(const TSimPropertyDef& def, size_t at);
// The return codes the adapter methods document, as their ValueMap / Values qualifiers give them.
std::vector<TSimQualifier> SimMethodQualifiers();
