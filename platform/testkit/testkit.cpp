#include "lumivex/testkit.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

void LxPumpMessages() {
    MSG msg;
    for (int i = 0; i < 1000 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

bool LxSaveWindowShot(HWND window, const char* name) {
    if (!IsWindow(window)) return false;
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    LxPumpMessages();
    RECT rc;
    GetWindowRect(window, &rc);
    int w = rc.right - rc.left, h = rc.bottom - rc.top;
    if (w <= 0 || h <= 0) return false;

    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, rc.left, rc.top, SRCCOPY);
    SelectObject(mem, old);

    BITMAPINFOHEADER bi = {};
    bi.biSize = sizeof(bi);
    bi.biWidth = w;
    bi.biHeight = h;
    bi.biPlanes = 1;
    bi.biBitCount = 24;
    bi.biCompression = BI_RGB;
    DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
    std::vector<unsigned char> pixels(stride * static_cast<DWORD>(h));
    GetDIBits(mem, bmp, 0, static_cast<UINT>(h), pixels.data(), reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);

    const char* dir = std::getenv("LX_SCREENSHOT_DIR");
    std::string path = std::string(dir && *dir ? dir : ".") + "/" + name + ".bmp";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    BITMAPFILEHEADER fh = {};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof(fh) + sizeof(bi);
    fh.bfSize = fh.bfOffBits + static_cast<DWORD>(pixels.size());
    bool ok = std::fwrite(&fh, sizeof(fh), 1, f) == 1 && std::fwrite(&bi, sizeof(bi), 1, f) == 1 &&
              std::fwrite(pixels.data(), 1, pixels.size(), f) == pixels.size();
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

HANDLE LxStartProgram(const char* commandLine) {
    std::string command = commandLine ? commandLine : "";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

namespace {
struct WindowSearch {
    DWORD process;
    const char* className;
    const char* caption;
    HWND found;
};
BOOL CALLBACK MatchProgramWindow(HWND w, LPARAM lp) {
    auto* s = reinterpret_cast<WindowSearch*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    char cls[64] = "", text[256] = "";
    GetClassNameA(w, cls, sizeof cls);
    GetWindowTextA(w, text, sizeof text);
    if (pid == s->process && lstrcmpA(cls, s->className) == 0 && lstrcmpA(text, s->caption) == 0) {
        s->found = w;
        return FALSE;
    }
    return TRUE;
}
}  // namespace

HWND LxWaitForWindow(HANDLE process, const char* className, const char* caption, DWORD timeoutMs) {
    WindowSearch search{GetProcessId(process), className, caption, nullptr};
    DWORD start = GetTickCount();
    for (;;) {
        EnumWindows(MatchProgramWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found || GetTickCount() - start >= timeoutMs) return search.found;
        Sleep(50);
    }
}

std::string LxControlText(HWND control) {
    std::vector<char> text(65536, '\0');
    DWORD_PTR got = 0;
    if (!control || !SendMessageTimeoutA(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                                         SMTO_ABORTIFHUNG, 2000, &got))
        return std::string();
    return std::string(text.data());
}

DWORD LxWaitForExit(HANDLE process, DWORD timeoutMs) {
    if (!process) return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0) GetExitCodeProcess(process, &code);
    else TerminateProcess(process, 1);
    CloseHandle(process);
    return code;
}
