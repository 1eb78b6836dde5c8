// SPDX-License-Identifier: MIT
// The registry store, the directory lookup, the launch and the picture loader, against the real
// registry and file system (under Wine, its own).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>

#include "platform/win32/ole_pictures.h"
#include "platform/win32/registry_store.h"
#include "platform/win32/text.h"
#include "platform/win32/win32_system.h"
#include "ui_harness.h"

#include <shellapi.h>
#include <tlhelp32.h>

namespace velmora::win32 {
namespace {

// A fresh folder under the temporary folder, removed with everything in it.
struct TempFolder {
    std::wstring path;
    TempFolder() {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        path = std::wstring(base) + L"velmora-test-" + std::to_wstring(GetCurrentProcessId()) +
               L"-" + std::to_wstring(GetTickCount64());
        CreateDirectoryW(path.c_str(), nullptr);
    }
    ~TempFolder() {
        std::wstring from = path + L'\0';  // SHFileOperation's list ends with two NULs
        SHFILEOPSTRUCTW op{};
        op.wFunc = FO_DELETE;
        op.pFrom = from.c_str();
        op.fFlags = FOF_NO_UI;
        SHFileOperationW(&op);
    }
    std::wstring operator/(const std::wstring& name) const { return path + L"\\" + name; }
    std::wstring file(const std::wstring& name, const std::string& bytes = "x",
                      DWORD attributes = FILE_ATTRIBUTE_NORMAL) const {
        const std::wstring full = *this / name;
        std::ofstream(std::filesystem::path(full), std::ios::binary) << bytes;
        SetFileAttributesW(full.c_str(), attributes);
        return full;
    }
};

// --- settings store ---

struct Registry : ::testing::Test {
    std::string app = "Velmora2000Test" + std::to_string(GetCurrentProcessId());
    RegistryStore store;
    std::wstring root = std::wstring(RegistryStore::kRoot) + L"\\" + widen(app);
    ~Registry() override { RegDeleteTreeW(HKEY_CURRENT_USER, root.c_str()); }
};

TEST_F(Registry, MissingApplicationSectionOrKeyReadsTheDefault) {
    EXPECT_EQ(store.read(app, "Default_color", "Title", "49344"), "49344");
    store.write(app, "Default_color", "Time", "255");
    EXPECT_EQ(store.read(app, "Default_color", "Title", "49344"), "49344");
    EXPECT_EQ(store.read(app, "Default_saver", "Time", ""), "");
    EXPECT_EQ(store.read(app, "Default_color", "Time", "0"), "255");
}

TEST_F(Registry, WrittenTextsReadBackUnchangedAsStringValues) {
    const std::string values[] = {"0",
                                  "-2147483648",
                                  "",
                                  "C:\\Savers\\Bl\xC3\xA5"
                                  "b\xC3\xA6r.scr",
                                  "\xF0\x9F\x92\xBF",
                                  std::string(5000, 'x')};
    for (const auto& value : values) {
        store.write(app, "Default_saver", "FullPath", value);
        EXPECT_EQ(store.read(app, "Default_saver", "FullPath", "default"), value);
    }
    DWORD type = 0;
    HKEY key;
    ASSERT_EQ(
        RegOpenKeyExW(HKEY_CURRENT_USER, (root + L"\\Default_saver").c_str(), 0, KEY_READ, &key),
        ERROR_SUCCESS);
    RegQueryValueExW(key, L"FullPath", nullptr, &type, nullptr, nullptr);
    RegCloseKey(key);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
}

TEST_F(Registry, ValuesStoredByAnotherProgramAreReadAsTheyAre) {
    const std::wstring section = root + L"\\Default_color";
    const wchar_t noNul[] = {L'1', L'2'};  // a string value stored without its terminator
    RegSetKeyValueW(HKEY_CURRENT_USER, section.c_str(), L"Time", REG_SZ, noNul, sizeof noNul);
    RegSetKeyValueW(HKEY_CURRENT_USER, section.c_str(), L"Title", REG_SZ, L" 7 ", 8);
    const DWORD number = 5;
    RegSetKeyValueW(HKEY_CURRENT_USER, section.c_str(), L"Artist", REG_DWORD, &number, 4);
    EXPECT_EQ(store.read(app, "Default_color", "Time", "0"), "12");
    EXPECT_EQ(store.read(app, "Default_color", "Title", "0"), " 7 ");
    EXPECT_EQ(store.read(app, "Default_color", "Artist", "49344"), "49344") << "not a string";
}

// --- directory lookup ---

TEST(DirectoryLookup, SkipsHiddenSystemAndFolderEntries) {
    TempFolder dir;
    dir.file(L"a.scr", "x", FILE_ATTRIBUTE_HIDDEN);
    dir.file(L"b.scr", "x", FILE_ATTRIBUTE_SYSTEM);
    CreateDirectoryW((dir / L"c.scr").c_str(), nullptr);
    dir.file(L"d.scr", "x", FILE_ATTRIBUTE_READONLY);
    dir.file(L"Bl\u00e5b\u00e6r.scr");
    Win32System system;
    const std::string folder = narrow(dir.path);
    struct Case {
        std::string path;
        std::string found;
    } cases[] = {
        {folder + "\\a.scr", ""},
        {folder + "\\b.scr", ""},
        {folder + "\\c.scr", ""},
        {folder + "\\d.scr", "d.scr"},
        {folder + "\\D.SCR", "d.scr"},  // the name as stored, whatever the case asked
        {folder + "\\Bl\xC3\xA5"
                  "b\xC3\xA6r.scr",
         "Bl\xC3\xA5"
         "b\xC3\xA6r.scr"},
        {folder + "\\missing.scr", ""},
        {folder + "\\nowhere\\d.scr", ""},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(system.findFirstFile(c.path), c.found) << c.path;
    const std::string first = system.findFirstFile(folder + "\\?.scr");
    EXPECT_EQ(first, "d.scr") << "the only ordinary one of a, b, c, d";
}

TEST(DirectoryLookup, PathEndingInASeparatorLooksInsideTheFolder) {
    TempFolder dir;
    dir.file(L"only.scr");
    Win32System system;
    EXPECT_EQ(system.findFirstFile(narrow(dir.path) + "\\"), "only.scr");
    EXPECT_EQ(system.findFirstFile(narrow(dir.path)), "") << "the folder itself is no file";
}

// --- launch ---

TEST(Launch, ProgramIsQuotedAndTheArgumentFollows) {
    TempFolder dir;
    CreateDirectoryW((dir / L"My Savers").c_str(), nullptr);
    const std::wstring saver = dir / L"My Savers\\Fall back.scr";
    ASSERT_TRUE(CopyFileW(L"velmora_launch_probe.exe", saver.c_str(), FALSE))
        << "run from the test's build folder";
    Win32System system;
    auto process = system.launch(narrow(saver), {"/S"});
    ASSERT_TRUE(testing::pumpUntil([&] { return !process->running(); }, 20000));
    std::ifstream written(std::filesystem::path(saver + L".txt"), std::ios::binary);
    std::string line((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());
    EXPECT_EQ(line, "\"" + narrow(saver) + "\" /S");
}

TEST(Launch, MissingProgramFails) {
    Win32System system;
    try {
        system.launch("C:\\no such folder\\none.scr", {"/S"});
        FAIL() << "launched nothing";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.code(), ErrorCode::FileNotFound);
    }
}

TEST(System, ShowCursorCountsAndCommandLineIsTheArguments) {
    Win32System system;
    const int before = system.showCursor(true);
    EXPECT_EQ(system.showCursor(false), before - 1);
    EXPECT_EQ(system.showCursor(false), before - 2);
    system.showCursor(true);
    EXPECT_EQ(system.showCursor(false), before - 2);
    system.showCursor(true);
    system.showCursor(true);
    EXPECT_EQ(system.commandLine().find("velmora_win32_tests"), std::string::npos);
}

// --- pictures ---

std::string le16(int v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}
std::string le32(int v) {
    return le16(v & 0xFFFF) + le16((v >> 16) & 0xFFFF);
}

// A bitmap file of one colour: 24 bits a pixel (width * 3 a multiple of 4), or 8 bits run-length
// encoded (a few bytes a row, whatever its width).
std::string bitmap(bool rle, int red, int green, int blue, int width = 4, int height = 2) {
    std::string palette;
    std::string bits;
    if (rle) {
        palette = std::string{static_cast<char>(blue), static_cast<char>(green),
                              static_cast<char>(red), 0};
        for (int row = 0; row < height; ++row) {
            for (int left = width; left > 0; left -= 255)  // runs of colour 0
                bits += std::string{static_cast<char>(std::min(left, 255)), 0};
            bits += std::string{0, 0};  // end of line
        }
        bits[bits.size() - 1] = 1;  // end of bitmap
    } else {
        std::string row;
        for (int x = 0; x < width; ++x)
            row += std::string{static_cast<char>(blue), static_cast<char>(green),
                               static_cast<char>(red)};
        for (int y = 0; y < height; ++y) bits += row;
    }
    const int offset = 14 + 40 + static_cast<int>(palette.size());
    std::string file = "BM" + le32(offset + static_cast<int>(bits.size())) + le32(0) + le32(offset);
    file += le32(40) + le32(width) + le32(height) + le16(1) + le16(rle ? 8 : 24) +
            le32(rle ? 1 : 0) + le32(static_cast<int>(bits.size())) + le32(2835) + le32(2835) +
            le32(rle ? 1 : 0) + le32(0);
    return file + palette + bits;
}

std::wstring metafile(const TempFolder& dir, bool enhanced) {
    if (enhanced) {
        const std::wstring path = dir / L"red.emf";
        RECT frame{0, 0, 1000, 1000};  // 10 mm square
        HDC dc = CreateEnhMetaFileW(nullptr, path.c_str(), &frame, nullptr);
        HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
        RECT all{0, 0, 100, 100};
        FillRect(dc, &all, red);
        DeleteObject(red);
        DeleteEnhMetaFile(CloseEnhMetaFile(dc));
        return path;
    }
    // A placeable metafile: the 22-byte header that gives its size, then the records.
    HDC dc = CreateMetaFileW(nullptr);
    SetWindowExtEx(dc, 100, 100, nullptr);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    SelectObject(dc, red);
    PatBlt(dc, 0, 0, 100, 100, PATCOPY);
    HMETAFILE mf = CloseMetaFile(dc);
    DeleteObject(red);
    std::string records(GetMetaFileBitsEx(mf, 0, nullptr), '\0');
    GetMetaFileBitsEx(mf, static_cast<UINT>(records.size()), records.data());
    DeleteMetaFile(mf);
    std::string header = le32(static_cast<int>(0x9AC6CDD7)) + le16(0) + le16(0) + le16(0) +
                         le16(100) + le16(100) + le16(1440) + le32(0);
    int sum = 0;
    for (size_t i = 0; i < 20; i += 2)
        sum ^= static_cast<unsigned char>(header[i]) |
               (static_cast<unsigned char>(header[i + 1]) << 8);
    header += le16(sum);
    const std::wstring path = dir / L"red.wmf";
    std::ofstream(std::filesystem::path(path), std::ios::binary) << header << records;
    return path;
}

std::wstring dataFile(const wchar_t* name) {
    return widen(VELMORA_WIN32_TEST_DATA) + L"\\" + name;
}

// What the picture draws into a 9 x 5 box, looked at in its middle and near each corner.
std::vector<COLORREF> rendered(const OlePicture& picture) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP canvas = CreateCompatibleBitmap(screen, 9, 5);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, canvas);
    RECT box{0, 0, 9, 5};
    FillRect(dc, &box, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    picture.render(dc, box);
    std::vector<COLORREF> seen = {GetPixel(dc, 4, 2), GetPixel(dc, 1, 1), GetPixel(dc, 7, 1),
                                  GetPixel(dc, 1, 3), GetPixel(dc, 7, 3)};
    SelectObject(dc, old);
    DeleteObject(canvas);
    DeleteDC(dc);
    return seen;
}

bool reddish(COLORREF c) {
    return GetRValue(c) > 200 && GetGValue(c) < 60 && GetBValue(c) < 60;
}

TEST(Pictures, EveryOfferedFormatLoadsAndIsStretchedToFillTheBox) {
    TempFolder dir;
    const std::wstring paths[] = {
        dir.file(L"red.bmp", bitmap(false, 255, 0, 0)),
        dir.file(L"red.rle", bitmap(true, 255, 0, 0)),
        dataFile(L"red.gif"),
        dataFile(L"red.jpg"),
        metafile(dir, false),
        metafile(dir, true),
    };
    for (const auto& path : paths) {
        PictureRef picture;
        ASSERT_NO_THROW(picture = loadOlePicture(narrow(path))) << narrow(path);
        ASSERT_NE(picture, nullptr);
        EXPECT_GT(picture->width(), 0);
        EXPECT_GT(picture->height(), 0);
        for (COLORREF c : rendered(dynamic_cast<const OlePicture&>(*picture)))
            EXPECT_TRUE(reddish(c)) << narrow(path) << " drew " << std::hex << c;
    }
}

TEST(Pictures, FailuresCarryTheirNumbersAndTheEmptyPathClears) {
    TempFolder dir;
    EXPECT_EQ(loadOlePicture(""), nullptr);
    struct Case {
        std::wstring path;
        ErrorCode code;
    } cases[] = {
        {dir / L"missing.bmp", ErrorCode::FileNotFound},
        {dir / L"nowhere\\missing.gif", ErrorCode::FileNotFound},
        {dir.file(L"text.jpg", "not a picture at all"), ErrorCode::InvalidPicture},
        {dir.file(L"empty.bmp", ""), ErrorCode::InvalidPicture},
        // A hundred kilobytes that declare 12 megapixels: refused before the loader allocates
        // them.
        {dir.file(L"huge.rle", bitmap(true, 255, 0, 0, 4000, 3000)), ErrorCode::InvalidPicture},
    };
    for (const auto& c : cases) {
        try {
            loadOlePicture(narrow(c.path));
            ADD_FAILURE() << narrow(c.path) << " loaded";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.code(), c.code) << narrow(c.path);
        }
    }
    // A file another program holds without sharing: the loader is told to wait and retry.
    const std::wstring held = dir.file(L"held.bmp", bitmap(false, 1, 2, 3));
    HANDLE lock = CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    try {
        loadOlePicture(narrow(held));
        ADD_FAILURE() << "a locked file loaded";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.code(), ErrorCode::PermissionDenied);
    }
    CloseHandle(lock);
    EXPECT_NE(loadOlePicture(narrow(held)), nullptr);
}

TEST(Pictures, AnswersComeLaterOnTheUiThreadWhichKeepsRunningMeanwhile) {
    TempFolder dir;
    // 27 MB: decoding it keeps a worker busy for a while.
    const std::string big = narrow(dir.file(L"big.bmp", bitmap(false, 255, 0, 0, 3000, 3000)));
    auto& ui = testing::sharedUi();
    OlePictures pictures(ui);
    int dropped = 0;
    const auto drop = [&](platform::PictureResult) { ++dropped; };
    // Let go of at once, and answered long before the big one: its answer must find nobody.
    pictures.load(narrow(dir.file(L"small.bmp", bitmap(false, 255, 0, 0))), drop).reset();
    auto orphan = OlePictures(ui).load(big, drop);  // its loader is gone while it decodes

    std::optional<platform::PictureResult> picture, failed;
    DWORD answeredOn = 0;
    auto request = pictures.load(big, [&](platform::PictureResult result) {
        picture = std::move(result);
        answeredOn = GetCurrentThreadId();
    });
    auto invalid =
        pictures.load(narrow(dir.file(L"text.jpg", "not a picture")),
                      [&](platform::PictureResult result) { failed = std::move(result); });
    int turns = 0;  // the UI thread's own work, going on while the picture decodes
    std::function<void()> turn = [&] {
        if (++turns, !picture) ui.post(turn);
    };
    ui.post(turn);
    ASSERT_TRUE(testing::pumpUntil([&] { return picture && failed; }, 20000));
    EXPECT_GT(turns, 10);
    EXPECT_EQ(answeredOn, GetCurrentThreadId());
    ASSERT_NE(picture->picture, nullptr);
    EXPECT_EQ(picture->picture->width(), 3000);
    ASSERT_TRUE(failed->failure);
    EXPECT_EQ(failed->failure->code(), ErrorCode::InvalidPicture);
    testing::pumpFor(1500);  // the orphan's worker ends meanwhile
    EXPECT_EQ(dropped, 0);
}

// The threads this process has.
int threadCount() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snapshot);
    return count;
}

TEST(Pictures, OneWorkerDecodesInTurnAndSkipsCoversAlreadyReplaced) {
    TempFolder dir;
    const std::string big = narrow(dir.file(L"big.bmp", bitmap(false, 255, 0, 0, 3000, 3000)));
    const std::string small = narrow(dir.file(L"small.bmp", bitmap(false, 255, 0, 0)));
    OlePictures pictures(testing::sharedUi());
    std::vector<std::string> answered;
    const auto answer = [&answered](std::string name) {
        return [&answered, name](platform::PictureResult result) {
            answered.push_back(name + (result.picture ? "" : " failed"));
        };
    };
    // Covers changing faster than they decode: each request replaces the one before.
    const int before = threadCount();
    std::unique_ptr<platform::PictureRequest> shown;
    for (int i = 1; i <= 8; ++i) shown = pictures.load(big, answer("big " + std::to_string(i)));
    const int during = threadCount();
    // Requests still held are all answered, in turn.
    auto first = pictures.load(small, answer("small 1"));
    auto second = pictures.load(small, answer("small 2"));
    ASSERT_TRUE(testing::pumpUntil([&] { return answered.size() >= 3; }, 60000));
    testing::pumpFor(200);  // nothing else is on its way
    EXPECT_LE(during - before, 1);
    EXPECT_EQ(answered, (std::vector<std::string>{"big 8", "small 1", "small 2"}));
}

}  // namespace
}  // namespace velmora::win32
