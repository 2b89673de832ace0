#include "framework/IniFile.h"

#include <windows.h>

#include <optional>

#include "framework/Exception.h"
#include "framework/Scoped.h"
#include "framework/Strings.h"

namespace {

std::optional<std::string> ReadBytes(const std::wstring& path) {
    ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size{};
    if (file.Get() == INVALID_HANDLE_VALUE || !GetFileSizeEx(file.Get(), &size) ||
        size.QuadPart > 64 * 1024 * 1024)
        return std::nullopt;
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() &&
        (!ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
         read != bytes.size()))
        return std::nullopt;
    return bytes;
}

// The new bytes go to a file beside it that then replaces it, so a write that fails part-way
// (a full disk) leaves the file as it was.
bool WriteBytes(const std::wstring& path, const std::string& bytes) {
    const std::wstring fresh = path + L".new";
    bool written = false;
    {
        ScopedHandle file(
            CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD n = 0;
        written =
            file.Get() != INVALID_HANDLE_VALUE &&
            WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr) &&
            n == bytes.size() && FlushFileBuffers(file.Get());
    }
    if (written && ReplaceFileW(path.c_str(), fresh.c_str(), nullptr,
                                REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
        return true;
    DeleteFileW(fresh.c_str());
    return false;
}

// The file's text in its own units: bytes of a code page, or UTF-16 units.
template <class C> struct TText {
    std::basic_string<C> Units;
    UINT CodePage; // 0 for UTF-16
    std::wstring Decode(size_t at, size_t n) const {
        if constexpr (sizeof(C) == 2) {
            return std::wstring(Units.data() + at, n);
        } else {
            std::wstring text(n, L'\0');
            text.resize(MultiByteToWideChar(CodePage, 0, Units.data() + at, static_cast<int>(n),
                                            text.data(), static_cast<int>(n)));
            return text;
        }
    }
    std::basic_string<C> Encode(const std::wstring& text) const {
        if constexpr (sizeof(C) == 2) {
            return text;
        } else {
            const int n =
                WideCharToMultiByte(CodePage, 0, text.c_str(), static_cast<int>(text.size()),
                                    nullptr, 0, nullptr, nullptr);
            std::string bytes(n, '\0');
            WideCharToMultiByte(CodePage, 0, text.c_str(), static_cast<int>(text.size()),
                                bytes.data(), n, nullptr, nullptr);
            return bytes;
        }
    }
};

// Sets key's value in the first section of that name by changing only the text after its "=",
// or adds the line after the section's last one, or the section at the end. With atEnd, the
// section goes at the end, in lines of CR LF, whatever the file holds.
template <class C>
void SetValue(TText<C>& t, const std::wstring& section, const std::wstring& key,
              const std::wstring& value, bool atEnd) {
    std::basic_string<C>& s = t.Units;
    const C cr = C('\r'), lf = C('\n');
    std::basic_string<C> lineBreak = t.Encode(L"\r\n");
    if (const size_t first = s.find_first_of(t.Encode(L"\r\n")); first != s.npos)
        lineBreak =
            s.compare(first, 2, t.Encode(L"\r\n")) == 0 ? t.Encode(L"\r\n") : s.substr(first, 1);
    bool inSection = false, sectionSeen = false;
    size_t insertAt = s.npos;
    if (atEnd) lineBreak = t.Encode(L"\r\n");
    for (size_t begin = 0; begin < s.size() && !atEnd;) {
        size_t end = s.find_first_of(t.Encode(L"\r\n"), begin);
        if (end == s.npos) end = s.size();
        size_t next = end;
        if (next < s.size() && s[next] == cr) ++next;
        if (next < s.size() && s[next] == lf && (next == end || s[end] == cr)) ++next;
        const std::wstring line = Trim(t.Decode(begin, end - begin));
        const size_t close = line.find(L']');
        if (!line.empty() && line[0] == L'[' && close != line.npos) {
            if (inSection) break; // the key is not in the section: added at its end
            inSection = !sectionSeen && SameText(Trim(line.substr(1, close - 1)), section);
            sectionSeen = sectionSeen || inSection;
            if (inSection) insertAt = next;
        } else if (inSection && !line.empty()) {
            const size_t equals = line.find(L'=');
            if (equals != line.npos && SameText(Trim(line.substr(0, equals)), key)) {
                const size_t at = s.find(C('='), begin) + 1;
                s.replace(at, end - at, t.Encode(value));
                return;
            }
            insertAt = next;
        }
        begin = next;
    }
    std::basic_string<C> added = t.Encode(key + L"=" + value) + lineBreak;
    if (!sectionSeen) {
        added = t.Encode(L"[" + section + L"]") + lineBreak + added;
        insertAt = s.size();
    }
    // A last line without its line break gets one before anything follows it.
    if (insertAt == s.size() && !s.empty() && s.back() != cr && s.back() != lf)
        added = lineBreak + added;
    s.insert(insertAt, added);
}

// The file with the value set and every other byte as it was; nothing when the file is missing,
// empty or in an encoding left to the platform.
std::optional<std::string> WithValue(const std::string& bytes, const std::wstring& section,
                                     const std::wstring& key, const std::wstring& value,
                                     bool atEnd) {
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
        if (bytes.size() % 2) return std::nullopt;
        TText<wchar_t> t{std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2),
                                      (bytes.size() - 2) / 2),
                         0};
        SetValue(t, section, key, value, atEnd);
        return bytes.substr(0, 2) +
               std::string(reinterpret_cast<const char*>(t.Units.data()), t.Units.size() * 2);
    }
    if (bytes.empty() || (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF'))
        return std::nullopt;
    const bool utf8 = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
    TText<char> t{bytes.substr(utf8 ? 3 : 0), static_cast<UINT>(utf8 ? CP_UTF8 : CP_ACP)};
    SetValue(t, section, key, value, atEnd);
    return (utf8 ? bytes.substr(0, 3) : std::string()) + t.Units;
}

} // namespace

std::wstring TIniFile::ReadString(const std::wstring& section, const std::wstring& key,
                                  const std::wstring& defaultValue) {
    wchar_t buffer[MaxValueLength + 1];
    const DWORD n =
        GetPrivateProfileStringW(section.c_str(), key.c_str(), defaultValue.c_str(), buffer,
                                 static_cast<DWORD>(MaxValueLength + 1), FFileName.c_str());
    return std::wstring(buffer, n);
}

void TIniFile::WriteString(const std::wstring& section, const std::wstring& key,
                           const std::wstring& value) {
    // The platform writes the whole file again in its own form: lines it cannot read (binary
    // bytes, NULs, an unclosed "[NET"), blank lines and line breaks would change or go. So the
    // one value is changed in place, and the platform's own reading must then find it there;
    // otherwise the file goes back as it was and the platform writes it.
    // Where the platform reads the file otherwise (a file of lone CRs is one line to it), a
    // section of its own at the end is tried before that.
    //
    // The platform keeps the file it last read, known by name and time of writing; a file
    // replaced within the same tick of the file system's clock would look unchanged to it.
    const auto forgetCachedCopy = [this] {
        WritePrivateProfileStringW(nullptr, nullptr, nullptr, FFileName.c_str());
    };
    // A line break in a value would end its line and make the rest keys and sections of their
    // own; a NUL would cut it short. Refused, whoever asks.
    for (const std::wstring* text : {&section, &key, &value})
        if (text->find_first_of(std::wstring_view(L"\r\n\0", 3)) != std::wstring::npos)
            throw Exception(L"Unable to write to " + FFileName + L": a line break or NUL in " +
                            (text == &value ? L"the value of " + key : L"a name"));
    const std::optional<std::string> before = ReadBytes(FFileName);
    for (const bool atEnd : {false, true}) {
        const std::optional<std::string> after =
            before ? WithValue(*before, section, key, value, atEnd) : std::nullopt;
        if (!after || !WriteBytes(FFileName, *after)) break; // the platform's writer says why
        forgetCachedCopy();
        if (ReadString(section, key, std::wstring(1, L'\x1')) == value.substr(0, MaxValueLength))
            return;
        WriteBytes(FFileName, *before);
    }
    forgetCachedCopy();
    if (!WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(), FFileName.c_str()))
        throw Exception(L"Unable to write to " + FFileName);
}
