// The native build has no screen: every box is recorded and answered as in a test.
#include <string>

#include "lumivex/prompt.h"

extern "C" int LxMessageBox(void*, const char* text, const char* caption, unsigned type) {
    return LxPromptAnswer(text, caption, type);
}

extern "C" int LxMessageBoxW(void*, const unsigned short* text, const unsigned short* caption, unsigned type) {
    // Plain narrowing is enough here: the native build only carries the portable core's ASCII texts.
    auto narrow = [](const unsigned short* w) {
        std::string s;
        for (; w && *w; ++w) s += *w < 0x80 ? static_cast<char>(*w) : '?';
        return s;
    };
    return LxPromptAnswer(narrow(text).c_str(), narrow(caption).c_str(), type);
}
