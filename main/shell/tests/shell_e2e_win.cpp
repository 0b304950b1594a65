// The shell's words on the real virtual device, bound by name as the program binds it. The
// volume left behind is judged afterwards by fsck.fat and mtools (shell_e2e.sh).
//   shell_e2e_win.exe <host folder with files to copy in> <host folder to copy back into>
#include <windows.h>

#include <cstdio>
#include <string>

#include "device_api.h"
#include "fs_shell.h"
#include "lumivex/procaddress.h"

namespace {

class ConsoleHost : public lx::ShellHost {
public:
    void Print(const std::string& text) override { std::fputs(text.c_str(), stdout); }
    int Mount(int v) override { return DeviceApiTable.gfslMount(v); }
    int Unmount(int v) override {
        DeviceApiTable.gfslUnmount(v); // not mounted yet is fine before a format
        return 0;
    }
};

void* Lookup(void* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

int failures = 0;

void Expect(bool ok, const std::string& what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    if (!ok) ++failures;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: shell_e2e_win <source folder> <back folder>\n");
        return 2;
    }
    std::string source = argv[1], back = argv[2];
    HMODULE dll = LoadLibraryA("Pallix-VirtualDevice.dll");
    if (!dll) {
        std::fprintf(stderr, "cannot load Pallix-VirtualDevice.dll\n");
        return 1;
    }
    unsigned missing = lx::BindDeviceApi(Lookup, dll);
    Expect(missing == LX_GROUP_DEVICE, "binding leaves out only device-group names");
    DeviceApiTable.fpCreateFunctionProfiler();
    Expect(DeviceApiTable.gfslInit(0) == 0, "device opens");
    Expect(DeviceApiTable.gfslLowLevelFormat("/a", 1u << 20, 48u << 20) == 0, "low-level format");

    ConsoleHost host;
    std::string folder = "/a/";
    lx::CFileSystemShell shell(host, folder);
    auto run = [&](const std::string& line, int expected) {
        int r = 99;
        bool handled = shell.Execute(line, &r);
        Expect(handled && r == expected, line + " -> " + std::to_string(r));
    };
    run("gfslFormat /a FAT16 WINDOWS 0", 0);
    run("gfslMount /a", 0);
    run("mkdir \"long folder name\"", 0);
    run("gfslCopyDir " + source + " /a/docs", 0);
    run("gfslExtCopy " + source + "\\big.bin /a/big.bin", 0);
    run("gfslCopy /a/big.bin /a/copy.bin", 0);
    run("gfslExtCopy " + source + "\\small.txt \"/a/long folder name/A file with a long name.txt\"", 0);
    run("gfslExtCopy " + source + "\\small.txt /a/gone.txt", 0);
    run("gfslDelete gone.txt", 0);
    run("gfslDelete gone.txt", -1);
    run("cd docs", 0);
    run("dir", 0);
    run("cd ..", 0);
    run("gfslExtCopy /a/copy.bin " + back + "\\copy.bin", 0);
    run("gfslCopyDir /a/docs " + back + "\\docs", 0);
    run("gfslExtCopy /a/nothere.bin " + back + "\\x.bin", -1);
    run("gfslUnmount /a", 0);
    Expect(DeviceApiTable.gfslInit(1) == 0, "device closes");
    std::printf("%d failures\n", failures);
    return failures ? 1 : 0;
}
