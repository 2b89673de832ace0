// The settings store against Wine's own private-profile API and registry.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>

#include "core/Settings.h"
#include "framework/Application.h"
#include "framework/Exception.h"
#include "framework/Scoped.h"
#include "framework/Strings.h"
#include "support/TempFolder.h"

namespace {

std::wstring ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Exception& e) {
        return e.Message();
    }
    return L"(no error)";
}

class SettingsFile : public ::testing::Test {
protected:
    TempFolder folder;
    std::wstring path = folder.File(L"Config.ini");
    TIniFile ini{path};
};

TEST_F(SettingsFile, NamesAreComparedWithoutCase) {
    folder.WriteBytes(L"Config.ini", "[a]\r\nNAME=Office\r\n");
    EXPECT_EQ(ini.ReadString(L"A", L"Name", L""), L"Office");
    EXPECT_EQ(ini.ReadString(L"a", L"name", L""), L"Office");
    ini.WriteString(L"A", L"Name", L"Lab");
    EXPECT_EQ(ini.ReadString(L"A", L"NAME", L""), L"Lab");
}

TEST_F(SettingsFile, WritesAndHandEditsAreSeenByTheNextRead) {
    ini.WriteString(L"B", L"IPAddress", L"10.1.2.3");
    EXPECT_EQ(ini.ReadString(L"B", L"IPAddress", L""), L"10.1.2.3");
    EXPECT_EQ(TIniFile(path).ReadString(L"B", L"IPAddress", L""), L"10.1.2.3");

    // Someone edits the file by hand between two reads; the store keeps no copy.
    Sleep(1100); // a new modification time, which is what the platform looks at
    folder.WriteBytes(L"Config.ini", "[B]\r\nIPAddress=192.168.7.7\r\n");
    EXPECT_EQ(ini.ReadString(L"B", L"IPAddress", L""), L"192.168.7.7");
}

TEST_F(SettingsFile, MissingFileSectionOrKeyAnswersTheDefault) {
    EXPECT_EQ(ini.ReadString(L"NET", L"AutoRun", L"0"), L"0");
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES)
        << "a read must not create the file";
    ini.WriteString(L"NET", L"NET", L"A");
    EXPECT_EQ(ini.ReadString(L"A", L"Name", L""), L"");
    EXPECT_EQ(ini.ReadString(L"NET", L"Method", L"fallback"), L"fallback");
}

TEST_F(SettingsFile, LongValuesAreCutAt2047Characters) {
    folder.WriteBytes(L"Config.ini", "[A]\r\nName=" + std::string(3000, 'x') + "\r\n");
    EXPECT_EQ(ini.ReadString(L"A", L"Name", L"").size(), 2047u);
}

TEST_F(SettingsFile, RefusedWriteRaisesWithThePath) {
    ini.WriteString(L"NET", L"NET", L"A");
    {
        // Another program holds the file open without sharing it.
        HANDLE locked = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(locked, INVALID_HANDLE_VALUE);
        EXPECT_EQ(ErrorOf([&] { ini.WriteString(L"NET", L"NET", L"B"); }),
                  L"Unable to write to " + path);
        CloseHandle(locked);
    }
    EXPECT_EQ(ini.ReadString(L"NET", L"NET", L""), L"A");

    const std::wstring nowhere = folder.File(L"missing\\Config.ini");
    EXPECT_EQ(ErrorOf([&] { TIniFile(nowhere).WriteString(L"NET", L"NET", L"B"); }),
              L"Unable to write to " + nowhere);
}

TEST_F(SettingsFile, GbkTextReadsBackAsChinese) {
    // Every test program runs under the Chinese code page; another one is a broken set-up.
    ASSERT_EQ(GetACP(), 936u) << "the test environment lost its Chinese locale";
    folder.WriteBytes(L"Config.ini", "[A]\r\nName=\xC4\xDA\xCD\xF8\r\n"); // 内网 in GBK
    EXPECT_EQ(ini.ReadString(L"A", L"Name", L""), L"内网");
    ini.WriteString(L"B", L"Name", L"外网");
    EXPECT_NE(folder.ReadBytes(L"Config.ini").find("Name=\xCD\xE2\xCD\xF8"), std::string::npos)
        << "the file stays in the 8-bit code page";
}

TEST_F(SettingsFile, DamagedFilesNeverBreakARead) {
    static const char binary[] = "[A]\r\nName=x\0\xFF\xFE\x01\x80\r\n[B]\r\nName=y\r\n";
    const struct {
        std::string Bytes;
        bool SectionBReadable;
    } damaged[] = {
        {std::string(binary, sizeof binary - 1), true},
        {"[A]\r\nJunk=" + std::string(200000, 'z') + "\r\n[B]\r\nName=y\r\n", true},
        {"[A]\r\nJunk\r\n===\r\n[\r\n]\r\n[B]\r\nName=y",
         true}, // lines without "=", no final newline
        {"\xEF\xBB\xBF[A]\r\nName=x\r\n[B]\r\nName=y\r\n", true},
        {std::string(5000, '[') + "\n" + std::string(70000, '='), false},
    };
    for (const auto& file : damaged) {
        folder.WriteBytes(L"Config.ini", file.Bytes);
        EXPECT_EQ(ini.ReadString(L"B", L"Name", L"default"),
                  file.SectionBReadable ? L"y" : L"default");
        ini.ReadString(L"A", L"Name", L"");
        EXPECT_EQ(ini.ReadString(L"NET", L"NET", L"none"), L"none");
    }
}

TEST(SettingsStore, LivesBesideTheExecutableAndStartsWithoutAFile) {
    OpenSettings();
    const std::wstring exe = Application().ExeName();
    EXPECT_EQ(ConfigIni().FileName(), exe.substr(0, exe.find_last_of(L'\\') + 1) + L"Config.ini");

    TempFolder folder;
    OpenSettingsAt(folder.File(L"Config.ini"));
    EXPECT_EQ(ConfigIni().ReadString(L"NET", L"NET", L""), L"");
    ConfigIni().WriteString(L"NET", L"NET", L"B");
    EXPECT_NE(folder.ReadBytes(L"Config.ini").find("NET=B"), std::string::npos);
}

class RunKey : public ::testing::Test {
protected:
    const TRunKey key{HKEY_CURRENT_USER, L"Software\\TarnwickTests\\Run"};
    void SetUp() override {
        HKEY created;
        ASSERT_EQ(RegCreateKeyExW(key.Root, key.Path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &created, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(created);
    }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\TarnwickTests"); }
    std::wstring Value(const std::wstring& name) {
        wchar_t data[1024];
        DWORD size = sizeof data, type = 0;
        if (RegGetValueW(key.Root, key.Path.c_str(), name.c_str(), RRF_RT_ANY, &type, data,
                         &size) != ERROR_SUCCESS)
            return L"(none)";
        return type == REG_SZ ? std::wstring(data) : L"(not REG_SZ)";
    }
};

TEST_F(RunKey, PathIsQuotedOnlyWhenItHoldsABlank) {
    SetAutoRunValue(true, key, L"Tarnwick", AutoRunCommand(L"C:\\Tools\\Tarnwick.exe"));
    EXPECT_EQ(Value(L"Tarnwick"), L"C:\\Tools\\Tarnwick.exe");
    SetAutoRunValue(true, key, L"Tarnwick",
                    AutoRunCommand(L"C:\\Program Files\\Tarnwick\\Tarnwick.exe"));
    EXPECT_EQ(Value(L"Tarnwick"), L"\"C:\\Program Files\\Tarnwick\\Tarnwick.exe\"");
    SetAutoRunValue(true, key, L"Other", L"C:\\Other.exe");
    SetAutoRunValue(false, key, L"Tarnwick", L"");
    EXPECT_EQ(Value(L"Tarnwick"), L"(none)");
    // Removing a missing value is silent and leaves the other programs' values alone.
    SetAutoRunValue(false, key, L"Tarnwick", L"");
    EXPECT_EQ(Value(L"Other"), L"C:\\Other.exe");
}

TEST_F(RunKey, KeyThatCannotBeOpenedIsReportedAndNeverCreated) {
    const TRunKey missing{HKEY_CURRENT_USER, L"Software\\TarnwickTests\\NoSuchKey"};
    EXPECT_EQ(ErrorOf([&] { SetAutoRunValue(true, missing, L"Tarnwick", L"x.exe"); }),
              L"Failed to set data for 'Tarnwick'");
    SetAutoRunValue(false, missing, L"Tarnwick", L""); // silent
    HKEY probe;
    EXPECT_NE(RegOpenKeyExW(missing.Root, missing.Path.c_str(), 0, KEY_READ, &probe),
              ERROR_SUCCESS);
}

// The copy Windows starts at logon may read the Run key but not write it: a value that is
// already as wanted must not be written again, and only a value that exists is removed.
TEST_F(RunKey, WritesOnlyWhatMustChange) {
    ScopedRegKey watched;
    ASSERT_EQ(RegOpenKeyExW(key.Root, key.Path.c_str(), 0, KEY_NOTIFY, watched.Receive()),
              ERROR_SUCCESS);
    ScopedHandle changed(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const auto changes = [&](const std::function<void()>& action) {
        ResetEvent(changed.Get());
        EXPECT_EQ(RegNotifyChangeKeyValue(watched.Get(), FALSE, REG_NOTIFY_CHANGE_LAST_SET,
                                          changed.Get(), TRUE),
                  ERROR_SUCCESS);
        action();
        return WaitForSingleObject(changed.Get(), 200) == WAIT_OBJECT_0;
    };
    EXPECT_TRUE(changes([&] { SetAutoRunValue(true, key, L"Tarnwick", L"C:\\T\\Tarnwick.exe"); }));
    EXPECT_FALSE(changes([&] { SetAutoRunValue(true, key, L"Tarnwick", L"C:\\T\\Tarnwick.exe"); }))
        << "an unchanged value was written again";
    EXPECT_TRUE(changes([&] { SetAutoRunValue(true, key, L"Tarnwick", L"D:\\Tarnwick.exe"); }));
    EXPECT_EQ(Value(L"Tarnwick"), L"D:\\Tarnwick.exe");
    EXPECT_TRUE(changes([&] { SetAutoRunValue(false, key, L"Tarnwick", L""); }));
    EXPECT_EQ(Value(L"Tarnwick"), L"(none)");
    EXPECT_FALSE(changes([&] { SetAutoRunValue(false, key, L"Tarnwick", L""); }));
}

} // namespace
