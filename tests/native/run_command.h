// Runs a shell command line for a test: its exit code and what it printed,
// by default on both streams (redirect: where its output goes).
#pragma once
#include <sys/wait.h>

#include <cstdio>
#include <string>

struct CommandOutcome {
    int code;
    std::string out;
};

inline CommandOutcome RunCommand(const std::string& command, const char* redirect = " 2>&1")
{
    CommandOutcome r{-1, {}};
    std::FILE* p = popen((command + redirect).c_str(), "r");
    if (p == nullptr)
        return r;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    int status = pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// mtools without the user's configuration; fsck.fat also where PATH lacks sbin.
inline std::string Mtool(const std::string& args)
{
    return "MTOOLSRC=/dev/null " + args;
}

inline std::string FsckFat(const std::string& image)
{
    return "PATH=\"$PATH:/usr/sbin:/sbin\" fsck.fat -n '" + image + "'";
}
