#include "sim/WqlQuery.h"

#include <stdexcept>

#include "sim/SimDispatch.h"

namespace {
[[noreturn]] void Invalid() {
    throw SimError(WBEM_E_INVALID_QUERY);
}

int CompareText(const std::wstring& a, const std::wstring& b) {
    const int r = CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                       static_cast<int>(b.size()), TRUE);
    return r - CSTR_EQUAL;
}

bool Ordered(int comparison, const std::wstring& op) {
    if (op == L"=") return comparison == 0;
    if (op == L"<>") return comparison != 0;
    if (op == L"<") return comparison < 0;
    if (op == L">") return comparison > 0;
    if (op == L"<=") return comparison <= 0;
    return comparison >= 0;
}
} // namespace

TWqlQuery TWqlQuery::Parse(const std::wstring& text) {
    TWqlQuery query;
    try {
        query.FSyntax = ParseWql(text);
    } catch (const EWqlSyntax&) {
        Invalid();
    }
    return query;
}

void TWqlQuery::Check(const TSimClassDef& cls) const {
    auto known = [&](const std::wstring& name) {
        for (const TSimPropertyDef& d : cls.Properties)
            if (SameText(d.Name, name)) return true;
        return false;
    };
    for (const std::wstring& name : FSyntax.Selected)
        if (!known(name)) Invalid();
    for (const std::vector<TWqlComparison>& all : FSyntax.AnyOf)
        for (const TWqlComparison& c : all)
            if (!known(c.Property)) Invalid();
}

bool TWqlQuery::Matches(const TSimClassDef& cls, const std::vector<ScopedVariant>& values) const {
    if (FSyntax.AnyOf.empty()) return true;
    for (const std::vector<TWqlComparison>& all : FSyntax.AnyOf) {
        bool holds = true;
        for (const TWqlComparison& c : all)
            holds = holds && Holds(c, cls, values);
        if (holds) return true;
    }
    return false;
}

bool TWqlQuery::Holds(const TWqlComparison& c, const TSimClassDef& cls,
                      const std::vector<ScopedVariant>& values) const {
    size_t at = 0;
    while (at < cls.Properties.size() && !SameText(cls.Properties[at].Name, c.Property))
        ++at;
    if (at == cls.Properties.size()) Invalid();
    const TSimPropertyDef& def = cls.Properties[at];
    const VARIANT& value = values[at].Get();
    const bool isNull = VariantIsNull(value);
    if (c.Value.Kind == TWqlLiteral::NullKind) return (c.Operator == L"=") == isNull;
    // Arrays cannot be compared in WQL; a null property matches no comparison.
    if (def.IsArray) Invalid();
    if (isNull) return false;
    switch (def.CimType) {
    case CimBoolean: {
        long long wanted = c.Value.Number;
        if (c.Value.Kind == TWqlLiteral::TextKind) {
            if (SameText(c.Value.Text, L"true"))
                wanted = 1;
            else if (SameText(c.Value.Text, L"false"))
                wanted = 0;
            else
                Invalid();
        }
        ScopedVariant flag;
        if (FAILED(ConvertVariant(value, VT_BOOL, flag))) Invalid();
        const int actual = flag.Get().boolVal != VARIANT_FALSE ? 1 : 0;
        return Ordered(actual - (wanted != 0 ? 1 : 0), c.Operator);
    }
    case CimSint8:
    case CimSint16:
    case CimSint32:
    case CimSint64:
    case CimUint8:
    case CimUint16:
    case CimUint32:
    case CimUint64: {
        if (c.Value.Kind == TWqlLiteral::BooleanKind) Invalid();
        long long wanted = c.Value.Number;
        if (c.Value.Kind == TWqlLiteral::TextKind) {
            try {
                size_t used = 0;
                wanted = std::stoll(c.Value.Text, &used);
                if (used != c.Value.Text.size()) Invalid();
            } catch (const std::logic_error&) {
                Invalid();
            }
        }
        ScopedVariant number;
        if (FAILED(ConvertVariant(value, VT_I8, number))) Invalid();
        const long long actual = number.Get().llVal;
        return Ordered(actual == wanted ? 0 : (actual < wanted ? -1 : 1), c.Operator);
    }
    default: {
        if (c.Value.Kind == TWqlLiteral::BooleanKind) Invalid();
        ScopedVariant text;
        if (FAILED(ConvertVariant(value, VT_BSTR, text))) Invalid();
        return Ordered(CompareText(VariantToText(text.Get()), c.Value.Text), c.Operator);
    }
    }
}
