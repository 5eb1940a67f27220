// The Win32 owners: each releases what it holds when its scope ends, and
// only then. What "released" means is read back from the system itself: a
// file opened without sharing cannot be opened again while a handle is
// open, a named kernel object is gone when its last handle is closed, a
// device context reports which font is selected, and CoInitializeEx answers
// S_FALSE on a thread where COM is still started.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "platform/scoped_win.h"

namespace {

std::wstring TempFilePath(const wchar_t* stem) {
    wchar_t directory[MAX_PATH];
    DWORD length = GetTempPathW(MAX_PATH, directory);
    EXPECT_GT(length, 0u);
    wchar_t name[32];
    wsprintfW(name, L"%s-%lu.tmp", stem, GetCurrentProcessId());
    return std::wstring(directory) + name;
}

HANDLE OpenUnshared(const std::wstring& path, DWORD disposition) {
    return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST(FileHandle, ClosesTheFileWhenItsScopeEnds) {
    const std::wstring path = TempFilePath(L"scoped-file");
    {
        FileHandle file(OpenUnshared(path, CREATE_ALWAYS));
        ASSERT_TRUE(file.valid());
        // Still open: a second open without sharing is refused.
        HANDLE second = OpenUnshared(path, OPEN_EXISTING);
        EXPECT_EQ(second, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        if (second != INVALID_HANDLE_VALUE) CloseHandle(second);
    }
    HANDLE again = OpenUnshared(path, OPEN_EXISTING);
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    if (again != INVALID_HANDLE_VALUE) CloseHandle(again);
    DeleteFileW(path.c_str());
}

TEST(FileHandle, AFailedOpenIsNotValidAndClosesNothing) {
    FileHandle file(CreateFileW(L"Z:\\no such directory\\no such file", GENERIC_READ, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_FALSE(file.valid());
    EXPECT_EQ(file.get(), INVALID_HANDLE_VALUE);
}

TEST(KernelHandle, TheObjectGoesWithTheLastHandle) {
    wchar_t name[64];
    wsprintfW(name, L"tavo-scoped-event-%lu", GetCurrentProcessId());
    {
        KernelHandle event(CreateEventW(nullptr, TRUE, FALSE, name));
        ASSERT_TRUE(event.valid());
        HANDLE opened = OpenEventW(SYNCHRONIZE, FALSE, name);
        EXPECT_NE(opened, nullptr);
        if (opened) CloseHandle(opened);
    }
    EXPECT_EQ(OpenEventW(SYNCHRONIZE, FALSE, name), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(KernelHandle, OutClosesWhatWasHeldBeforeTakingANewHandle) {
    wchar_t first[64];
    wsprintfW(first, L"tavo-scoped-first-%lu", GetCurrentProcessId());
    KernelHandle event(CreateEventW(nullptr, TRUE, FALSE, first));
    ASSERT_TRUE(event.valid());
    HANDLE* slot = event.out();
    EXPECT_EQ(*slot, nullptr);
    EXPECT_EQ(OpenEventW(SYNCHRONIZE, FALSE, first), nullptr);
    *slot = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_TRUE(event.valid());
}

TEST(MallocBlock, ResizeKeepsTheBytesAndZeroGivesABlock) {
    MallocBlock empty(0);
    EXPECT_EQ(empty.get(), nullptr);

    MallocBlock block;
    ASSERT_TRUE(block.Resize(0));
    EXPECT_NE(block.get(), nullptr);
    ASSERT_TRUE(block.Resize(4));
    memcpy(block.get(), "TAVO", 4);
    ASSERT_TRUE(block.Resize(1 << 20));
    EXPECT_EQ(memcmp(block.get(), "TAVO", 4), 0);
}

TEST(SelectedObject, PutsBackTheObjectSelectedBefore) {
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    HGDIOBJ before = GetCurrentObject(dc, OBJ_FONT);
    HGDIOBJ font = GetStockObject(ANSI_FIXED_FONT);
    ASSERT_NE(before, font);
    {
        SelectedObject selected(dc, font);
        EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), font);
        {
            SelectedObject brush(dc, GetStockObject(DC_BRUSH));
            EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), GetStockObject(DC_BRUSH));
        }
        EXPECT_NE(GetCurrentObject(dc, OBJ_BRUSH), GetStockObject(DC_BRUSH));
    }
    EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), before);
    DeleteDC(dc);
}

// On a thread of its own, so the test thread's COM state plays no part.
DWORD WINAPI ComThread(LPVOID parameter) {
    HRESULT* results = static_cast<HRESULT*>(parameter);
    {
        ComApartment com;
        results[0] = com.Start();
        results[1] = com.Start();  // the same start, not a second one
        // Started here: another start answers S_FALSE. Balanced at once.
        results[2] = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (SUCCEEDED(results[2])) CoUninitialize();
    }
    // Uninitialised by the owner: a start is a first start again.
    results[3] = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(results[3])) CoUninitialize();
    {
        ComApartment unused;  // never started: nothing to balance
    }
    results[4] = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(results[4])) CoUninitialize();
    return 0;
}

TEST(ComApartment, StartsOnceAndUninitialisesAtTheEnd) {
    HRESULT results[5] = {E_FAIL, E_FAIL, E_FAIL, E_FAIL, E_FAIL};
    KernelHandle thread(CreateThread(nullptr, 0, ComThread, results, 0, nullptr));
    ASSERT_TRUE(thread.valid());
    ASSERT_EQ(WaitForSingleObject(thread.get(), 30000), WAIT_OBJECT_0);
    EXPECT_EQ(results[0], S_OK);
    EXPECT_EQ(results[1], S_OK);
    EXPECT_EQ(results[2], S_FALSE);
    EXPECT_EQ(results[3], S_OK);
    EXPECT_EQ(results[4], S_OK);
}

}  // namespace
