#pragma once
// The WQL the program speaks: select * | properties from <class> [where <conditions>], the
// conditions comparisons joined by and / or, keywords in any case, blanks and line ends
// anywhere between words.
#include <string>
#include <vector>

#include "framework/ComTypes.h"
#include "sim/SimSchema.h"

class TWqlQuery {
public:
    // Raises WBEM_E_INVALID_QUERY for what is not WQL of that form.
    static TWqlQuery Parse(const std::wstring& text);

    const std::wstring& ClassName() const { return FClassName; }
    // The selected properties; empty for "*".
    const std::vector<std::wstring>& Selected() const { return FSelected; }
    // Raises WBEM_E_INVALID_QUERY when a named property is not one of the class's.
    void Check(const TSimClassDef& cls) const;
    bool Matches(const TSimClassDef& cls, const std::vector<ScopedVariant>& values) const;

private:
    struct TLiteral {
        enum TKind { NumberKind, TextKind, BooleanKind, NullKind } Kind = NullKind;
        std::wstring Text;
        long long Number = 0;
    };
    struct TComparison {
        std::wstring Property;
        std::wstring Operator; // "=", "<>", "<", ">", "<=", ">="
        TLiteral Value;
    };
    using TAllOf = std::vector<TComparison>;

    bool Holds(const TComparison& c, const TSimClassDef& cls,
               const std::vector<ScopedVariant>& values) const;

    std::wstring FClassName;
    std::vector<std::wstring> FSelected;
    std::vector<TAllOf> FAnyOf; // empty: no where clause
};
