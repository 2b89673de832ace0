#pragma once
// The WQL the program speaks, read into its parts: select * | properties from <class>
// [where <conditions>], the conditions comparisons joined by and / or, keywords in any case,
// blanks and line ends anywhere between words. Needs no windows.h.
#include <string>
#include <vector>

struct TWqlLiteral {
    enum TKind { NumberKind, TextKind, BooleanKind, NullKind } Kind = NullKind;
    std::wstring Text;
    long long Number = 0;
};

struct TWqlComparison {
    std::wstring Property;
    std::wstring Operator; // "=", "<>", "<", ">", "<=", ">="
    TWqlLiteral Value;
};

struct TWqlSyntax {
    std::wstring ClassName;
    std::vector<std::wstring> Selected; // empty for "*"
    // Alternatives joined by "or", each comparisons joined by "and"; empty: no where clause.
    std::vector<std::vector<TWqlComparison>> AnyOf;
};

// Raised for a text that is not WQL of that form.
struct EWqlSyntax {};

TWqlSyntax ParseWql(const std::wstring& text);
