#include "sim/SimMofText.h"

#include "sim/SimObject.h"

namespace {
std::wstring Quoted(const std::wstring& text) {
    std::wstring quoted = L"\"";
    for (wchar_t c : text) {
        if (c == L'\\' || c == L'"') quoted += L'\\';
        quoted += c;
    }
    return quoted + L"\"";
}

std::wstring Scalar(const TSimPropertyDef& p, const VARIANT& v) {
    if (v.vt == VT_BOOL) return v.boolVal ? L"TRUE" : L"FALSE";
    if (v.vt == VT_DISPATCH || v.vt == VT_UNKNOWN) {
        auto* embedded = dynamic_cast<TSimWmiObject*>(TSimDispatch::Implementation(v.punkVal));
        return embedded ? embedded->ObjectText() : L"";
    }
    ScopedVariant text;
    // A value without text (null, say) is left bare rather than shown as an empty string.
    if (ConvertVariant(v, VT_BSTR, text) != S_OK) return {};
    const std::wstring s = VariantToText(text.Get());
    const bool quoted = p.CimType == CimString || p.CimType == CimDatetime ||
                        p.CimType == CimChar16 || p.CimType == CimReference;
    return quoted ? Quoted(s) : s;
}
} // namespace

std::wstring SimMofValue(const TSimPropertyDef& def, const VARIANT& value) {
    if (!(value.vt & VT_ARRAY)) return Scalar(def, value);
    std::wstring list = L"{";
    LONG low = 0, high = -1;
    SafeArrayGetLBound(value.parray, 1, &low);
    SafeArrayGetUBound(value.parray, 1, &high);
    for (LONG i = low; i <= high; ++i) {
        // Arrays of strings or numbers as well as of variants.
        ScopedVariant item = SimArrayElement(value.parray, i);
        list += (i == low ? L"" : L", ") + Scalar(def, item.Get());
    }
    return list + L"}";
}

std::wstring SimObjectText(const TSimClassDef& cls, bool isClass,
                           const std::vector<ScopedVariant>& values) {
    std::wstring text;
    if (isClass) {
        text = L"\nclass " + cls.Name + (cls.Superclass.empty() ? L"" : L" : " + cls.Superclass) +
               L"\n{\n";
        for (const TSimPropertyDef& p : cls.Properties)
            text += std::wstring(L"\t") + (p.Key ? L"[key] " : L"") + SimCimTypeName(p.CimType) +
                    L" " + p.Name + (p.IsArray ? L"[]" : L"") + L";\n";
    } else {
        text = L"\ninstance of " + cls.Name + L"\n{\n";
        for (size_t i = 0; i < cls.Properties.size(); ++i) {
            const VARIANT& v = values[i].Get();
            if (VariantIsNull(v)) continue;
            text += L"\t" + cls.Properties[i].Name + L" = " + SimMofValue(cls.Properties[i], v) +
                    L";\n";
        }
    }
    return text + L"};\n";
}
