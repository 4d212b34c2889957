// Runs the phase-envelope program built beside the tests (PE_CLI_PATH, or
// another program given) with shell-quoted arguments (and optional VAR=value
// environment settings) and collects its exit status, standard output and
// standard error.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace cli_test {

struct RunResult {
    int status = -1;  // exit status; -1 when the program did not exit normally
    std::string out;
    std::string err;
};

inline RunResult RunProgram(const std::string& args, const std::string& environment = "",
                            const std::string& program = PE_CLI_PATH) {
    // One file per process and call: test programs run in parallel.
    static int calls = 0;
    const std::string errFile = ::testing::TempDir() + "phase_envelope_stderr_" +
                                std::to_string(getpid()) + "_" + std::to_string(++calls) + ".txt";
    const std::string command = environment + " " + program + " " + args + " 2>" + errFile;
    RunResult r;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return r;
    }
    std::array<char, 4096> buffer;
    size_t n = 0;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        r.out.append(buffer.data(), n);
    }
    const int raw = pclose(pipe);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream err(errFile);
    r.err.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
    std::remove(errFile.c_str());
    return r;
}

}  // namespace cli_test
