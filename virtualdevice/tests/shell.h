/* Runs a host tool for the native tests that let the standard tools judge a volume. */
#ifndef LUMIVEX_VIRTUALDEVICE_TESTS_SHELL_H
#define LUMIVEX_VIRTUALDEVICE_TESTS_SHELL_H

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace lxtest {

struct Result {
    int code;
    std::string out;
};

/* The command's exit code (-1 when it did not exit) and its output, stderr included. */
inline Result Shell(const std::string& cmd) {
    Result r{-1, ""};
    FILE* p = popen((cmd + " 2>&1").c_str(), "r");
    if (!p) return r;
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
    const int status = pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

}  // namespace lxtest

#endif
