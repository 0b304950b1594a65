/* Binds Pallix-VirtualDevice.dll by name, as the main program does, and drives it. */
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "lumivex/deviceapi.h"

namespace {

struct Module {
    HMODULE dll = nullptr;
#define LX_FIELD(slot, name, ret, params, args, group, stub, k, v) name##_fn name = nullptr;
    LX_DEVICE_API_SLOTS(LX_FIELD)
#undef LX_FIELD
};

std::string TempArea() {
    char tmp[MAX_PATH];
    GetTempPathA(sizeof tmp, tmp);
    std::string area = std::string(tmp) + "lxvd-bind-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(area.c_str(), nullptr);
    CreateDirectoryA((area + "\\User Data").c_str(), nullptr);
    return area;
}

}  // namespace

TEST(VirtualDeviceDll, ExportsExactlyItsSlotsAndWorksWhenBoundByName) {
    Module m;
    m.dll = LoadLibraryA("Pallix-VirtualDevice.dll");
    ASSERT_NE(nullptr, m.dll) << GetLastError();
    int missing = 0;
#define LX_BIND(slot, name, ret, params, args, group, stub, k, v)                        \
    m.name = reinterpret_cast<name##_fn>(reinterpret_cast<void*>(GetProcAddress(m.dll, #name))); \
    EXPECT_EQ(v != 0, m.name != nullptr) << #name;                                        \
    missing += m.name == nullptr;
    LX_DEVICE_API_SLOTS(LX_BIND)
#undef LX_BIND
    EXPECT_EQ(76 - 58, missing);

    const std::string area = TempArea();
    SetEnvironmentVariableA("LX_USER_AREA", area.c_str());
    _putenv_s("LX_USER_AREA", area.c_str());

    EXPECT_EQ(1, m.gfslInit(2));
    m.fpDestroyFunctionProfiler();
    ASSERT_NE(nullptr, m.fpCreateFunctionProfiler());
    ASSERT_EQ(0, m.gfslInit(0));
    EXPECT_EQ(-1, m.gfslInit(3));  /* no device kind to select */
    ASSERT_EQ(0, m.gfslLowLevelFormat("/a", 1u << 20, 40u << 20));
    ASSERT_EQ(0, m.gfslFormat("/a", "FAT16", "WINDOWS", 0));
    char text[512];
    EXPECT_EQ(16, m.gfslGetDeviceTextInfo("/a", text));
    EXPECT_STREQ("MOUNT Required!\n", text);
    ASSERT_EQ(0, m.gfslMount(0));
    EXPECT_EQ(-1, m.gfslMount(0));
    EXPECT_EQ(41ull << 20, m.gfslGetNumberOfBytesPerDevice("/a"));

    const int h = m.gfslfopen("/a/\xc3\xa9t\xc3\xa9 long name.txt", "rw");
    ASSERT_GE(h, 0);
    static char block[128 * 1024];
    for (size_t i = 0; i < sizeof block; ++i) block[i] = static_cast<char>(i * 7);
    EXPECT_EQ(sizeof block, m.gfslfwrite(block, 1, sizeof block, h));
    EXPECT_EQ(static_cast<gfsl_long>(sizeof block), m.gfslftell(h));
    ASSERT_EQ(0, m.gfslfclose(h));
    const int r = m.gfslfopen("/a/\xc3\xa9t\xc3\xa9 long name.txt", "r");
    static char back[128 * 1024];
    EXPECT_EQ(sizeof back / 4, m.gfslfread(back, 4, sizeof back / 4, r));
    EXPECT_EQ(0, std::memcmp(block, back, sizeof block));
    m.gfslfclose(r);

    GFSL_DIR* d = m.gfslopendir("/a/");
    ASSERT_NE(nullptr, d);
    char* name = m.gfslreaddir(d);
    ASSERT_NE(nullptr, name);
    EXPECT_STREQ("\xc3\xa9t\xc3\xa9 long name.txt", name);
    EXPECT_EQ(sizeof block, d->entry.fileSize);
    EXPECT_EQ(nullptr, m.gfslreaddir(d));
    EXPECT_EQ(0, m.gfslclosedir(d));

    EXPECT_EQ(2u, m.fpGetFunctionProfilerCount(29));  /* gfslfopen */
    EXPECT_STREQ("FP_gfslfopen", m.fpGetFunctionProfilerName(29));
    EXPECT_EQ(-1, m.gfslCustomCallback1(0, 0, 0, 0));
    EXPECT_EQ(1003, m.gfslGetLastError(text, sizeof text));

    EXPECT_EQ(0, m.gfslInit(1));
    EXPECT_EQ(1, m.gfslInit(2));
    EXPECT_EQ(0, m.fpDestroyFunctionProfiler());
    /* Without the test's variable the user area comes from the registry; the process's view of
     * the current user's key is redirected to a private key so that nothing shared changes. */
    SetEnvironmentVariableA("LX_USER_AREA", nullptr);
    _putenv_s("LX_USER_AREA", "");
    ASSERT_EQ(nullptr, std::getenv("LX_USER_AREA"));
    HKEY priv = nullptr, sub = nullptr;
    const std::string privName = "Software\\LumivexTests\\vd-" + std::to_string(GetCurrentProcessId());
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, privName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &priv, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_CURRENT_USER, priv));
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Keldorn\\Lumivex\\User Area", 0,
                                             nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(sub, "Full Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(area.c_str()),
                                            static_cast<DWORD>(area.size() + 1)));
    RegCloseKey(sub);
    ASSERT_EQ(0, m.gfslInit(0));
    ASSERT_EQ(0, m.gfslMount(0));
    EXPECT_EQ(0, m.gfslaccess("/a/\xc3\xa9t\xc3\xa9 long name.txt", 0));
    EXPECT_EQ(0, m.gfslInit(1));
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegCloseKey(priv);
    RegDeleteTreeA(HKEY_CURRENT_USER, privName.c_str());

    FreeLibrary(m.dll);
    DeleteFileA((area + "\\User Data\\Pallix.img").c_str());
    RemoveDirectoryA((area + "\\User Data").c_str());
    RemoveDirectoryA(area.c_str());
}
