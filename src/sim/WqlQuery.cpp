#include "sim/WqlQuery.h"

#include <cwctype>
#include <stdexcept>

#include "sim/SimDispatch.h"

namespace {
struct TToken {
    enum TKind { Word, Number, Text, Symbol, End } Kind = End;
    std::wstring Value;
};

[[noreturn]] void Invalid() {
    throw SimError(WBEM_E_INVALID_QUERY);
}

std::vector<TToken> Tokenize(const std::wstring& text) {
    std::vector<TToken> tokens;
    size_t i = 0;
    while (i < text.size()) {
        const wchar_t c = text[i];
        if (std::iswspace(c)) {
            ++i;
        } else if (std::iswalpha(c) || c == L'_') {
            size_t end = i;
            while (end < text.size() && (std::iswalnum(text[end]) || text[end] == L'_'))
                ++end;
            tokens.push_back({TToken::Word, text.substr(i, end - i)});
            i = end;
        } else if (std::iswdigit(c) ||
                   (c == L'-' && i + 1 < text.size() && std::iswdigit(text[i + 1]))) {
            size_t end = i + 1;
            while (end < text.size() && std::iswdigit(text[end]))
                ++end;
            tokens.push_back({TToken::Number, text.substr(i, end - i)});
            i = end;
        } else if (c == L'\'' || c == L'"') {
            std::wstring value;
            size_t end = i + 1;
            for (; end < text.size() && text[end] != c; ++end) {
                if (text[end] == L'\\' && end + 1 < text.size()) ++end;
                value += text[end];
            }
            if (end >= text.size()) Invalid();
            tokens.push_back({TToken::Text, value});
            i = end + 1;
        } else {
            static const wchar_t* const symbols[] = {L"<>", L"!=", L"<=", L">=", L"=",
                                                     L"<",  L">",  L"*",  L","};
            bool matched = false;
            for (const wchar_t* s : symbols) {
                const std::wstring symbol = s;
                if (text.compare(i, symbol.size(), symbol) == 0) {
                    tokens.push_back({TToken::Symbol, symbol == L"!=" ? L"<>" : symbol});
                    i += symbol.size();
                    matched = true;
                    break;
                }
            }
            if (!matched) Invalid();
        }
    }
    tokens.push_back({});
    return tokens;
}

class TParser {
public:
    explicit TParser(std::vector<TToken> tokens) : FTokens(std::move(tokens)) {}
    const TToken& Peek() const { return FTokens[FAt]; }
    TToken Take() { return FTokens[FAt < FTokens.size() - 1 ? FAt++ : FAt]; }
    bool IsKeyword(const wchar_t* word) const {
        return Peek().Kind == TToken::Word && SameText(Peek().Value, word);
    }
    bool TakeKeyword(const wchar_t* word) {
        if (!IsKeyword(word)) return false;
        Take();
        return true;
    }
    void ExpectKeyword(const wchar_t* word) {
        if (!TakeKeyword(word)) Invalid();
    }
    bool TakeSymbol(const wchar_t* symbol) {
        if (Peek().Kind != TToken::Symbol || Peek().Value != symbol) return false;
        Take();
        return true;
    }
    std::wstring Name() {
        if (Peek().Kind != TToken::Word || IsReserved()) Invalid();
        return Take().Value;
    }

private:
    bool IsReserved() const {
        for (const wchar_t* w :
             {L"select", L"from", L"where", L"and", L"or", L"not", L"is", L"null"})
            if (IsKeyword(w)) return true;
        return false;
    }
    std::vector<TToken> FTokens;
    size_t FAt = 0;
};

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
    TParser p(Tokenize(text));
    TWqlQuery query;
    p.ExpectKeyword(L"select");
    if (!p.TakeSymbol(L"*")) {
        do
            query.FSelected.push_back(p.Name());
        while (p.TakeSymbol(L","));
    }
    p.ExpectKeyword(L"from");
    query.FClassName = p.Name();
    if (p.TakeKeyword(L"where")) {
        query.FAnyOf.emplace_back();
        for (;;) {
            TComparison c;
            c.Property = p.Name();
            if (p.TakeKeyword(L"is")) {
                c.Operator = p.TakeKeyword(L"not") ? L"<>" : L"=";
                p.ExpectKeyword(L"null");
            } else {
                const TToken op = p.Take();
                if (op.Kind != TToken::Symbol || op.Value == L"*" || op.Value == L",") Invalid();
                c.Operator = op.Value;
                const TToken value = p.Take();
                if (value.Kind == TToken::Number) {
                    c.Value.Kind = TLiteral::NumberKind;
                    try {
                        c.Value.Number = std::stoll(value.Value);
                    } catch (const std::out_of_range&) {
                        Invalid(); // beyond every CIM integer
                    }
                    c.Value.Text = value.Value;
                } else if (value.Kind == TToken::Text) {
                    c.Value.Kind = TLiteral::TextKind;
                    c.Value.Text = value.Value;
                } else if (value.Kind == TToken::Word &&
                           (SameText(value.Value, L"true") || SameText(value.Value, L"false"))) {
                    c.Value.Kind = TLiteral::BooleanKind;
                    c.Value.Number = SameText(value.Value, L"true") ? 1 : 0;
                } else if (value.Kind == TToken::Word && SameText(value.Value, L"null")) {
                    if (c.Operator != L"=" && c.Operator != L"<>") Invalid();
                } else {
                    Invalid();
                }
            }
            query.FAnyOf.back().push_back(std::move(c));
            if (p.TakeKeyword(L"or"))
                query.FAnyOf.emplace_back();
            else if (!p.TakeKeyword(L"and"))
                break;
        }
    }
    if (p.Peek().Kind != TToken::End) Invalid();
    return query;
}

void TWqlQuery::Check(const TSimClassDef& cls) const {
    auto known = [&](const std::wstring& name) {
        for (const TSimPropertyDef& d : cls.Properties)
            if (SameText(d.Name, name)) return true;
        return false;
    };
    for (const std::wstring& name : FSelected)
        if (!known(name)) Invalid();
    for (const TAllOf& all : FAnyOf)
        for (const TComparison& c : all)
            if (!known(c.Property)) Invalid();
}

bool TWqlQuery::Matches(const TSimClassDef& cls, const std::vector<ScopedVariant>& values) const {
    if (FAnyOf.empty()) return true;
    for (const TAllOf& all : FAnyOf) {
        bool holds = true;
        for (const TComparison& c : all)
            holds = holds && Holds(c, cls, values);
        if (holds) return true;
    }
    return false;
}

bool TWqlQuery::Holds(const TComparison& c, const TSimClassDef& cls,
                      const std::vector<ScopedVariant>& values) const {
    size_t at = 0;
    while (at < cls.Properties.size() && !SameText(cls.Properties[at].Name, c.Property))
        ++at;
    if (at == cls.Properties.size()) Invalid();
    const TSimPropertyDef& def = cls.Properties[at];
    const VARIANT& value = values[at].Get();
    const bool isNull = VariantIsNull(value);
    if (c.Value.Kind == TLiteral::NullKind) return (c.Operator == L"=") == isNull;
    // Arrays cannot be compared in WQL; a null property matches no comparison.
    if (def.IsArray) Invalid();
    if (isNull) return false;
    switch (def.CimType) {
    case CimBoolean: {
        long long wanted = c.Value.Number;
        if (c.Value.Kind == TLiteral::TextKind) {
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
        if (c.Value.Kind == TLiteral::BooleanKind) Invalid();
        long long wanted = c.Value.Number;
        if (c.Value.Kind == TLiteral::TextKind) {
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
        if (c.Value.Kind == TLiteral::BooleanKind) Invalid();
        ScopedVariant text;
        if (FAILED(ConvertVariant(value, VT_BSTR, text))) Invalid();
        return Ordered(CompareText(VariantToText(text.Get()), c.Value.Text), c.Operator);
    }
    }
}
