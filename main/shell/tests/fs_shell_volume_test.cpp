// The shell's copies on the virtual device's own FAT volume, typed as lines: what a copy leaves
// behind when the volume fills up or when two files of one folder meet on one name. fsck.fat and
// mtools judge the volume afterwards.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "device_api.h"
#include "fs_shell.h"
#include "lumivex/prompt.h"
#include "test_files.h"
#include "vd_binding.h"

namespace fs = std::filesystem;

namespace {

class PrintingHost : public lx::ShellHost {
public:
    std::string out;
    void Print(const std::string& t) override { out += t; }
    int Mount(int v) override { return DeviceApiTable.gfslMount(v); }
    int Unmount(int v) override { return DeviceApiTable.gfslUnmount(v); }
};


std::string RunCommand(const std::string& command, int* code) {
    std::string out;
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) return out;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    int st = pclose(p);
    *code = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return out;
}

std::string Q(const std::string& s) { return "'" + s + "'"; }

class ShellVolume : public ::testing::Test {
protected:
    static constexpr uint32_t kMegabytes = 8;
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        area = (fs::temp_directory_path() / ("lxshellvol-" + std::to_string(getpid()) + "-" + info->name())).string();
        fs::remove_all(area);
        fs::create_directories(fs::path(area) / "User Data");
        fs::create_directories(fs::path(area) / "pc");
        // Host paths must not begin with '/', which marks a device path: work relative to the area.
        ASSERT_EQ(0, chdir(area.c_str()));
        ASSERT_TRUE(vdtest::StartVolume(area, kMegabytes));
        LxPromptTestBegin();
    }
    void TearDown() override {
        LxPromptTestEnd();
        vdtest::StopVolume();
        if (chdir(fs::temp_directory_path().c_str()) != 0) ADD_FAILURE();
        if (!HasFailure()) fs::remove_all(area);
    }
    int Line(const std::string& line) {
        int r = 12345;
        EXPECT_TRUE(shell.Execute(line, &r)) << line;
        return r;
    }
    static void WriteHost(const std::string& path, const std::string& data) {
        std::ofstream(path, std::ios::binary) << data;
    }
    static bool OnVolume(const std::string& path) {
        GFSL_STAT st;
        return DeviceApiTable.gfslstat(path.c_str(), &st) == 0;
    }
    // fsck.fat finds nothing to mend, and mtools reads each expected file byte for byte and finds
    // no file where none is expected ("" in `files`).
    void Judge(const std::map<std::string, std::string>& files) {
        vdtest::StopVolume();
        const std::string vol = area + "/vol.img";
        int code = -1;
        std::string out = RunCommand("dd if=" + Q(vdtest::ImagePath()) + " of=" + Q(vol) + " bs=512 skip=2048 count=" +
                                  std::to_string(kMegabytes * 2048) + " status=none",
                              &code);
        ASSERT_EQ(0, code) << out;
        out = RunCommand("fsck.fat -n " + Q(vol), &code);
        EXPECT_EQ(0, code) << out;
        for (const auto& f : files) {
            out = RunCommand("MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8 mtype -i " + Q(vol) + " " + Q("::" + f.first), &code);
            if (f.second.empty()) {
                EXPECT_NE(0, code) << f.first << " is on the volume";
                continue;
            }
            EXPECT_EQ(0, code) << f.first;
            EXPECT_EQ(f.second.size(), out.size()) << f.first;
            EXPECT_TRUE(out == f.second) << f.first;
        }
        ASSERT_TRUE(vdtest::Reopen());
    }

    std::string area;
    PrintingHost host;
    std::string folder = "/a/";
    lx::CFileSystemShell shell{host, folder};
};

}  // namespace

// A copy the volume has no room for fails and leaves nothing of itself behind: not the file
// copied from the PC, not the copy on the volume, not the file of a folder copy that was cut off
// (the whole files before it stay, and the copy says how many arrived).
TEST_F(ShellVolume, ACopyThatFillsTheVolumeLeavesNoPartOfItself) {
    const std::string big = lxtest::NoiseBytes((kMegabytes + 2) << 20, 1);
    WriteHost("pc/big.bin", big);
    EXPECT_EQ(-1, Line("gfslExtCopy pc/big.bin /a/x.bin"));
    EXPECT_FALSE(OnVolume("/a/x.bin"));

    const std::string half = lxtest::NoiseBytes(4u << 20, 2);
    WriteHost("pc/half.bin", half);
    ASSERT_EQ(0, Line("gfslExtCopy pc/half.bin /a/half.bin"));
    EXPECT_EQ(-1, Line("gfslCopy /a/half.bin /a/again.bin"));
    EXPECT_FALSE(OnVolume("/a/again.bin"));

    // 2 MiB fit, the next 2 MiB do not.
    ASSERT_EQ(0, mkdir("pc/two", 0777));
    const std::string one = lxtest::NoiseBytes(2u << 20, 3), other = lxtest::NoiseBytes(2u << 20, 4);
    WriteHost("pc/two/one.bin", one);
    WriteHost("pc/two/other.bin", other);
    host.out.clear();
    EXPECT_EQ(-1, Line("gfslCopyDir pc/two /a/two"));
    EXPECT_NE(host.out.find("Copy failed: 1 of 2 files copied.\n"), std::string::npos) << host.out;
    const bool oneArrived = OnVolume("/a/two/one.bin");
    EXPECT_NE(oneArrived, OnVolume("/a/two/other.bin")) << "one whole file, and no part of the other";

    // From the volume to the volume: the copy of the whole file does not fit either.
    host.out.clear();
    EXPECT_EQ(-1, Line("gfslCopyDir /a/two /a/three"));
    EXPECT_NE(host.out.find("Copy failed: 0 of 1 files copied.\n"), std::string::npos) << host.out;
    EXPECT_FALSE(OnVolume("/a/three/one.bin") || OnVolume("/a/three/other.bin"));

    Judge({{"/x.bin", ""}, {"/half.bin", half}, {"/again.bin", ""},
           {"/two/one.bin", oneArrived ? one : ""}, {"/two/other.bin", oneArrived ? "" : other},
           {"/three/one.bin", ""}, {"/three/other.bin", ""}});
}

// Two files of one PC folder whose names differ only in case are one name on the volume: the
// second is asked about as a file that is there already, and never replaces the first unasked.
// No keeps the first; Yes replaces it. Either way one of the two arrived, and the copy says so.
TEST_F(ShellVolume, NamesThatDifferOnlyInCaseAreAskedAboutAndCounted) {
    ASSERT_EQ(0, mkdir("pc/site", 0777));
    const std::string upper = "<html>first</html>", lower = "<html>second, longer</html>";
    WriteHost("pc/site/Index.html", upper);
    WriteHost("pc/site/index.html", lower);
    std::map<std::string, std::string> expected;
    for (int answer : {LX_IDNO, LX_IDYES}) {
        SCOPED_TRACE(answer == LX_IDNO ? "No" : "Yes");
        const std::string to = answer == LX_IDNO ? "/a/keep" : "/a/replace";
        host.out.clear();
        const int asked = LxPromptRecordCount();
        LxPromptQueueAnswer(answer);
        EXPECT_EQ(-1, Line("gfslCopyDir pc/site " + to));
        EXPECT_NE(host.out.find("Copy failed: 1 of 2 files copied.\n"), std::string::npos) << host.out;
        ASSERT_EQ(LxPromptRecordCount(), asked + 1);
        const std::string question = LxPromptRecordText(asked);
        // The folder lists the two in its own order: the one asked about came second.
        const bool lowerSecond = question == "File " + to + "/index.html already exists. Replace it?";
        EXPECT_TRUE(lowerSecond || question == "File " + to + "/Index.html already exists. Replace it?") << question;
        const std::string& first = lowerSecond ? upper : lower;
        const std::string& second = lowerSecond ? lower : upper;
        expected[to.substr(2) + "/index.html"] = answer == LX_IDNO ? first : second;
    }
    Judge(expected);
}

// A name typed as a whole volume path is used as it stands, whatever the current folder; any
// other name is taken inside the current folder.
TEST_F(ShellVolume, VolumePathsStandAsTypedAndOtherNamesJoinTheCurrentFolder) {
    ASSERT_EQ(0, Line("mkdir /a/inbox"));
    ASSERT_EQ(0, Line("cd /a/inbox"));
    struct Step {
        const char* line;
        int result;
        const char* there;    // on the volume afterwards, when not empty
        const char* notThere; // not on the volume afterwards, when not empty
    };
    const Step steps[] = {
        {"mkdir /a/top", 0, "/a/top", "/a/inbox/a"},
        {"mkdir sub", 0, "/a/inbox/sub", "/a/sub"},
        {"mkdir /a/top/deep", 0, "/a/top/deep", ""},
        {"gfslOpen /a/top/f.txt w", 0, "/a/top/f.txt", "/a/inbox/a/top/f.txt"},
        {"gfslOpen here.txt w", 0, "/a/inbox/here.txt", "/a/here.txt"},
        {"gfslCloseAll", 0, "", ""},
        {"gfslDelete /a/top/f.txt", 0, "", "/a/top/f.txt"},
        {"gfslDelete here.txt", 0, "", "/a/inbox/here.txt"},
        {"rmdir /a/top/deep", 0, "/a/top", "/a/top/deep"},
        {"rmdir sub", 0, "", "/a/inbox/sub"},
        {"mkdir /a/top/deep", 0, "/a/top/deep", ""},
        {"cleandir /a/top", 0, "", "/a/top"},
        {"rmdir /a/top", -1, "", ""},
        {"cd /a", 0, "", ""},
        {"rmdir inbox", 0, "", "/a/inbox"},
    };
    for (const Step& s : steps) {
        EXPECT_EQ(s.result, Line(s.line)) << s.line;
        if (*s.there) EXPECT_TRUE(OnVolume(s.there)) << s.line << ": " << s.there;
        if (*s.notThere) EXPECT_FALSE(OnVolume(s.notThere)) << s.line << ": " << s.notThere;
    }
    Judge({});
}
