#pragma once
// A WQL query of the form the program speaks (see WqlSyntax.h), matched against objects.
#include <string>
#include <vector>

#include "framework/ComTypes.h"
#include "sim/SimSchema.h"
#include "sim/WqlSyntax.h"

class TWqlQuery {
public:
    // Raises WBEM_E_INVALID_QUERY for what is not WQL of that form.
    static TWqlQuery Parse(const std::wstring& text);

    const std::wstring& ClassName() const { return FSyntax.ClassName; }
    // The selected properties; empty for "*".
    const std::vector<std::wstring>& Selected() const { return FSyntax.Selected; }
    // Raises WBEM_E_INVALID_QUERY when a named property is not one of the class's.
    void Check(const TSimClassDef& cls) const;
    bool Matches(const TSimClassDef& cls, const std::vector<ScopedVariant>& values) const;

private:
    bool Holds(const TWqlComparison& c, const TSimClassDef& cls,
               const std::vector<ScopedVariant>& values) const;

    TWqlSyntax FSyntax;
};
