// Drives a running Lumivex from outside, as a user's clicks would: menu commands posted to its main
// window, the windows they open found among its own, their texts read, their pictures taken, the
// common file dialogs answered. One step per run; exit code 0 when the step did what it says.
//   open-device <shot>          Open Device: prints the device information text, then OK
//   profiler <shot>             the function profiler window (left open)
//   dump <file>                 Dump Debug Information into <file> (Windows path), until its box
//                               says the dump finished (the prompt log, LX_PROMPT_LOG)
//   viewer <file> <shot>        the debug-trace viewer on <file>, then closed
//   sheet <type> <family> <part> <shot> <info shot>
//                               Open Device with no configuration yet: the kit's sheet comes up;
//                               the device type, family and part are picked on its Predefined List
//                               page and OK pressed; prints the Open Device dialog's text, then OK
//   explorer <shot>             Device Explorer: prints the explorer's title and first row, closes it
//   alive                       the main window still answers
//   programmed <from> <to>      waits until the bus trace holds a zero written at a word offset
//                               in [from, to) (hex): a program of zeros has got that far
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "lumivex/testkit.h"

namespace {

// Menu commands and control ids of the program's resources.
constexpr UINT kOpenDevice = 32771;
constexpr UINT kFunctionProfiler = 32774;
constexpr UINT kDumpDebug = 32886;
constexpr UINT kDebugViewer = 32887;
constexpr UINT kDeviceExplorer = 32780;
// The kit sheet's Predefined List page.
constexpr int kTypeRadio[] = {3001, 3002, 3003};  // NOR, NAND, SPI
constexpr int kFamilyCombo = 3010;
constexpr int kPartCombo = 3011;
constexpr int kDeviceInfo = 20012;
constexpr int kProfilerGrid = 20101;
constexpr int kTraceGrid = 20111;
constexpr int kFileNameCombo = 0x47C;  // the common file dialog's file name box
constexpr int kFileNameEdit = 0x480;

HWND Frame() {
    for (int i = 0; i < 300; ++i) {
        if (HWND w = FindWindowA("LumivexMainFrame", nullptr)) return w;
        Sleep(100);
    }
    return nullptr;
}

struct Search {
    DWORD process;
    int control;  // a child with this id, or 0 for the file dialogs
    HWND found;
};

BOOL CALLBACK Visit(HWND w, LPARAM p) {
    auto* s = reinterpret_cast<Search*>(p);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid != s->process || !IsWindowVisible(w)) return TRUE;
    char cls[64] = "";
    GetClassNameA(w, cls, sizeof cls);
    if (std::strcmp(cls, "#32770") != 0) return TRUE;
    bool match = s->control ? GetDlgItem(w, s->control) != nullptr
                            : GetDlgItem(w, kFileNameCombo) != nullptr || GetDlgItem(w, kFileNameEdit) != nullptr;
    if (!match) return TRUE;
    s->found = w;
    return FALSE;
}

// A visible dialog of the program that holds the control, waited for up to 30 seconds.
HWND WaitDialog(HWND frame, int control) {
    Search s{0, control, nullptr};
    GetWindowThreadProcessId(frame, &s.process);
    for (int i = 0; i < 300 && !s.found; ++i) {
        EnumWindows(Visit, reinterpret_cast<LPARAM>(&s));
        if (!s.found) Sleep(100);
    }
    return s.found;
}

bool WaitGone(HWND w) {
    for (int i = 0; i < 300; ++i) {
        if (!IsWindow(w) || !IsWindowVisible(w)) return true;
        Sleep(100);
    }
    return false;
}

std::string Text(HWND w) {
    char text[4096] = "";
    // WM_GETTEXT crosses processes for standard controls.
    DWORD_PTR n = 0;
    SendMessageTimeoutA(w, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &n);
    return text;
}

// Answers a common file dialog with a path and its OK button.
bool AnswerFileDialog(HWND frame, const char* path) {
    HWND dialog = WaitDialog(frame, 0);
    if (!dialog) return false;
    HWND name = GetDlgItem(dialog, kFileNameCombo);
    if (!name) name = GetDlgItem(dialog, kFileNameEdit);
    DWORD_PTR r = 0;
    SendMessageTimeoutA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path), SMTO_ABORTIFHUNG, 5000, &r);
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    return WaitGone(dialog);
}

// Boxes of the program's prompt log (LX_PROMPT_LOG) whose line holds `text`. A command that ends
// with a box is over once its box is there: a window that went is no sign that the work after it
// is done.
int CountBoxes(const char* text) {
    const char* log = std::getenv("LX_PROMPT_LOG");
    FILE* f = log && *log ? std::fopen(log, "rb") : nullptr;
    if (!f) return 0;
    int n = 0;
    char line[4096];
    while (std::fgets(line, sizeof line, f))
        if (std::strstr(line, text)) ++n;
    std::fclose(f);
    return n;
}

// Waits up to 30 seconds for a box that holds `text` beyond the `before` there were.
bool WaitBox(const char* text, int before) {
    for (int i = 0; i < 300; ++i, Sleep(100))
        if (CountBoxes(text) > before) return true;
    std::fprintf(stderr, "no box \"%s\" came\n", text);
    return false;
}

// The module's "TraceMap", read as a second process reads it.
bool WaitProgrammed(uint32_t from, uint32_t to) {
    for (int i = 0; i < 1200; ++i, Sleep(50)) {
        HANDLE map = OpenFileMappingA(FILE_MAP_READ, FALSE, "TraceMap");
        if (!map) continue;
        const auto* words = static_cast<const uint32_t*>(MapViewOfFile(map, FILE_MAP_READ, 0, 0, 1200000));
        bool seen = false;
        for (uint32_t r = 0; words && r < 50000 && !seen; ++r) {
            const uint32_t* rec = words + 6 * r;  // sequence, operation, base, offset, address, data
            seen = rec[1] == 1005 && rec[3] >= from && rec[3] < to && rec[5] == 0;
        }
        if (words) UnmapViewOfFile(words);
        CloseHandle(map);
        if (seen) return true;
    }
    return false;
}

// A visible top-level window of the program whose title begins with `prefix`.
struct TitleSearch {
    DWORD process;
    const char* prefix;
    HWND found;
};

BOOL CALLBACK VisitTitle(HWND w, LPARAM p) {
    auto* s = reinterpret_cast<TitleSearch*>(p);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid != s->process || !IsWindowVisible(w)) return TRUE;
    char title[256] = "";
    GetWindowTextA(w, title, sizeof title);
    if (std::strncmp(title, s->prefix, std::strlen(s->prefix)) != 0) return TRUE;
    s->found = w;
    return FALSE;
}

HWND WaitTitled(HWND frame, const char* prefix) {
    TitleSearch s{0, prefix, nullptr};
    GetWindowThreadProcessId(frame, &s.process);
    for (int i = 0; i < 300 && !s.found; ++i) {
        EnumWindows(VisitTitle, reinterpret_cast<LPARAM>(&s));
        if (!s.found) Sleep(100);
    }
    return s.found;
}

// Picks a list entry as a user does: the selection changes and the page hears of it.
bool Choose(HWND page, int id, const char* text) {
    HWND combo = GetDlgItem(page, id);
    DWORD_PTR i = 0;
    if (!SendMessageTimeoutA(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, 5000, &i) ||
        static_cast<LRESULT>(i) == CB_ERR)
        return false;
    DWORD_PTR r = 0;
    SendMessageTimeoutA(combo, CB_SETCURSEL, i, 0, SMTO_ABORTIFHUNG, 5000, &r);
    SendMessageTimeoutA(page, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo),
                        SMTO_ABORTIFHUNG, 5000, &r);
    return true;
}

void Shot(HWND w, const char* name);

// The Open Device dialog once its information box holds text: prints it, pictures it, presses OK.
bool ReadOpenDeviceDialog(HWND frame, const char* shot) {
    HWND dialog = WaitDialog(frame, kDeviceInfo);
    if (!dialog) return false;
    std::string info;
    for (int i = 0; i < 100 && info.empty(); ++i, Sleep(100)) info = Text(GetDlgItem(dialog, kDeviceInfo));
    std::printf("%s\n", info.c_str());
    Shot(dialog, shot);
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    return WaitGone(dialog) && !info.empty();
}

void Shot(HWND w, const char* name) {
    Sleep(500);  // let it paint
    LxSaveWindowShot(w, name);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const std::string step = argv[1];
    HWND frame = Frame();
    if (!frame) {
        std::fprintf(stderr, "no main window\n");
        return 1;
    }
    if (step == "alive") {
        DWORD_PTR r = 0;
        return SendMessageTimeoutA(frame, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &r) ? 0 : 1;
    }
    if (step == "programmed" && argc >= 4)
        return WaitProgrammed(std::strtoul(argv[2], nullptr, 16), std::strtoul(argv[3], nullptr, 16)) ? 0 : 1;
    if (step == "open-device" && argc >= 3) {
        PostMessageA(frame, WM_COMMAND, kOpenDevice, 0);
        return ReadOpenDeviceDialog(frame, argv[2]) ? 0 : 1;
    }
    if (step == "sheet" && argc >= 7) {
        PostMessageA(frame, WM_COMMAND, kOpenDevice, 0);
        HWND sheet = WaitTitled(frame, "Tarn-Rook");
        if (!sheet) {
            std::fprintf(stderr, "no configuration sheet\n");
            return 1;
        }
        DWORD_PTR r = 0;
        SendMessageTimeoutA(sheet, PSM_SETCURSEL, 0, 0, SMTO_ABORTIFHUNG, 5000, &r);
        Sleep(200);
        HWND page = nullptr;
        SendMessageTimeoutA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0, SMTO_ABORTIFHUNG, 5000, reinterpret_cast<DWORD_PTR*>(&page));
        const int type = std::atoi(argv[2]);
        if (!page || type < 0 || type > 2) return 1;
        SendMessageTimeoutA(GetDlgItem(page, kTypeRadio[type]), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, &r);
        if (!Choose(page, kFamilyCombo, argv[3]) || !Choose(page, kPartCombo, argv[4])) {
            std::fprintf(stderr, "the sheet does not list %s %s\n", argv[3], argv[4]);
            return 1;
        }
        Shot(sheet, argv[5]);
        PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
        if (!WaitGone(sheet)) return 1;
        return ReadOpenDeviceDialog(frame, argv[6]) ? 0 : 1;
    }
    if (step == "explorer" && argc >= 3) {
        PostMessageA(frame, WM_COMMAND, kDeviceExplorer, 0);
        HWND explorer = WaitTitled(frame, "Device Explorer: ");
        if (!explorer) return 1;
        Sleep(500);
        char title[256] = "";
        GetWindowTextA(explorer, title, sizeof title);
        std::printf("%s\n", title);
        Shot(explorer, argv[2]);
        PostMessageA(explorer, WM_COMMAND, IDCANCEL, 0);
        return WaitGone(explorer) ? 0 : 1;
    }
    if (step == "profiler" && argc >= 3) {
        PostMessageA(frame, WM_COMMAND, kFunctionProfiler, 0);
        HWND dialog = WaitDialog(frame, kProfilerGrid);
        if (!dialog) return 1;
        Shot(dialog, argv[2]);
        return 0;
    }
    if (step == "dump" && argc >= 3) {
        // The dump is written after its file dialog has gone, and says so in a box.
        const int before = CountBoxes("Dump finished");
        PostMessageA(frame, WM_COMMAND, kDumpDebug, 0);
        return AnswerFileDialog(frame, argv[2]) && WaitBox("Dump finished", before) ? 0 : 1;
    }
    if (step == "viewer" && argc >= 4) {
        PostMessageA(frame, WM_COMMAND, kDebugViewer, 0);
        if (!AnswerFileDialog(frame, argv[2])) return 1;
        HWND viewer = WaitDialog(frame, kTraceGrid);
        if (!viewer) return 1;
        Shot(viewer, argv[3]);
        PostMessageA(viewer, WM_COMMAND, IDCANCEL, 0);
        if (!WaitGone(viewer)) PostMessageA(viewer, WM_CLOSE, 0, 0);
        return WaitGone(viewer) ? 0 : 1;
    }
    return 2;
}
