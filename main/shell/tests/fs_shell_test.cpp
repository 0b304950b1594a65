// The shell's words against an in-memory device: what reaches the device module, what is
// printed, and what happens when a side fails.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "device_api.h"
#include "fake_device.h"
#include "fs_shell.h"
#include "lumivex/prompt.h"
#include "test_files.h"

namespace {

class RecordingHost : public lx::ShellHost {
public:
    std::string out;
    std::vector<std::string> mounts;
    void Print(const std::string& t) override { out += t; }
    int Mount(int v) override {
        mounts.push_back("mount " + std::to_string(v));
        return DeviceApiTable.gfslMount(v);
    }
    int Unmount(int v) override {
        mounts.push_back("unmount " + std::to_string(v));
        return 0;
    }
};

class Shell : public ::testing::Test {
protected:
    void SetUp() override {
        dev = &FakeDevice::Install();
        LxPromptTestBegin();
        // Host paths must not begin with '/' (that marks a device path), as on Windows.
        char tmpl[] = "/tmp/lx-shell-XXXXXX";
        tempDir = mkdtemp(tmpl);
        char cwd[4096];
        oldDir = getcwd(cwd, sizeof(cwd));
        ASSERT_EQ(chdir(tempDir.c_str()), 0);
        ASSERT_EQ(mkdir(hostDir.c_str(), 0777), 0);
    }
    void TearDown() override {
        FakeDevice::Uninstall();
        LxPromptTestEnd();
        ASSERT_EQ(chdir(oldDir.c_str()), 0);
        std::string cmd = "rm -rf '" + tempDir + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    int Run(const std::string& line) {
        int r = 12345;
        EXPECT_TRUE(shell.Execute(line, &r)) << line;
        return r;
    }
    std::string HostFile(const std::string& name, const std::string& content) {
        std::string p = hostDir + "/" + name;
        std::ofstream(p, std::ios::binary) << content;
        return p;
    }

    FakeDevice* dev = nullptr;
    RecordingHost host;
    std::string folder = "/a/";
    lx::CFileSystemShell shell{host, folder};
    std::string hostDir = "host";
    std::string tempDir, oldDir;
};

TEST(ShellWords, ArgumentsSplitOnBlanksAndQuotes) {
    const struct {
        const char* line;
        int n;
        int result;
        const char* word;
    } cases[] = {
        {"cd  /a/x", 2, 2, "/a/x"},
        {"gfslOpen \"my file.txt\" rw", 2, 2, "my file.txt"},
        {"gfslOpen \"my file.txt\" rw", 3, 3, "rw"},
        {"dir", 2, 1, ""},
        {"", 1, 0, ""},
        {"   ", 1, 0, ""},
    };
    for (const auto& c : cases) {
        std::string w = "junk";
        EXPECT_EQ(lx::CFileSystemShell::GetArgument(c.line, w, c.n), c.result) << c.line;
        EXPECT_EQ(w, c.word) << c.line;
    }
    std::string longQuoted = "cd \"" + std::string(257, 'x') + "\"", w;
    EXPECT_EQ(lx::CFileSystemShell::GetArgument(longQuoted, w, 2), 0);
}

TEST(ShellWords, CodesAndWhatGoesOnToTheConsoles) {
    EXPECT_EQ(lx::CFileSystemShell::LookupCommand("gfslMount"), 2);
    EXPECT_EQ(lx::CFileSystemShell::LookupCommand("cleandir"), 12);
    EXPECT_EQ(lx::CFileSystemShell::LookupCommand("gfslCustomCB8"), 33);
    EXPECT_EQ(lx::CFileSystemShell::LookupCommand("gfslmount"), 0); // case matters
    EXPECT_EQ(lx::CFileSystemShell::LookupCommand("gfslOpenDir"), 0);
    FakeDevice::Install();
    RecordingHost host;
    std::string folder = "/a/";
    lx::CFileSystemShell shell(host, folder);
    int r = 0;
    for (const char* line : {"gfslLowLevelFormat /a 0 100", "gfslCreate x", "gfslGetLastError", "ReadCfi 0", ""})
        EXPECT_FALSE(shell.Execute(line, &r)) << line;
    EXPECT_TRUE(FakeDevice::Install().calls.empty());
    FakeDevice::Uninstall();
}

TEST_F(Shell, MountTakesTheFirstTwoVolumesThroughTheStateFunctions) {
    EXPECT_EQ(Run("gfslMount /a"), 0);
    EXPECT_EQ(Run("gfslMount /B"), 0);
    EXPECT_EQ(Run("gfslMount /c"), -1);
    EXPECT_EQ(Run("gfslMount a"), -1);
    EXPECT_EQ(Run("gfslMount"), -1);
    EXPECT_EQ(host.mounts, (std::vector<std::string>{"mount 0", "mount 1"}));
}

TEST_F(Shell, FormatUnmountsFirstAndPassesItsWords) {
    EXPECT_EQ(Run("gfslFormat /a FAT16 WINDOWS 0"), 0);
    EXPECT_EQ(host.mounts, (std::vector<std::string>{"unmount 0"}));
    EXPECT_EQ(dev->calls, (std::vector<std::string>{"format /a FAT16 WINDOWS 0"}));
}

TEST_F(Shell, CdWalksFoldersAndRefusesWhatIsNotThere) {
    dev->folders.insert("/a/x");
    dev->folders.insert("/a/x/y");
    EXPECT_EQ(Run("cd x"), 0);
    EXPECT_EQ(Run("cd y"), 0);
    EXPECT_EQ(folder, "/a/x/y");
    EXPECT_EQ(Run("cd .."), 0);
    EXPECT_EQ(folder, "/a/x");
    EXPECT_EQ(Run("cd nothere"), -1);
    EXPECT_EQ(folder, "/a/x");
    EXPECT_EQ(Run("cd /a"), 0);
    EXPECT_EQ(Run("cd .."), 0);
    EXPECT_EQ(folder, "/a");
    host.out.clear();
    EXPECT_EQ(Run("cd"), 0);
    EXPECT_EQ(host.out, "/a\n");
    EXPECT_EQ(Run("cd /" + std::string(300, 'x')), -1);
    EXPECT_NE(host.out.find("No path found\n"), std::string::npos);
}

TEST_F(Shell, DirListsFoldersAndFilesInItsFormat) {
    dev->folders.insert("/a/sub");
    dev->files["/a/f.bin"] = std::vector<char>(1234);
    EXPECT_EQ(Run("dir"), 0);
    EXPECT_EQ(host.out, " <DIR>            sub\n             1234 f.bin\n");
    host.out.clear();
    EXPECT_EQ(Run("dir /a/sub"), 0); // empty: only . and ..
    EXPECT_EQ(host.out, " <DIR>            .\n <DIR>            ..\n");
    EXPECT_EQ(Run("dir /a/none"), -1);
}

TEST_F(Shell, HandlesOpenReadWriteCloseThroughHostFiles) {
    std::string src = HostFile("in.txt", "hello");
    EXPECT_EQ(Run("gfslOpen f.txt rw"), 0);
    EXPECT_NE(host.out.find("File /a/f.txt opened with handle 100\n"), std::string::npos);
    EXPECT_EQ(Run("gfslWrite 100 8 " + src), 0);
    EXPECT_EQ(std::string(dev->files["/a/f.txt"].data(), 8), std::string("hello\0\0\0", 8)); // zeros, not garbage
    EXPECT_EQ(Run("gfslClose 100"), 0);
    EXPECT_EQ(Run("gfslClose 100"), -1);
    EXPECT_NE(host.out.find("File close failed\n"), std::string::npos);

    EXPECT_EQ(Run("gfslOpen f.txt r"), 0);
    std::string out = hostDir + "/out.bin";
    EXPECT_EQ(Run("gfslRead 101 8 " + out), 0);
    EXPECT_EQ(lxtest::ReadFile(out), std::string("hello\0\0\0", 8));
    EXPECT_EQ(Run("gfslRead 101 -5 " + out), -1);
    EXPECT_EQ(Run("gfslRead 101 8 /no/such/folder/x"), -1);
    EXPECT_EQ(Run("gfslWrite 101 8 " + hostDir + "/missing"), -1);
    EXPECT_EQ(Run("gfslOpen missing.txt r"), -1);
    EXPECT_NE(host.out.find("File open failed\n"), std::string::npos);
    EXPECT_EQ(Run("gfslCloseAll"), 0);
    EXPECT_EQ(dev->openHandles, 0);
}

TEST_F(Shell, CopyWithinTheDeviceInPiecesAndFailures) {
    dev->files["/a/big"] = std::vector<char>(131072, 'b');
    EXPECT_EQ(Run("gfslCopy /a/big /a/copy"), 0);
    EXPECT_NE(host.out.find("Srcfile /a/big\nDesfile /a/copy\n131072 read\n0 read\n"), std::string::npos);
    EXPECT_EQ(dev->files["/a/copy"], dev->files["/a/big"]);
    EXPECT_EQ(dev->openHandles, 0);

    dev->failReads.insert("/a/big");
    EXPECT_EQ(Run("gfslCopy /a/big /a/copy2"), -1); // a read error is no end of file
    EXPECT_EQ(Run("gfslCopy /a/none /a/copy3"), -1);
    EXPECT_EQ(dev->openHandles, 0);

    // A copy cut off by a full device is removed; one the device will not remove is named.
    dev->failReads.clear();
    dev->writeBudget = 1000;
    dev->failUnlinks.insert("/a/stuck");
    host.out.clear();
    EXPECT_EQ(Run("gfslCopy /a/big /a/cut"), -1);
    EXPECT_EQ(dev->files.count("/a/cut"), 0u);
    EXPECT_EQ(host.out.find("could not be removed"), std::string::npos);
    EXPECT_EQ(Run("gfslCopy /a/big /a/stuck"), -1);
    EXPECT_EQ(dev->files.count("/a/stuck"), 1u);
    EXPECT_NE(host.out.find("The cut-off file /a/stuck could not be removed.\n"), std::string::npos);
}

TEST_F(Shell, ExtCopyBothWaysAndRefusals) {
    std::string data(300000, 0);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
    std::string src = HostFile("data.bin", data);
    EXPECT_EQ(Run("gfslExtCopy " + src + " /a/data.bin"), 0);
    EXPECT_TRUE(std::string(dev->files["/a/data.bin"].begin(), dev->files["/a/data.bin"].end()) == data);
    EXPECT_EQ(Run("gfslExtCopy /a/data.bin " + hostDir + "/back.bin"), 0);
    EXPECT_TRUE(lxtest::ReadFile(hostDir + "/back.bin") == data);

    dev->folders.insert("/a/dir");
    EXPECT_EQ(Run("gfslExtCopy /a/dir " + hostDir + "/x"), -1);     // a device folder
    EXPECT_EQ(Run("gfslExtCopy " + hostDir + " /a/x"), -1);          // a host folder
    EXPECT_EQ(Run("gfslExtCopy /a/none " + hostDir + "/x"), -1);
    dev->failReads.insert("/a/data.bin");
    EXPECT_EQ(lx::CopyFileHostDevice(host, "/a/data.bin", hostDir + "/y"), -1);
    EXPECT_EQ(lx::CopyFileHostDevice(host, hostDir + "/none", "/a/y"), -1);
    EXPECT_EQ(dev->files.count("/a/y"), 0u); // nothing created when the source cannot be opened
    dev->writeBudget = 1000;
    EXPECT_EQ(lx::CopyFileHostDevice(host, src, "/a/short"), -1);
    EXPECT_EQ(dev->files.count("/a/short"), 0u); // a cut-off copy is not left behind
    EXPECT_EQ(host.out.find("could not be removed"), std::string::npos);
    dev->failUnlinks.insert("/a/stuck");
    EXPECT_EQ(lx::CopyFileHostDevice(host, src, "/a/stuck"), -1);
    EXPECT_NE(host.out.find("The cut-off file /a/stuck could not be removed.\n"), std::string::npos);
    EXPECT_EQ(dev->openHandles, 0);
}

TEST_F(Shell, CopyDirBothWaysThenCleanDir) {
    ASSERT_EQ(system(("mkdir -p " + hostDir + "/tree/sub/deeper").c_str()), 0);
    HostFile("tree/one.txt", "1");
    HostFile("tree/sub/two.txt", "22");
    HostFile("tree/sub/deeper/three.txt", "333");
    EXPECT_EQ(Run("gfslCopyDir " + hostDir + "/tree /a/tree"), 0);
    EXPECT_EQ(dev->files["/a/tree/sub/deeper/three.txt"].size(), 3u);
    EXPECT_EQ(Run("gfslCopyDir /a/tree " + hostDir + "/back"), 0);
    EXPECT_EQ(lxtest::ReadFile(hostDir + "/back/sub/two.txt"), "22");
    EXPECT_EQ(Run("gfslCopyDir /a/tree /a/tree/sub/inside"), -1); // into its own subtree
    EXPECT_EQ(Run("gfslCopyDir /a/tree " + hostDir + "/back"), -1); // destination exists
    // A subfolder that cannot be made on the other side fails the copy instead of skipping it.
    ASSERT_EQ(mkdir((hostDir + "/blocked").c_str(), 0777), 0);
    HostFile("blocked/sub", "a file where the folder should go");
    EXPECT_EQ(lx::CopyHostFolderTree(host, "/a/tree", hostDir + "/blocked"), -1);

    EXPECT_EQ(Run("cleandir tree"), 0);
    EXPECT_EQ(dev->folders.count("/a/tree"), 0u);
    for (const auto& f : dev->files) EXPECT_EQ(f.first.rfind("/a/tree", 0), std::string::npos) << f.first;
}

// A folder copied into itself or below itself would copy its own copy until the depth limit,
// filling the source: it is refused before anything is made, on the device and on the host.
TEST_F(Shell, NoFolderIsCopiedIntoItsOwnSubtree) {
    dev->folders = {"/a", "/a/tree", "/a/tree/sub"};
    dev->files["/a/tree/one.txt"] = {'1'};
    dev->files["/a/tree/sub/two.txt"] = {'2', '2'};
    ASSERT_EQ(system(("mkdir -p " + hostDir + "/tree/sub").c_str()), 0);
    HostFile("tree/one.txt", "1");
    const auto folders = dev->folders;
    const auto files = dev->files;
    const std::string hostTree = hostDir + "/tree";
    const std::string lines[] = {
        "gfslCopyDir /a/tree /a/tree/sub/inside",
        "gfslCopyDir /a/tree /a/tree/inside",
        "gfslCopyDir /a/tree/ /a\\tree\\sub\\inside",
        "gfslCopyDir /a/tree /a/tree",
        "gfslCopyDir " + hostTree + " " + hostTree + "/inside",
        "gfslCopyDir " + hostTree + " " + hostTree + "/sub/inside",
    };
    for (const std::string& line : lines) {
        EXPECT_EQ(Run(line), -1) << line;
        EXPECT_EQ(dev->folders, folders) << line;
        EXPECT_EQ(dev->files, files) << line;
        EXPECT_NE(access((hostTree + "/inside").c_str(), F_OK), 0) << line;
        EXPECT_NE(access((hostTree + "/sub/inside").c_str(), F_OK), 0) << line;
    }
    // The copy function itself refuses too, whoever calls it.
    EXPECT_EQ(lx::CopyHostFolderTree(host, "/a/tree", "/a/tree/sub"), -1);
    EXPECT_EQ(lx::CopyHostFolderTree(host, hostTree, hostTree + "/sub"), -1);
    EXPECT_EQ(dev->folders, folders);
    EXPECT_EQ(dev->files, files);
    EXPECT_NE(access((hostTree + "/sub/sub").c_str(), F_OK), 0);
    EXPECT_NE(access((hostTree + "/sub/one.txt").c_str(), F_OK), 0);

    // A name that only begins like the source is beside it, not inside it.
    EXPECT_EQ(Run("gfslCopyDir /a/tree /a/tree2"), 0);
    EXPECT_EQ(dev->files["/a/tree2/sub/two.txt"].size(), 2u);
}

TEST_F(Shell, UnreadableDeviceFileAsksAndCancelStops) {
    dev->folders.insert("/a/t");
    dev->files["/a/t/a.bin"] = {'a'};
    dev->files["/a/t/b.bin"] = {'b'};
    dev->failReads.insert("/a/t/a.bin");
    // Opening works but reading fails: the copy stops with -1.
    EXPECT_EQ(lx::CopyHostFolderTree(host, "/a/t", hostDir), -1);
    // A destination that cannot be opened: the question, and Cancel ends the copy.
    dev->failReads.clear();
    LxPromptQueueAnswer(LX_IDCANCEL);
    EXPECT_EQ(lx::CopyHostFolderTree(host, "/a/t", hostDir + "/no/such"), -1);
    ASSERT_GE(LxPromptRecordCount(), 1);
    EXPECT_STREQ(LxPromptRecordText(LxPromptRecordCount() - 1), "File /a/t/a.bin can't be open. Continue anyway?");
    // OK goes on with the next entry.
    LxPromptQueueAnswer(LX_IDOK);
    LxPromptQueueAnswer(LX_IDOK);
    EXPECT_EQ(lx::CopyHostFolderTree(host, "/a/t", hostDir + "/no/such"), 0);
}

TEST_F(Shell, FilesFoldersAndCallbacks) {
    EXPECT_EQ(Run("mkdir d"), 0);
    EXPECT_EQ(Run("mkdir d"), -1);
    dev->files["/a/d/f"] = {'x', 'y', 'z'};
    EXPECT_EQ(Run("rmdir d"), -1); // not empty
    EXPECT_EQ(Run("gfslTruncate d/f 1"), 0);
    EXPECT_EQ(dev->files["/a/d/f"].size(), 1u);
    EXPECT_EQ(Run("gfslTruncate d/none 1"), -1);
    EXPECT_EQ(Run("gfslDelete d/f"), 0);
    EXPECT_EQ(Run("gfslDelete d/f"), -1);
    EXPECT_EQ(Run("rmdir d"), 0);
    EXPECT_EQ(Run("mkdir"), -1);

    host.out.clear();
    EXPECT_EQ(Run("gfslCustomCB5 1 2"), 0);
    EXPECT_EQ(dev->calls.back(), "cb5 1 2 0 0");
    EXPECT_EQ(host.out, "CmdTest1\n");
    EXPECT_EQ(Run("gfslCustomCB8"), -1);
}

}  // namespace
