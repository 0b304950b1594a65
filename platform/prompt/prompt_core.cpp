// Recording and scripted answering of message boxes; no Windows headers here.
#include "lumivex/prompt.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct Record {
    std::string text;
    std::string caption;
    unsigned type;
    int answer;
    void* owner;
};

// The owner the next recorded box is shown for (the Windows side notes it just before).
thread_local void* g_nextOwner = nullptr;

struct Rule {
    std::string pattern;
    int answer;
};

struct PromptState {
    std::mutex lock;
    LxPromptReport unattended = nullptr;
    bool inProcess = false;
    bool rulesLoaded = false;
    std::deque<int> queue;
    std::vector<Rule> rules;
    std::vector<Record> records;
};

PromptState& State() {
    static PromptState* state = new PromptState; // never destroyed: boxes may come during exit
    return *state;
}

int ParseRules(const char* text, std::vector<Rule>& out) {
    out.clear();
    std::string all = text ? text : "";
    size_t pos = 0;
    while (pos <= all.size()) {
        size_t end = all.find(';', pos);
        if (end == std::string::npos) end = all.size();
        std::string item = all.substr(pos, end - pos);
        pos = end + 1;
        if (item.empty()) continue;
        size_t arrow = item.rfind("=>");
        if (arrow == std::string::npos) return -1;
        int answer = LxPromptParseAnswer(item.substr(arrow + 2).c_str());
        if (answer == 0) return -1;
        out.push_back({item.substr(0, arrow), answer});
    }
    return 0;
}

void LoadEnvironmentRules(PromptState& s) {
    if (s.rulesLoaded) return;
    s.rulesLoaded = true;
    const char* env = std::getenv("LX_PROMPT_ANSWERS");
    if (env && ParseRules(env, s.rules) != 0) {
        std::fprintf(stderr, "prompt: ignoring malformed LX_PROMPT_ANSWERS\n");
        s.rules.clear();
    }
}

// One line per box so that several processes can share a log: tabs and line breaks escaped.
std::string Escape(const std::string& in) {
    std::string out;
    for (char c : in) {
        switch (c) {
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\\': out += "\\\\"; break;
        default: out += c;
        }
    }
    return out;
}

void AppendToLog(const Record& r) {
    const char* path = std::getenv("LX_PROMPT_LOG");
    if (!path || !*path) return;
    std::string line = Escape(r.caption) + "\t" + Escape(r.text) + "\t" + std::to_string(r.type) + "\t" +
                       std::to_string(r.answer) + "\n";
    if (FILE* f = std::fopen(path, "ab")) {
        std::fwrite(line.data(), 1, line.size(), f);
        std::fclose(f);
    }
}

const Record* At(PromptState& s, int index) {
    if (index < 0 || static_cast<size_t>(index) >= s.records.size()) return nullptr;
    return &s.records[static_cast<size_t>(index)];
}

} // namespace

extern "C" {

int LxPromptParseAnswer(const char* word) {
    static const struct { const char* name; int id; } names[] = {
        {"ok", LX_IDOK},       {"cancel", LX_IDCANCEL},     {"abort", LX_IDABORT},
        {"retry", LX_IDRETRY}, {"ignore", LX_IDIGNORE},     {"yes", LX_IDYES},
        {"no", LX_IDNO},       {"tryagain", LX_IDTRYAGAIN}, {"continue", LX_IDCONTINUE},
    };
    if (!word) return 0;
    for (const auto& n : names)
        if (std::strcmp(word, n.name) == 0) return n.id;
    char* end = nullptr;
    long v = std::strtol(word, &end, 10);
    if (end != word && *end == 0 && v > 0 && v < 100) return static_cast<int>(v);
    return 0;
}

int LxPromptDefaultAnswer(unsigned type) {
    static const int buttons[7][3] = {
        {LX_IDOK, LX_IDOK, LX_IDOK},
        {LX_IDOK, LX_IDCANCEL, LX_IDCANCEL},
        {LX_IDABORT, LX_IDRETRY, LX_IDIGNORE},
        {LX_IDYES, LX_IDNO, LX_IDCANCEL},
        {LX_IDYES, LX_IDNO, LX_IDNO},
        {LX_IDRETRY, LX_IDCANCEL, LX_IDCANCEL},
        {LX_IDCANCEL, LX_IDTRYAGAIN, LX_IDCONTINUE},
    };
    unsigned kind = type & 0xF;
    unsigned def = (type >> 8) & 0xF;
    if (kind > 6) kind = 0;
    if (def > 2) def = 2;
    return buttons[kind][def];
}

int LxPromptRefusal(unsigned type) {
    switch (type & 0xF) {
    case LX_MB_OKCANCEL:
    case LX_MB_YESNOCANCEL:
    case LX_MB_RETRYCANCEL:
    case LX_MB_CANCELTRYCONTINUE: return LX_IDCANCEL;
    case LX_MB_YESNO: return LX_IDNO;
    case LX_MB_ABORTRETRYIGNORE: return LX_IDABORT;
    default: return LX_IDOK;
    }
}

void LxPromptSetUnattended(LxPromptReport report) {
    PromptState& s = State();
    std::lock_guard<std::mutex> g(s.lock);
    s.unattended = report;
}

LxPromptReport LxPromptUnattended(void) {
    PromptState& s = State();
    std::lock_guard<std::mutex> g(s.lock);
    return s.unattended;
}

int LxPromptTestActive(void) {
    PromptState& s = State();
    std::lock_guard<std::mutex> g(s.lock);
    if (s.inProcess) return 1;
    const char* env = std::getenv("LX_PROMPT_LOG");
    return env && *env ? 1 : 0;
}

void LxPromptTestBegin(void) {
    PromptState& s = State();
    std::lock_guard<std::mutex> g(s.lock);
    s.inProcess = true;
    s.queue.clear();
    s.records.clear();
}

void LxPromptTestEnd(void) {
    PromptState& s = State();
    std::lock_guard<std::mutex> g(s.lock);
    s.inProcess = false;
    s.queue.clear();
}

void LxPromptQueueAnswer(int answer) {
    PromptState& s = State();
    std::lock_guard<std::mutex> g(s.lock);
    s.queue.push_back(answer);
}

int LxPromptSetRules(const char* rules) {
    PromptState& s = State();
    std::lock_guard<std::mutex> g(s.lock);
    s.rulesLoaded = true;
    std::vector<Rule> parsed;
    if (ParseRules(rules, parsed) != 0) return -1;
    s.rules.swap(parsed);
    return 0;
}

int LxPromptAnswer(const char* text, const char* caption, unsigned type) {
    PromptState& s = State();
    Record r{text ? text : "", caption ? caption : "", type, 0, g_nextOwner};
    g_nextOwner = nullptr;
    {
        std::lock_guard<std::mutex> g(s.lock);
        LoadEnvironmentRules(s);
        if (!s.queue.empty()) {
            r.answer = s.queue.front();
            s.queue.pop_front();
        } else {
            for (const Rule& rule : s.rules) {
                if (r.text.find(rule.pattern) != std::string::npos) {
                    r.answer = rule.answer;
                    break;
                }
            }
        }
        if (r.answer == 0) r.answer = LxPromptDefaultAnswer(type);
        s.records.push_back(r);
    }
    AppendToLog(r);
    return r.answer;
}

int LxPromptRecordCount(void) {
    PromptState& s = State();
    std::lock_guard<std::mutex> g(s.lock);
    return static_cast<int>(s.records.size());
}

const char* LxPromptRecordText(int index) {
    PromptState& s = State();
    std::lock_guard<std::mutex> g(s.lock);
    const Record* r = At(s, index);
    return r ? r->text.c_str() : nullptr;
}

void LxPromptNoteOwner(void* owner) { g_nextOwner = owner; }

void* LxPromptRecordOwner(int index) {
    PromptState& s = State();
    std::lock_guard<std::mutex> g(s.lock);
    const Record* r = At(s, index);
    return r ? r->owner : nullptr;
}

const char* LxPromptRecordCaption(int index) {
    PromptState& s = State();
    std::lock_guard<std::mutex> g(s.lock);
    const Record* r = At(s, index);
    return r ? r->caption.c_str() : nullptr;
}

unsigned LxPromptRecordType(int index) {
    PromptState& s = State();
    std::lock_guard<std::mutex> g(s.lock);
    const Record* r = At(s, index);
    return r ? r->type : 0u;
}

int LxPromptRecordAnswer(int index) {
    PromptState& s = State();
    std::lock_guard<std::mutex> g(s.lock);
    const Record* r = At(s, index);
    return r ? r->answer : 0;
}

} // extern "C"
