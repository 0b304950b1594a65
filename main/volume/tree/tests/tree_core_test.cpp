// The tree's copies, moves and counts against the virtual device's own FAT volume and a host
// folder below the system's temporary folder; fsck.fat and mtools judge the volume afterwards.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "device_api.h"
#include "lumivex/prompt.h"
#include "test_files.h"
#include "tree_core.h"
#include "vd_binding.h"

namespace fs = std::filesystem;
using namespace lx::voltree;

namespace {

// Records what the copy says and answers its questions from a queue (default: the box's
// default button); can press Cancel after a number of files.
class RecordingUi : public TreeCopyUi {
public:
    std::vector<std::string> said;
    std::deque<int> answers;
    int cancelAfterSteps = -1;
    int steps = 0;
    int progressTotal = -1;
    bool progressVisible = false;
    int Ask(const std::string& text, const char*, unsigned type) override {
        said.push_back(text);
        if (answers.empty()) return LxPromptDefaultAnswer(type);
        int a = answers.front();
        answers.pop_front();
        return a;
    }
    bool StopRequested() override { return cancelAfterSteps >= 0 && steps >= cancelAfterSteps; }
    bool BeginProgress(int total, bool visible) override {
        progressTotal = total;
        progressVisible = visible;
        return true;
    }
    void StepProgress(const std::string&) override { ++steps; }
};


using lxtest::ReadFile;

void WriteHost(const std::string& path, const std::string& data) {
    std::ofstream(path, std::ios::binary) << data;
}

std::string ReadVolume(const std::string& path) {
    int h = DeviceApiTable.gfslfopen(path.c_str(), "r");
    if (h < 0) return "<missing>";
    std::string out;
    std::vector<char> buf(65536);
    for (uint32_t n; (n = DeviceApiTable.gfslfread(buf.data(), 1, static_cast<uint32_t>(buf.size()), h)) > 0 &&
                     n != kDeviceReadError;)
        out.append(buf.data(), n);
    DeviceApiTable.gfslfclose(h);
    return out;
}

void WriteVolume(const std::string& path, const std::string& data) {
    int h = DeviceApiTable.gfslfopen(path.c_str(), "w");
    ASSERT_GE(h, 0) << path;
    ASSERT_EQ(data.size(), DeviceApiTable.gfslfwrite(data.data(), 1, static_cast<uint32_t>(data.size()), h));
    ASSERT_EQ(0, DeviceApiTable.gfslfclose(h));
}

std::string Read(const std::string& path) { return IsVolumePath(path) ? ReadVolume(path) : ReadFile(path); }

struct Shell {
    int code;
    std::string out;
};
Shell RunShell(const std::string& cmd) {
    Shell r{-1, ""};
    FILE* p = popen((cmd + " 2>&1").c_str(), "r");
    if (!p) return r;
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
    int st = pclose(p);
    r.code = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}
std::string Q(const std::string& s) { return "'" + s + "'"; }

// A folder tree with long, mixed-case and non-ASCII names, relative path -> contents ("" marks a
// folder).
const std::map<std::string, std::string>& SampleTree() {
    static const std::map<std::string, std::string> tree = {
        {"Reports", ""},
        {"Reports/Quarterly Summary of Flash Endurance Measurements 2026.txt", lxtest::NoiseBytes(70000, 1)},
        {"Reports/MiXeD CaSe.BIN", lxtest::NoiseBytes(131072, 2)},
        {"Reports/Übersicht", ""},
        {"Reports/Übersicht/größe ÄÖÜ.dat", lxtest::NoiseBytes(300001, 3)},
        {"Reports/Übersicht/日本語のファイル名.txt", lxtest::NoiseBytes(17, 4)},
        {"Reports/empty folder", ""},
        {"Reports/zero.bin", ""},
        {"Reports/a.b.c.d", lxtest::NoiseBytes(512, 5)},
    };
    return tree;
}

// Files under a root of either side, relative path -> contents; folders as "".
std::map<std::string, std::string> Snapshot(const std::string& root, const std::string& rel = "") {
    std::map<std::string, std::string> out;
    std::vector<TreeEntry> entries;
    std::string here = rel.empty() ? root : JoinPath(root, rel);
    if (!ListFolder(here, entries)) return out;
    for (const TreeEntry& e : entries) {
        std::string r = rel.empty() ? e.name : rel + "/" + e.name;
        if (e.folder) {
            out[r] = "";
            for (auto& kv : Snapshot(root, r)) out.insert(kv);
        } else {
            out[r] = Read(JoinPath(root, r));
        }
    }
    return out;
}

// The sample below its top folder, keys prefixed with `under` (Snapshot marks folders and empty
// files alike as "": the sample reads the same way).
std::map<std::string, std::string> Sample(const std::string& under) {
    std::map<std::string, std::string> out;
    const std::string top = "Reports/";
    for (auto& kv : SampleTree())
        if (kv.first.compare(0, top.size(), top) == 0) out[under + kv.first.substr(top.size())] = kv.second;
    return out;
}

// Names and contents alike, without printing megabytes of data on a difference.
::testing::AssertionResult SameTree(const std::map<std::string, std::string>& expected,
                                    const std::map<std::string, std::string>& actual) {
    std::string diff;
    for (auto& kv : expected) {
        auto it = actual.find(kv.first);
        if (it == actual.end()) diff += " missing " + kv.first + ";";
        else if (it->second != kv.second) diff += " differs " + kv.first + " (" + std::to_string(it->second.size()) + " bytes);";
    }
    for (auto& kv : actual)
        if (!expected.count(kv.first)) diff += " extra " + kv.first + ";";
    if (diff.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << diff;
}

void MakeSample(const std::string& root) {
    for (auto& kv : SampleTree()) {
        std::string path = JoinPath(root, kv.first);
        bool folder = kv.second.empty() && kv.first.find('.') == std::string::npos;
        if (folder) {
            ASSERT_TRUE(MakeFolder(path)) << path;
        } else if (IsVolumePath(path)) {
            WriteVolume(path, kv.second);
        } else {
            WriteHost(path, kv.second);
        }
    }
}

class TreeCore : public ::testing::Test {
protected:
    std::string area, host;
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        area = (fs::temp_directory_path() / ("lxvoltree-" + std::to_string(getpid()) + "-" + info->name())).string();
        fs::remove_all(area);
        fs::create_directories(fs::path(area) / "User Data");
        // Host paths must not begin with '/', which marks a volume path: work relative to the area.
        fs::create_directories(fs::path(area) / "pc");
        ASSERT_EQ(0, chdir(area.c_str()));
        host = "pc";
        ASSERT_TRUE(vdtest::StartVolume(area, VolumeMegabytes()));
    }
    void TearDown() override {
        vdtest::StopVolume();
        if (chdir(fs::temp_directory_path().c_str()) != 0) ADD_FAILURE();
        if (!HasFailure()) fs::remove_all(area);
    }
    virtual uint32_t VolumeMegabytes() const { return 32; }

    // fsck.fat and mtools on the volume cut out of the image: no complaint, and mtools reads
    // every expected file byte for byte.
    void JudgeVolume(const std::map<std::string, std::string>& expected) {
        vdtest::StopVolume();
        std::string vol = area + "/vol.img";
        Shell cut = RunShell("dd if=" + Q(vdtest::ImagePath()) + " of=" + Q(vol) +
                        " bs=512 skip=2048 count=" + std::to_string(VolumeMegabytes() * 2048) + " status=none");
        ASSERT_EQ(0, cut.code) << cut.out;
        Shell fsck = RunShell("fsck.fat -n " + Q(vol));
        EXPECT_EQ(0, fsck.code) << fsck.out;
        for (auto& kv : expected) {
            if (kv.second.empty()) continue;
            Shell type = RunShell("MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8 mtype -i " + Q(vol) + " " + Q("::" + kv.first));
            EXPECT_EQ(kv.second.size(), type.out.size()) << kv.first;
            EXPECT_TRUE(type.out == kv.second) << kv.first;
        }
        ASSERT_TRUE(vdtest::Reopen());
    }
};

}  // namespace

TEST(TreePaths, InsideJoinParentAndNames) {
    struct Case {
        const char* outer;
        const char* inner;
        bool inside;
    } cases[] = {
        {"/a/docs", "/a/docs/sub", true},   {"/a/docs", "/a/DOCS/Sub/x", true}, {"/a/docs", "/a/docs", true},
        {"/a/docs", "/a/docs2", false},     {"/a/docs/", "/a/docs/x", true},    {"t:/data", "T:\\Data\\x", true},
        {"t:/data", "t:/dat", false},       {"/a", "/a/x", true},
    };
    for (const Case& c : cases) EXPECT_EQ(c.inside, PathInside(c.outer, c.inner)) << c.outer << " " << c.inner;
    EXPECT_EQ("/a/x", JoinPath("/a", "x"));
    EXPECT_EQ("t:/x", JoinPath("t:/", "x"));
    EXPECT_EQ("/a/docs", ParentPath("/a/docs/f.txt"));
    EXPECT_EQ("", ParentPath("/a"));
    EXPECT_EQ("a", PasteName("/a", true));
    EXPECT_EQ("t", PasteName("t:", true));
    EXPECT_EQ("x:y", PasteName("x:y", false));
    const std::string mixed = "Ä日本\xF0\x9F\x98\x80z";
    EXPECT_EQ(mixed, Utf16ToUtf8(Utf8ToUtf16(mixed)));
    EXPECT_EQ(6u, Utf16Length(mixed));  // the emoji takes two units
    EXPECT_EQ(u"\uFFFDx", Utf8ToUtf16("\xC3x"));
    EXPECT_FALSE(PathTooLong("t:/" + std::string(256, 'x')));
    EXPECT_TRUE(PathTooLong("t:/" + std::string(257, 'x')));
    EXPECT_FALSE(PathTooLong("/a/" + std::string(507, 'x')));
    EXPECT_TRUE(PathTooLong("/a/" + std::string(508, 'x')));
    EXPECT_EQ("C:\\u\\temp\\~1436407414.txt", TempCopyName("C:\\u\\temp", "run.log.txt", 1436407414u));
    EXPECT_EQ("C:\\t\\~7.README", TempCopyName("C:\\t", "README", 7));
}

TEST(TreeProperties, DosDatesAndTimesInvalidOnesStayEmpty) {
    auto date = [](int y, int m, int d) { return static_cast<uint16_t>(((y - 1980) << 9) | (m << 5) | d); };
    auto time = [](int h, int m, int s) { return static_cast<uint16_t>((h << 11) | (m << 5) | (s / 2)); };
    struct Case {
        uint16_t date, time;
        const char* text;
    } cases[] = {
        {date(2015, 7, 9), time(2, 43, 34), "Thursday, July 09, 2015, 02:43:34 AM"},
        {date(2026, 12, 10), time(13, 45, 30), "Thursday, December 10, 2026, 01:45:30 PM"},
        {date(2024, 2, 29), 0, "Thursday, February 29, 2024, 12:00:00 AM"},
        {date(1980, 1, 1), time(23, 59, 58), "Tuesday, January 01, 1980, 11:59:58 PM"},
        {0, 0, ""},                                     // never set
        {date(2015, 0, 9), 0, ""},                      // month 0
        {date(2015, 13, 9), 0, ""},                     // month 13
        {date(2015, 7, 0), 0, ""},                      // day 0
        {date(2023, 2, 29), 0, ""},                     // not a leap year
        {date(2015, 4, 31), 0, ""},                     // April has 30 days
        {date(2015, 7, 9), time(24, 0, 0), ""},          // hour 24
        {date(2015, 7, 9), time(10, 60, 0), ""},         // minute 60
        {date(2015, 7, 9), static_cast<uint16_t>(30), ""},  // 60 seconds
    };
    for (const Case& c : cases) EXPECT_EQ(c.text, FormatDosDateTime(c.date, c.time)) << c.date << " " << c.time;
    int files = 3, folders = 1;
    EXPECT_EQ("1536 Bytes (3 Files, 1 Folders)", FormatSize(1536, &files, &folders));
    EXPECT_EQ("5000000000 Bytes", FormatSize(5000000000ull, nullptr, nullptr));
}


// Copy in all four directions: PC -> volume -> volume -> PC -> PC, each step byte for byte, the
// progress counting files; then the outside tools read the volume.
TEST_F(TreeCore, CopiesAFolderTreeInAllFourDirections) {
    MakeSample(host);
    struct Step {
        std::string from, into;  // source folder, destination parent folder
    } steps[] = {
        {host + "/Reports", "/a"},
        {"/a/Reports", "/a/Übersicht Kopie"},
        {"/a/Übersicht Kopie/Reports", host + "/back"},
        {host + "/back/Reports", host + "/again"},
    };
    ASSERT_TRUE(MakeFolder("/a/Übersicht Kopie"));
    ASSERT_TRUE(MakeFolder(host + "/back"));
    ASSERT_TRUE(MakeFolder(host + "/again"));
    for (const Step& s : steps) {
        RecordingUi ui;
        PasteOutcome out = Paste(ui, s.from, "Reports", s.into, false);
        EXPECT_EQ(kCopyDone, out.result) << s.from;
        EXPECT_EQ(std::vector<std::string>{"Copy finished."}, ui.said) << s.from;
        EXPECT_EQ(6, out.tally.total);
        EXPECT_EQ(6, out.tally.copied);
        EXPECT_EQ(6, ui.steps);
        EXPECT_EQ(6, ui.progressTotal);
        EXPECT_TRUE(ui.progressVisible);
        EXPECT_TRUE(SameTree(Sample(""), Snapshot(JoinPath(s.into, "Reports")))) << s.into;
        EXPECT_TRUE(SameTree(Sample(""), Snapshot(s.from))) << "the source stays: " << s.from;
    }
    std::map<std::string, std::string> onVolume;
    for (auto& kv : Sample("/Reports/")) onVolume[kv.first] = kv.second;
    for (auto& kv : Sample("/Übersicht Kopie/Reports/")) onVolume[kv.first] = kv.second;
    JudgeVolume(onVolume);
}

// A single file in the four directions, moved: the source goes only after the copy; pasting
// onto itself or into its own folder does nothing and says nothing.
TEST_F(TreeCore, MovesSingleFilesAndIgnoresPastesOntoThemselves) {
    const std::string data = lxtest::NoiseBytes(200000, 9);
    WriteHost(host + "/Ärger.txt", data);
    ASSERT_TRUE(MakeFolder("/a/in"));
    ASSERT_TRUE(MakeFolder(host + "/out"));
    struct Step {
        std::string from, target, to;
    } steps[] = {
        {host + "/Ärger.txt", "/a/in", "/a/in/Ärger.txt"},
        {"/a/in/Ärger.txt", "/a", "/a/Ärger.txt"},
        {"/a/Ärger.txt", host + "/out", host + "/out/Ärger.txt"},
        {host + "/out/Ärger.txt", host, host + "/Ärger.txt"},
    };
    for (const Step& s : steps) {
        RecordingUi ui;
        PasteOutcome out = Paste(ui, s.from, "Ärger.txt", s.target, true);
        EXPECT_EQ(kCopyDone, out.result);
        EXPECT_TRUE(out.sourceRemoved);
        EXPECT_EQ(std::vector<std::string>{"Copy finished."}, ui.said);
        EXPECT_TRUE(data == Read(s.to)) << s.to;
        bool exists = true;
        ItemAttributes(s.from, &exists);
        EXPECT_FALSE(exists) << s.from;
        EXPECT_FALSE(ui.progressVisible);
    }
    // A file as the target pastes into its folder; the source's own folder and the source itself
    // are quiet no-ops.
    RecordingUi ui;
    EXPECT_TRUE(Paste(ui, host + "/Ärger.txt", "Ärger.txt", host + "/Ärger.txt", false).quiet);
    EXPECT_TRUE(Paste(ui, host + "/Ärger.txt", "Ärger.txt", host, false).quiet);
    ASSERT_TRUE(MakeFolder("/a/docs"));
    EXPECT_TRUE(Paste(ui, "/a/docs", "docs", "/a/docs", true).quiet);
    EXPECT_TRUE(ui.said.empty());
    WriteVolume("/a/docs/x.txt", "x");
    PasteOutcome viaFile = Paste(ui, host + "/Ärger.txt", "Ärger.txt", "/a/docs/x.txt", false);
    EXPECT_EQ("/a/docs", viaFile.folder);
    EXPECT_TRUE(data == ReadVolume("/a/docs/Ärger.txt"));
}

// A move whose copy left anything out never removes the source: a volume too small for the
// tree, a file the user chose not to replace, a file that could not be opened.
TEST_F(TreeCore, APartialMoveKeepsEverySourceAndSaysHowMuchWasCopied) {
    // 12 files of 1 MiB into a 32 MiB volume that holds 27 MiB of other data already.
    ASSERT_TRUE(MakeFolder(host + "/big"));
    for (int i = 0; i < 12; ++i) WriteHost(host + "/big/f" + std::to_string(i) + ".bin", lxtest::NoiseBytes(1 << 20, i));
    for (int i = 0; i < 27; ++i) WriteVolume("/a/fill" + std::to_string(i), lxtest::NoiseBytes(1 << 20, 100 + i));
    RecordingUi ui;
    PasteOutcome out = Paste(ui, host + "/big", "big", "/a", true);
    EXPECT_EQ(kCopyFailed, out.result);
    EXPECT_FALSE(out.sourceRemoved);
    ASSERT_EQ(1u, ui.said.size());
    EXPECT_EQ("Copy failed: " + std::to_string(out.tally.copied) + " of 12 files copied.\n"
              "Nothing was removed from the source.", ui.said[0]);
    EXPECT_GT(out.tally.copied, 0);
    EXPECT_LT(out.tally.copied, 12);
    for (int i = 0; i < 12; ++i) EXPECT_TRUE(lxtest::NoiseBytes(1 << 20, i) == ReadFile(host + "/big/f" + std::to_string(i) + ".bin")) << i;
    // Only whole files are left on the volume: the one cut off by the full volume is gone.
    std::map<std::string, std::string> expected;
    for (auto& kv : Snapshot("/a/big")) {
        int i = std::stoi(kv.first.substr(1));
        EXPECT_TRUE(lxtest::NoiseBytes(1 << 20, i) == kv.second) << kv.first;
        expected["/big/" + kv.first] = kv.second;
    }
    EXPECT_EQ(static_cast<size_t>(out.tally.copied), expected.size());
    JudgeVolume(expected);

    // Replacing: No skips the file (the move keeps its source), Cancel stops, Yes replaces.
    ASSERT_TRUE(MakeFolder(host + "/two"));
    WriteHost(host + "/two/same.txt", "new");
    WriteHost(host + "/two/other.txt", "other");
    ASSERT_TRUE(MakeFolder("/a/dest"));
    ASSERT_TRUE(MakeFolder("/a/dest/two"));
    WriteVolume("/a/dest/two/same.txt", "old");
    // The top folder exists: the paste refuses it whole and changes nothing.
    RecordingUi no;
    EXPECT_EQ(kCopyFailed, Paste(no, host + "/two", "two", "/a/dest", true).result);
    EXPECT_EQ(std::vector<std::string>{"Copy failed"}, no.said);
    EXPECT_EQ("old", ReadVolume("/a/dest/two/same.txt"));
    EXPECT_EQ("new", ReadFile(host + "/two/same.txt"));

    struct Case {
        int answer;
        int result;
        std::string content;
        bool removed;
    } cases[] = {
        {LX_IDNO, kCopyPartial, "old", false},
        {LX_IDCANCEL, kCopyFailed, "old", false},
        {LX_IDYES, kCopyDone, "new", true},
    };
    for (const Case& c : cases) {
        WriteHost(host + "/same.txt", "new");
        WriteVolume("/a/dest/same.txt", "old");
        RecordingUi ui2;
        ui2.answers = {c.answer};
        PasteOutcome o = Paste(ui2, host + "/same.txt", "same.txt", "/a/dest", true);
        EXPECT_EQ(c.result, o.result) << c.answer;
        EXPECT_EQ(c.content, ReadVolume("/a/dest/same.txt")) << c.answer;
        EXPECT_EQ(c.removed, !HostStat(host + "/same.txt").exists) << c.answer;
        ASSERT_FALSE(ui2.said.empty());
        EXPECT_EQ("File /a/dest/same.txt already exists. Replace it?", ui2.said[0]);
        EXPECT_EQ(c.removed ? "Copy finished." : "Copy failed: 0 of 1 files copied.\nNothing was removed from the source.",
                  ui2.said.back());
    }

    // A file that cannot be opened: OK goes on past it and the copy counts as partial; Cancel
    // stops it.
    ASSERT_TRUE(MakeFolder("/a/src"));
    WriteVolume("/a/src/one.txt", "1");
    WriteVolume("/a/src/two.txt", "2");
    for (int answer : {LX_IDOK, LX_IDCANCEL}) {
        std::string into = host + "/target" + std::to_string(answer);
        ASSERT_TRUE(MakeFolder(into));
        ASSERT_TRUE(MakeFolder(into + "/one.txt"));  // a folder where the file should go
        RecordingUi ui3;
        ui3.answers = {answer};
        TreeCopier copier(ui3);
        int r = copier.CopyItem("/a/src", into, true);
        ASSERT_FALSE(ui3.said.empty());
        EXPECT_EQ("File " + into + "/one.txt can't be open. Continue anyway?", ui3.said[0]);
        EXPECT_EQ(answer == LX_IDOK ? kCopyPartial : kCopyFailed, r);
        EXPECT_EQ(answer == LX_IDOK ? 1 : 0, copier.tally().skipped);
    }
}

// A folder never goes into itself, paths that would grow too long are refused before anything
// is made, and Cancel stops between files and says what was copied.
TEST_F(TreeCore, RefusesLoopsAndLongPathsAndStopsOnCancel) {
    ASSERT_TRUE(MakeFolder("/a/docs"));
    ASSERT_TRUE(MakeFolder("/a/docs/sub"));
    WriteVolume("/a/docs/f.txt", "f");
    ASSERT_TRUE(MakeFolder(host + "/docs"));
    ASSERT_TRUE(MakeFolder(host + "/docs/sub"));
    struct Case {
        std::string source, target;
    } loops[] = {{"/a/docs", "/a/docs/sub"}, {"/a", "/a/docs"}, {host + "/docs", host + "/DOCS/sub"}};
    for (const Case& c : loops) {
        RecordingUi ui;
        PasteOutcome out = Paste(ui, c.source, PasteName(c.source, c.source == "/a"), c.target, false);
        EXPECT_EQ(kCopyFailed, out.result) << c.source;
        EXPECT_EQ(std::vector<std::string>{"Copy failed: the destination folder is inside the source folder."}, ui.said);
    }
    EXPECT_FALSE(IsFolder("/a/docs/sub/docs"));
    EXPECT_FALSE(HostStat(host + "/docs/sub/docs").exists);

    // Below a PC folder whose path is already long, the tree's deepest path would pass the limit.
    std::string deep = host;
    while (Utf16Length(deep) < 230) {
        deep += "/" + std::string(20, 'd');
        ASSERT_TRUE(MakeFolder(deep));
    }
    ASSERT_TRUE(MakeFolder("/a/docs/sub/" + std::string(40, 'n')));
    RecordingUi longUi;
    PasteOutcome longOut = Paste(longUi, "/a/docs", "docs", deep, false);
    EXPECT_EQ(kCopyFailed, longOut.result);
    ASSERT_EQ(1u, longUi.said.size());
    EXPECT_EQ("Copy failed: the paths below " + deep + "/docs would be too long.", longUi.said[0]);
    EXPECT_FALSE(HostStat(deep + "/docs").exists);

    // Cancel after the third file: three files copied of ten, the rest never started.
    ASSERT_TRUE(MakeFolder(host + "/ten"));
    for (int i = 0; i < 10; ++i) WriteHost(host + "/ten/" + std::to_string(i) + ".txt", std::to_string(i));
    RecordingUi cancel;
    cancel.cancelAfterSteps = 3;
    PasteOutcome out = Paste(cancel, host + "/ten", "ten", "/a", true);
    EXPECT_EQ(kCopyCancelled, out.result);
    EXPECT_EQ(std::vector<std::string>{"Copy canceled: 3 of 10 files copied."}, cancel.said);
    EXPECT_EQ(3u, Snapshot("/a/ten").size());
    EXPECT_EQ(10u, Snapshot(host + "/ten").size());
}

// Counts of a folder at any depth; the byte sum does not wrap at 4 GiB (sparse host files).
TEST_F(TreeCore, CountsFoldersFilesAndBytesBeyondFourGigabytes) {
    MakeSample(host);
    int folders = 0, files = 0;
    uint64_t bytes = 0;
    EXPECT_EQ(0, CountFolderContents(host + "/Reports", &folders, &files, &bytes));
    uint64_t sum = 0;
    for (auto& kv : SampleTree()) sum += kv.second.size();
    EXPECT_EQ(2, folders);
    EXPECT_EQ(6, files);
    EXPECT_EQ(sum, bytes);
    ItemProperties p = ReadProperties(host + "/Reports");
    EXPECT_EQ(FormatSize(sum, &files, &folders), p.size);
    EXPECT_EQ(0x10, p.attributes & 0x10);

    ASSERT_TRUE(MakeFolder(host + "/huge"));
    for (const char* name : {"/huge/a.img", "/huge/b.img"}) {
        FILE* f = std::fopen((host + name).c_str(), "wb");
        ASSERT_NE(nullptr, f);
        ASSERT_EQ(0, ftruncate(fileno(f), 3000000000ll));
        std::fclose(f);
    }
    EXPECT_EQ("6000000000 Bytes (2 Files, 0 Folders)", ReadProperties(host + "/huge").size);
    EXPECT_EQ("3000000000 Bytes", ReadProperties(host + "/huge/a.img").size);

    // The same counts on the volume, and a file's size and times from its entry.
    RecordingUi ui;
    ASSERT_EQ(kCopyDone, Paste(ui, host + "/Reports", "Reports", "/a", false).result);
    ItemProperties v = ReadProperties("/a/Reports");
    EXPECT_TRUE(v.found);
    EXPECT_EQ(FormatSize(sum, &files, &folders), v.size);
    EXPECT_EQ("/a/Reports", v.location);
    EXPECT_EQ("User Editor", v.type);
    ItemProperties f = ReadProperties("/a/Reports/MiXeD CaSe.BIN");
    EXPECT_EQ("131072 Bytes", f.size);
    EXPECT_EQ(0x20, f.attributes);
    EXPECT_FALSE(f.modified.empty());
    EXPECT_FALSE(ReadProperties("/a/nothing").found);
}

// A sub-folder that exists on the other side already is filled, from either side, instead of
// being left out with everything in it while the copy reports success.
TEST_F(TreeCore, FillsSubFoldersThatExistAlready) {
    struct Case {
        std::string source, destination;
    } cases[] = {{"/a/src", host + "/dst"}, {host + "/src", "/a/dst"}};
    for (const Case& c : cases) {
        ASSERT_TRUE(MakeFolder(c.source));
        ASSERT_TRUE(MakeFolder(c.source + "/sub"));
        ASSERT_TRUE(MakeFolder(c.source + "/sub/deeper"));
        if (IsVolumePath(c.source)) {
            WriteVolume(c.source + "/sub/inner.txt", "inner");
            WriteVolume(c.source + "/sub/deeper/low.txt", "low");
        } else {
            WriteHost(c.source + "/sub/inner.txt", "inner");
            WriteHost(c.source + "/sub/deeper/low.txt", "low");
        }
        ASSERT_TRUE(MakeFolder(c.destination));
        ASSERT_TRUE(MakeFolder(c.destination + "/sub"));
        RecordingUi ui;
        TreeCopier copier(ui);
        EXPECT_EQ(kCopyDone, copier.CopyItem(c.source, c.destination, true)) << c.source;
        EXPECT_EQ(2, copier.tally().copied) << c.source;
        EXPECT_EQ("inner", Read(c.destination + "/sub/inner.txt")) << c.source;
        EXPECT_EQ("low", Read(c.destination + "/sub/deeper/low.txt")) << c.source;
        EXPECT_TRUE(ui.said.empty());
    }
}

// A sub-folder that can be neither made nor found on the other side (a file holds its name)
// stops the copy as a failure instead of leaving its subtree out while the copy reports success.
TEST_F(TreeCore, ASubFolderThatCannotBeMadeStopsTheCopy) {
    ASSERT_TRUE(MakeFolder("/a/src"));
    ASSERT_TRUE(MakeFolder("/a/src/sub"));
    WriteVolume("/a/src/sub/inner.txt", "inner");
    ASSERT_TRUE(MakeFolder(host + "/dst"));
    WriteHost(host + "/dst/sub", "a file where the folder should go");
    RecordingUi ui;
    TreeCopier copier(ui);
    EXPECT_EQ(kCopyFailed, copier.CopyItem("/a/src", host + "/dst", true));
    EXPECT_EQ(0, copier.tally().copied);
    EXPECT_EQ(1, copier.tally().total);
}

// Two files of one PC folder whose names differ only in case are one name on the volume. The
// second is asked about as a file that is there already; whatever the answer, only one of the two
// is on the volume, and the paste says so instead of "Copy finished.". Replacing a file that was
// there before the paste is still a replacement, not a loss.
TEST_F(TreeCore, NamesThatDifferOnlyInCaseAreCountedAsOne) {
    ASSERT_TRUE(MakeFolder(host + "/site"));
    const std::string upper = "<html>first</html>", lower = "<html>second, longer</html>";
    WriteHost(host + "/site/Index.html", upper);
    WriteHost(host + "/site/index.html", lower);
    std::map<std::string, std::string> expected;
    for (int answer : {LX_IDNO, LX_IDYES}) {
        SCOPED_TRACE(answer == LX_IDNO ? "No" : "Yes");
        const std::string into = answer == LX_IDNO ? "/a/keep" : "/a/replace";
        ASSERT_TRUE(MakeFolder(into));
        RecordingUi ui;
        ui.answers = {answer};
        PasteOutcome out = Paste(ui, host + "/site", "site", into, false);
        EXPECT_EQ(kCopyPartial, out.result);
        EXPECT_EQ(1, out.tally.copied);
        EXPECT_EQ(2, out.tally.total);
        ASSERT_EQ(2u, ui.said.size());
        const bool lowerSecond = ui.said[0] == "File " + into + "/site/index.html already exists. Replace it?";
        EXPECT_TRUE(lowerSecond || ui.said[0] == "File " + into + "/site/Index.html already exists. Replace it?") << ui.said[0];
        EXPECT_EQ("Copy failed: 1 of 2 files copied.", ui.said[1]);
        const std::string& first = lowerSecond ? upper : lower;
        const std::string& second = lowerSecond ? lower : upper;
        EXPECT_EQ(answer == LX_IDNO ? first : second, ReadVolume(into + "/site/index.html"));
        expected[into.substr(2) + "/site/index.html"] = answer == LX_IDNO ? first : second;
    }
    // A file that was on the volume before the paste: Yes replaces it, and the file counts as
    // copied.
    WriteVolume("/a/one.html", "old");
    WriteHost(host + "/one.html", "new");
    RecordingUi ui;
    ui.answers = {LX_IDYES};
    PasteOutcome out = Paste(ui, host + "/one.html", "one.html", "/a", false);
    EXPECT_EQ(kCopyDone, out.result);
    EXPECT_EQ(1, out.tally.copied);
    EXPECT_EQ("new", ReadVolume("/a/one.html"));
    expected["/one.html"] = "new";
    JudgeVolume(expected);
}
