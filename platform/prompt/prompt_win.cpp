// The Windows side of the prompt seam: the real box unless a test is answering.
#include <windows.h>

#include <string>

#include "lumivex/prompt.h"

namespace {
std::string ToUtf8(const unsigned short* w) {
    if (!w) return std::string();
    const wchar_t* ws = reinterpret_cast<const wchar_t*>(w);
    int n = WideCharToMultiByte(CP_UTF8, 0, ws, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, ws, -1, &out[0], n, nullptr, nullptr);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

// A box nobody can see would hold its caller for good: with nobody there, the report takes it.
// Answers 0 when the box is to be shown.
int AnswerWithoutBox(void* owner, const char* text, const char* caption, unsigned type) {
    LxPromptReport report = LxPromptUnattended();
    if (report) report(caption ? caption : "", text ? text : "");
    if (LxPromptTestActive()) {
        LxPromptNoteOwner(owner);
        return LxPromptAnswer(text, caption, type);
    }
    return report ? LxPromptRefusal(type) : 0;
}
} // namespace

extern "C" int LxMessageBox(void* owner, const char* text, const char* caption, unsigned type) {
    if (int answer = AnswerWithoutBox(owner, text, caption, type)) return answer;
    return MessageBoxA(static_cast<HWND>(owner), text, caption, type);
}

extern "C" int LxMessageBoxW(void* owner, const unsigned short* text, const unsigned short* caption,
                             unsigned type) {
    if (LxPromptUnattended() || LxPromptTestActive()) {
        if (int answer = AnswerWithoutBox(owner, ToUtf8(text).c_str(), ToUtf8(caption).c_str(), type)) return answer;
    }
    return MessageBoxW(static_cast<HWND>(owner), reinterpret_cast<const wchar_t*>(text),
                       reinterpret_cast<const wchar_t*>(caption), type);
}
