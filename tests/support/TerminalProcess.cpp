#include "TerminalProcess.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <gtest/gtest.h>

#include "TestPaths.h"

namespace {

long long nowMs() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Reads what is there; false once the other side has ended (end of file, or the
// terminal hung up with the program's exit).
bool drain(int fd, std::string& into) {
    if (fd < 0) return false;
    char chunk[65536];
    for (;;) {
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got > 0) {
            into.append(chunk, static_cast<size_t>(got));
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && errno == EAGAIN) return true;
        return false;
    }
}

void drainPipe(int& fd, std::string& into) {
    if (!drain(fd, into) && fd >= 0) {
        close(fd);
        fd = -1;
    }
}

}  // namespace

TerminalProcess::TerminalProcess(const std::vector<std::string>& argv, const Options& options) {
    for (const std::string& arg : argv) textMode_ = textMode_ || isWindowsProgram(arg);
    int outPipe[2];
    int errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) abort();
    std::string slaveName;
    if (options.stdinIsTerminal) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) abort();
        slaveName = ptsname(master_);
    }
    pid_ = fork();
    if (pid_ < 0) abort();
    if (pid_ == 0) {
        setsid();
        int in;
        if (options.stdinIsTerminal) {
            in = open(slaveName.c_str(), O_RDWR);  // becomes the controlling terminal
        } else {
            in = open("/dev/null", O_RDONLY);
        }
        if (in < 0) _exit(127);
        dup2(in, STDIN_FILENO);
        dup2(outPipe[1], STDOUT_FILENO);
        dup2(errPipe[1], STDERR_FILENO);
        for (int fd = 3; fd < 1024; ++fd) close(fd);
        for (const std::string& entry : options.env) putenv(strdup(entry.c_str()));
        if (!options.workingDir.empty() && chdir(options.workingDir.c_str()) != 0) _exit(127);
        if (options.runAsUser >= 0 &&
            (setgroups(0, nullptr) != 0 || setgid(static_cast<gid_t>(options.runAsGroup)) != 0 ||
             setuid(static_cast<uid_t>(options.runAsUser)) != 0))
            _exit(126);
        std::vector<char*> args;
        for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    out_ = outPipe[0];
    err_ = errPipe[0];
    fcntl(out_, F_SETFL, O_NONBLOCK);
    fcntl(err_, F_SETFL, O_NONBLOCK);
    if (master_ >= 0) fcntl(master_, F_SETFL, O_NONBLOCK);
    terminalOpen_ = master_ >= 0;
}

TerminalProcess::~TerminalProcess() {
    kill();
    // Standard output is the program's alone; on standard error Wine itself may add a line.
    if (textMode_ && outputText_.bareLineFeeds > 0)
        ADD_FAILURE() << "a line feed without its carriage return: the Windows program did not write in text mode";
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
    if (master_ >= 0) close(master_);
}

void TerminalProcess::pump(int timeoutMs) {
    struct pollfd fds[3];
    int count = 0;
    for (int fd : {out_, err_, terminalOpen_ ? master_ : -1})
        if (fd >= 0) fds[count++] = {fd, POLLIN, 0};
    if (count > 0) poll(fds, static_cast<nfds_t>(count), timeoutMs);
    drainPipe(out_, textMode_ ? outputText_.raw : output_);
    drainPipe(err_, textMode_ ? errorText_.raw : errors_);
    // The master stays open after a hang-up: its settings can still be read.
    if (terminalOpen_) terminalOpen_ = drain(master_, terminal_);
    mapTextMode();
}

void TerminalProcess::TextMode::map(bool ended) {
    while (done < raw.size()) {
        const char c = raw[done];
        if (c == '\r') {
            if (done + 1 == raw.size() && !ended) break;  // what follows tells
            if (done + 1 < raw.size() && raw[done + 1] == '\n') {
                text += '\n';
                done += 2;
                continue;
            }
        } else if (c == '\n') {
            ++bareLineFeeds;
        }
        text += c;
        ++done;
    }
    shown = text + raw.substr(done);
}

// A text-mode program's streams are read into TextMode; output_ and errors_ then hold the
// program's own text.
void TerminalProcess::mapTextMode() {
    if (!textMode_) return;
    outputText_.map(out_ < 0);
    errorText_.map(err_ < 0);
    output_ = outputText_.shown;
    errors_ = errorText_.shown;
}

void TerminalProcess::reap(bool block) {
    if (exited_ || pid_ <= 0) return;
    int raw = 0;
    const pid_t done = waitpid(pid_, &raw, block ? 0 : WNOHANG);
    if (done != pid_) return;
    exited_ = true;
    status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

// Wine's console takes the terminal over (raw mode) only when the program first reads
// from it, and drops what was typed before: under Wine, keys wait for that moment, as a
// person at the screen would.
void TerminalProcess::waitForConsoleReading() {
    const long long end = nowMs() + 10000;
    struct termios mode;
    while (nowMs() < end && tcgetattr(master_, &mode) == 0 && (mode.c_lflag & ICANON)) pump(10);
}

void TerminalProcess::type(const std::string& keys) {
    if (master_ < 0) return;
    if (textMode_) waitForConsoleReading();
    size_t done = 0;
    while (done < keys.size()) {
        const ssize_t wrote = write(master_, keys.data() + done, keys.size() - done);
        if (wrote > 0) done += static_cast<size_t>(wrote);
        else if (wrote < 0 && errno != EINTR && errno != EAGAIN) return;
    }
}

bool TerminalProcess::waitForOutput(const std::string& text, int timeoutMs) {
    const long long end = nowMs() + timeoutMs;
    for (;;) {
        pump(0);
        if (output_.find(text) != std::string::npos) return true;
        reap(false);
        const long long left = end - nowMs();
        if (left <= 0 || (exited_ && out_ < 0)) return false;
        pump(static_cast<int>(left < 50 ? left : 50));
    }
}

bool TerminalProcess::waitForExit(int timeoutMs) {
    const long long end = nowMs() + timeoutMs;
    for (;;) {
        pump(0);
        reap(false);
        if (exited_) {
            pump(0);
            return true;
        }
        const long long left = end - nowMs();
        if (left <= 0) return false;
        pump(static_cast<int>(left < 20 ? left : 20));
    }
}

bool TerminalProcess::pressKeyUntilExit(const std::string& key, int attempts, int waitMs) {
    for (int attempt = 0; attempt < attempts; ++attempt) {
        type(key);
        if (waitForExit(waitMs)) return true;
    }
    return false;
}

void TerminalProcess::kill() {
    if (pid_ > 0 && !exited_) {
        ::kill(pid_, SIGKILL);
        reap(true);
    }
    pump(0);
}

void TerminalProcess::sendSignal(int signalNumber) {
    if (pid_ > 0 && !exited_) ::kill(pid_, signalNumber);
}

const std::string& TerminalProcess::output() {
    pump(0);
    return output_;
}

const std::string& TerminalProcess::errors() {
    pump(0);
    return errors_;
}

const std::string& TerminalProcess::terminal() {
    pump(0);
    return terminal_;
}
