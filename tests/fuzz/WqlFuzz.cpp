// The simulated provider's WQL parser: any text is either refused or read into parts that,
// written out again as WQL, read back as the same parts.
#include "FuzzText.h"
#include "sim/WqlSyntax.h"

namespace {
std::wstring Quoted(const std::wstring& text) {
    std::wstring quoted = L"'";
    for (wchar_t c : text) {
        if (c == L'\'' || c == L'\\') quoted += L'\\';
        quoted += c;
    }
    return quoted + L"'";
}

std::wstring Written(const TWqlSyntax& q) {
    std::wstring text = L"select ";
    if (q.Selected.empty()) text += L"*";
    for (size_t i = 0; i < q.Selected.size(); ++i)
        text += (i ? L", " : L"") + q.Selected[i];
    text += L" from " + q.ClassName;
    for (size_t a = 0; a < q.AnyOf.size(); ++a) {
        text += a ? L" or " : L" where ";
        for (size_t c = 0; c < q.AnyOf[a].size(); ++c) {
            const TWqlComparison& cmp = q.AnyOf[a][c];
            text += (c ? L" and " : L"") + cmp.Property;
            switch (cmp.Value.Kind) {
            case TWqlLiteral::NullKind:
                text += cmp.Operator == L"=" ? L" is null" : L" is not null";
                break;
            case TWqlLiteral::NumberKind:
                text += L" " + cmp.Operator + L" " + cmp.Value.Text;
                break;
            case TWqlLiteral::TextKind:
                text += L" " + cmp.Operator + L" " + Quoted(cmp.Value.Text);
                break;
            case TWqlLiteral::BooleanKind:
                text += L" " + cmp.Operator + (cmp.Value.Number ? L" TRUE" : L" false");
                break;
            }
        }
    }
    return text;
}

bool Same(const TWqlSyntax& a, const TWqlSyntax& b) {
    if (a.ClassName != b.ClassName || a.Selected != b.Selected || a.AnyOf.size() != b.AnyOf.size())
        return false;
    for (size_t i = 0; i < a.AnyOf.size(); ++i) {
        if (a.AnyOf[i].size() != b.AnyOf[i].size()) return false;
        for (size_t k = 0; k < a.AnyOf[i].size(); ++k) {
            const TWqlComparison &x = a.AnyOf[i][k], &y = b.AnyOf[i][k];
            if (x.Property != y.Property || x.Operator != y.Operator ||
                x.Value.Kind != y.Value.Kind || x.Value.Text != y.Value.Text ||
                x.Value.Number != y.Value.Number)
                return false;
        }
    }
    return true;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TWqlSyntax query;
    try {
        query = ParseWql(FuzzText(data, size));
    } catch (const EWqlSyntax&) {
        return 0;
    }
    FUZZ_CHECK(!query.ClassName.empty());
    for (const auto& all : query.AnyOf) {
        FUZZ_CHECK(!all.empty());
        for (const TWqlComparison& c : all)
            FUZZ_CHECK(c.Operator == L"=" || c.Operator == L"<>" || c.Operator == L"<" ||
                       c.Operator == L">" || c.Operator == L"<=" || c.Operator == L">=");
    }
    TWqlSyntax again;
    try {
        again = ParseWql(Written(query));
    } catch (const EWqlSyntax&) {
        FUZZ_CHECK(!"what was read is refused when written out again");
    }
    FUZZ_CHECK(Same(query, again));
    return 0;
}
