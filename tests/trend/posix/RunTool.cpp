#include <sys/wait.h>

#include <cstdio>

#include "tests/trend/RunTool.h"

ToolRun RunQdxTool(const std::string& args) {
    ToolRun r;
    const std::string command = std::string(ORVEX_QDX_PATH) + " " + args + " 2>&1";
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr)
        return r;
    char buffer[4096];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0)
        r.out.append(buffer, n);
    const int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}
