// Runs the built velto3gp as a user would: its own configuration folder, stdout and stderr
// captured. Started piped, a test can wait for a line the program prints instead of polling.
#pragma once

#include "JsonReader.h"
#include "TestLibraries.h"

#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace velto::test {

struct TProgramRun {
    int status = -1;
    std::string out;
    std::string err;
    std::vector<JsonValue> Events() const {
        std::vector<JsonValue> events;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);)
            events.push_back(ParseJson(line));
        return events;
    }
};

class TProgramRunner {
public:
    TProgramRunner(std::string folder, std::string config)
        : folder_(std::move(folder)), config_(std::move(config)) {}

    // For the runs that follow: more environment ("NAME=value"), the working folder, a file
    // for standard input; empty leaves each as the test's own.
    void SetEnvironment(std::vector<std::string> extra) { extraEnv_ = std::move(extra); }
    void SetWorkingFolder(std::string path) { workingFolder_ = std::move(path); }
    void SetInputFile(std::string path) { inputFile_ = std::move(path); }

    // Starts the program; its stdout goes to a pipe that WaitForOutput reads.
    pid_t Start(const std::vector<std::string>& args) {
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0)
            return -1;
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e)
            if (std::string(*e).rfind("XDG_CONFIG_HOME=", 0) != 0)
                env.emplace_back(*e);
        env.push_back("XDG_CONFIG_HOME=" + config_);
        for (const std::string& e : extraEnv_) {
            const std::string name = e.substr(0, e.find('=') + 1);
            std::erase_if(env, [&](const std::string& have) { return have.rfind(name, 0) == 0; });
            env.push_back(e);
        }
        const pid_t pid = fork();
        if (pid == 0) {
            if (!workingFolder_.empty() && chdir(workingFolder_.c_str()) != 0)
                _exit(126);
            if (!inputFile_.empty()) {
                const int in = open(inputFile_.c_str(), O_RDONLY);
                if (in < 0)
                    _exit(126);
                dup2(in, STDIN_FILENO);
                close(in);
            }
            FILE* err = std::fopen((folder_ + "/stderr").c_str(), "w");
            dup2(pipeEnds[1], STDOUT_FILENO);
            dup2(fileno(err), STDERR_FILENO);
            close(pipeEnds[0]);
            close(pipeEnds[1]);
            std::vector<char*> argv{const_cast<char*>(VELTO_CLI_PROGRAM)};
            for (const std::string& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            std::vector<char*> envp;
            for (std::string& e : env)
                envp.push_back(e.data());
            envp.push_back(nullptr);
            execve(VELTO_CLI_PROGRAM, argv.data(), envp.data());
            _exit(127);
        }
        close(pipeEnds[1]);
        out_ = pipeEnds[0];
        output_.clear();
        return pid;
    }

    // Reads the program's output until it holds text; false when the program closed its output
    // or timeoutMs passed first.
    bool WaitForOutput(const std::string& text, int timeoutMs = 60000) {
        while (output_.find(text) == std::string::npos) {
            pollfd ready{out_, POLLIN, 0};
            if (poll(&ready, 1, timeoutMs) <= 0 || !ReadSome())
                return false;
        }
        return true;
    }

    TProgramRun Finish(pid_t pid) {
        while (ReadSome()) {
        }
        close(out_);
        out_ = -1;
        TProgramRun run;
        int status = 0;
        waitpid(pid, &status, 0);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
        run.out = output_;
        run.err = FileContents(folder_ + "/stderr");
        return run;
    }

    TProgramRun Program(const std::vector<std::string>& args) { return Finish(Start(args)); }

private:
    bool ReadSome() {
        char buffer[4096];
        const ssize_t got = read(out_, buffer, sizeof buffer);
        if (got <= 0)
            return false;
        output_.append(buffer, static_cast<size_t>(got));
        return true;
    }

    std::string folder_;
    std::string config_;
    std::vector<std::string> extraEnv_;
    std::string workingFolder_;
    std::string inputFile_;
    int out_ = -1;
    std::string output_;
};

} // namespace velto::test
