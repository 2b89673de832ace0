// Writing one value of an INI file leaves every other byte of it as it was.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "framework/Exception.h"
#include "framework/IniFile.h"
#include "framework/Scoped.h"
#include "support/TempFolder.h"

namespace {

std::string Utf16(const std::wstring& text) {
    return std::string("\xFF\xFE", 2) +
           std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

TEST(IniFile, ChangesOneValueInPlaceAndAddsWhatIsMissingWhereItBelongs) {
    TempFolder folder;
    folder.WriteBytes(L"x.ini", "; kept\n\n[net]\n  NET = B  \n\n[A]\nName=x\n\n");
    TIniFile ini(folder.File(L"x.ini"));
    ini.WriteString(L"NET", L"NET", L"A");
    EXPECT_EQ(folder.ReadBytes(L"x.ini"), "; kept\n\n[net]\n  NET =A\n\n[A]\nName=x\n\n");
    ini.WriteString(L"A", L"IPAddress", L"10.0.0.5");
    ini.WriteString(L"B", L"Name", L"y");
    EXPECT_EQ(folder.ReadBytes(L"x.ini"),
              "; kept\n\n[net]\n  NET =A\n\n[A]\nName=x\nIPAddress=10.0.0.5\n\n[B]\nName=y\n");
    EXPECT_EQ(ini.ReadString(L"NET", L"net", L""), L"A");
    EXPECT_EQ(ini.ReadString(L"a", L"IPADDRESS", L""), L"10.0.0.5");
    EXPECT_EQ(ini.ReadString(L"B", L"Name", L""), L"y");

    // The last line, without its line break, gets one before the next.
    folder.WriteBytes(L"x.ini", "[NET]\r\nNET=B");
    ini.WriteString(L"NET", L"Method", L"B");
    EXPECT_EQ(folder.ReadBytes(L"x.ini"), "[NET]\r\nNET=B\r\nMethod=B\r\n");
}

TEST(IniFile, ALineBreakOrNulInAValueWritesNoKeyOfItsOwn) {
    TempFolder folder;
    const std::string before = "[NET]\r\nNET=A\r\n[A]\r\nName=x\r\n";
    folder.WriteBytes(L"x.ini", before);
    TIniFile ini(folder.File(L"x.ini"));
    for (const std::wstring& value : {std::wstring(L"y\r\nNET=B"), std::wstring(L"y\n[NET]\nNET=B"),
                                      std::wstring(L"y\rNET=B"), std::wstring(L"y\0NET=B", 7)}) {
        EXPECT_THROW(ini.WriteString(L"A", L"Name", value), Exception);
        EXPECT_THROW(ini.WriteString(L"A", value, L"1"), Exception) << "a key of that name";
        EXPECT_EQ(folder.ReadBytes(L"x.ini"), before) << "nothing written";
    }
    EXPECT_EQ(ini.ReadString(L"NET", L"NET", L""), L"A");
}

TEST(IniFile, UnicodeStaysUnicodeAndUnreadableBytesStay) {
    TempFolder folder;
    folder.WriteBytes(L"u.ini", Utf16(L"[NET]\r\nNET=B\r\n[A]\r\nName=内网\r\n"));
    TIniFile unicode(folder.File(L"u.ini"));
    unicode.WriteString(L"NET", L"NET", L"A");
    EXPECT_EQ(folder.ReadBytes(L"u.ini"), Utf16(L"[NET]\r\nNET=A\r\n[A]\r\nName=内网\r\n"));
    EXPECT_EQ(unicode.ReadString(L"A", L"Name", L""), L"内网");

    const std::string junk("\x81\xFF\x00\x01[NE", 8);
    folder.WriteBytes(L"b.ini", junk + "\r\n[NET]\r\nNET=B\r\nNote=a\0b\r\n" + junk);
    TIniFile binary(folder.File(L"b.ini"));
    binary.WriteString(L"NET", L"NET", L"A");
    EXPECT_EQ(folder.ReadBytes(L"b.ini"), junk + "\r\n[NET]\r\nNET=A\r\nNote=a\0b\r\n" + junk);
}

TEST(IniFile, RefusedWriteRaisesAndChangesNothing) {
    TempFolder folder;
    folder.WriteBytes(L"r.ini", "[NET]\r\nNET=B\r\n");
    const std::wstring path = folder.File(L"r.ini");
    // Held open by a reader that lets nobody write, as a user without rights is refused.
    HANDLE reader = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    TIniFile ini(path);
    EXPECT_THROW(ini.WriteString(L"NET", L"NET", L"A"), Exception);
    EXPECT_THROW(ini.WriteString(L"B", L"Name", L"y"), Exception);
    CloseHandle(reader);
    EXPECT_EQ(folder.ReadBytes(L"r.ini"), "[NET]\r\nNET=B\r\n");
}

TEST(IniFile, AFileReplacedWithinTheSameTickIsWrittenAsItIsNow) {
    TempFolder folder;
    const std::wstring path = folder.File(L"t.ini");
    folder.WriteBytes(L"t.ini", Utf16(L"[NET]\r\nNET=B\r\n"));
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString(L"NET", L"NET", L""), L"B"); // now in the platform's cache
    FILETIME written{};
    {
        ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
        GetFileTime(file.Get(), nullptr, nullptr, &written);
    }
    // Emptied by someone else, with the same time of writing, as within one tick of the clock.
    folder.WriteBytes(L"t.ini", "");
    {
        ScopedHandle file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
        SetFileTime(file.Get(), nullptr, nullptr, &written);
    }
    ini.WriteString(L"NET", L"NET", L"A");
    EXPECT_EQ(folder.ReadBytes(L"t.ini"), "[NET]\r\nNET=A\r\n");
}

} // namespace
