// A second process for tests that need two workstations: runs a peer program with its
// standard input and output on pipes, so the test can wait for the peer's lines and cue it
// with its own. The peer is killed when the object goes without having been waited for.
// Header-only and POSIX-only, so that every module's tests can use it.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

class CPeerProcess {
public:
    // Starts `program` with `args`; `env` entries are set in the peer's environment only.
    CPeerProcess(const std::string& program, std::vector<std::string> args,
                 const std::vector<std::pair<std::string, std::string>>& env = {}) {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            close(in[1]);
            close(out[0]);
            for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
            std::string path = program;
            std::vector<char*> argv{path.data()};
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        m_in = fdopen(in[1], "w");
        m_out = fdopen(out[0], "r");
    }
    ~CPeerProcess() {
        if (m_in) fclose(m_in);
        if (m_out) fclose(m_out);
        if (m_pid > 0 && !m_waited) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    CPeerProcess(const CPeerProcess&) = delete;
    CPeerProcess& operator=(const CPeerProcess&) = delete;

    // The peer's next line without its line end; "" when it closed its output.
    std::string ReadLine() {
        char buf[256];
        if (!m_out || !fgets(buf, sizeof buf, m_out)) return "";
        std::string s(buf);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
        return s;
    }
    void Send(const std::string& line) {
        if (!m_in) return;
        fprintf(m_in, "%s\n", line.c_str());
        fflush(m_in);
    }
    // Sends the peer a signal, e.g. SIGKILL to cut it off wherever it stands.
    void Signal(int signal) {
        if (m_pid > 0 && !m_waited) kill(m_pid, signal);
    }
    // Waits for the peer to end; the status as waitpid gives it.
    int Wait() {
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_waited = true;
        return status;
    }

private:
    pid_t m_pid = -1;
    FILE* m_in = nullptr;
    FILE* m_out = nullptr;
    bool m_waited = false;
};
