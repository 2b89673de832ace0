#include "sim/WqlSyntax.h"

#include <cwctype>
#include <stdexcept>

namespace {
struct TToken {
    enum TKind { Word, Number, Text, Symbol, End } Kind = End;
    std::wstring Value;
};

[[noreturn]] void Invalid() {
    throw EWqlSyntax{};
}

// Keywords are ASCII, so case is folded for ASCII letters alone.
bool SameKeyword(const std::wstring& word, const wchar_t* keyword) {
    size_t i = 0;
    for (; i < word.size() && keyword[i]; ++i) {
        const wchar_t c = word[i];
        if ((c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c) != keyword[i]) return false;
    }
    return i == word.size() && !keyword[i];
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
        return Peek().Kind == TToken::Word && SameKeyword(Peek().Value, word);
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
} // namespace

TWqlSyntax ParseWql(const std::wstring& text) {
    TParser p(Tokenize(text));
    TWqlSyntax query;
    p.ExpectKeyword(L"select");
    if (!p.TakeSymbol(L"*")) {
        do
            query.Selected.push_back(p.Name());
        while (p.TakeSymbol(L","));
    }
    p.ExpectKeyword(L"from");
    query.ClassName = p.Name();
    if (p.TakeKeyword(L"where")) {
        query.AnyOf.emplace_back();
        for (;;) {
            TWqlComparison c;
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
                    c.Value.Kind = TWqlLiteral::NumberKind;
                    try {
                        c.Value.Number = std::stoll(value.Value);
                    } catch (const std::out_of_range&) {
                        Invalid(); // beyond every CIM integer
                    }
                    c.Value.Text = value.Value;
                } else if (value.Kind == TToken::Text) {
                    c.Value.Kind = TWqlLiteral::TextKind;
                    c.Value.Text = value.Value;
                } else if (value.Kind == TToken::Word && (SameKeyword(value.Value, L"true") ||
                                                          SameKeyword(value.Value, L"false"))) {
                    c.Value.Kind = TWqlLiteral::BooleanKind;
                    c.Value.Number = SameKeyword(value.Value, L"true") ? 1 : 0;
                } else if (value.Kind == TToken::Word && SameKeyword(value.Value, L"null")) {
                    if (c.Operator != L"=" && c.Operator != L"<>") Invalid();
                } else {
                    Invalid();
                }
            }
            query.AnyOf.back().push_back(std::move(c));
            if (p.TakeKeyword(L"or"))
                query.AnyOf.emplace_back();
            else if (!p.TakeKeyword(L"and"))
                break;
        }
    }
    if (p.Peek().Kind != TToken::End) Invalid();
    return query;
}
