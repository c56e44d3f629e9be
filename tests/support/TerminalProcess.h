// Runs a program of the build as a user would: standard input on a pseudo-terminal that
// is its controlling terminal (so a key wait is real), standard output and standard error
// on pipes, so that what the program writes is seen byte for byte, untranslated.
//
// A program of the Windows build (isWindowsProgram) writes in the C runtime's text mode,
// every "\n" as "\r\n"; output() and errors() give its text with that mapping undone, so
// that one expected transcript serves both systems. The mapping is a bijection only when
// every line feed came with its carriage return: a bare one on standard output fails the
// test.
#ifndef KESTRANE_TERMINAL_PROCESS_H
#define KESTRANE_TERMINAL_PROCESS_H

#include <sys/types.h>

#include <string>
#include <vector>

class TerminalProcess {
public:
    struct Options {
        std::vector<std::string> env;  // "NAME=value" entries added to the environment
        bool stdinIsTerminal = true;   // false: standard input is /dev/null
        std::string workingDir;        // empty: the test's own
        // Runs the program as this user and group, with no supplementary groups (the
        // tests run as root, for whom permissions do not apply); -1: as the test.
        long runAsUser = -1;
        long runAsGroup = -1;
    };

    TerminalProcess(const std::vector<std::string>& argv, const Options& options);
    ~TerminalProcess();  // kills the program if it still runs
    TerminalProcess(const TerminalProcess&) = delete;
    TerminalProcess& operator=(const TerminalProcess&) = delete;

    // Keys typed at the terminal ("3\r" is 3 and Enter).
    void type(const std::string& keys);
    // Waits until standard output holds text; false after timeoutMs.
    bool waitForOutput(const std::string& text, int timeoutMs);
    // Presses key at the exit prompt until the program ends (false if it never does). A
    // program only now entering its key wait drops what was typed before: press again.
    bool pressKeyUntilExit(const std::string& key = "k", int attempts = 3, int waitMs = 4000);
    // Waits until the program ends; false after timeoutMs (it then still runs).
    bool waitForExit(int timeoutMs);
    // Ends the program with SIGKILL if it runs, and collects what remains.
    void kill();
    void sendSignal(int signalNumber);

    const std::string& output();      // standard output so far
    const std::string& errors();      // standard error so far
    const std::string& terminal();    // what the terminal showed (echo of typed keys)
    bool exited() const { return exited_; }
    // Exit status as the shell sees it (0-255), or 128 + signal number.
    int exitStatus() const { return status_; }
    pid_t pid() const { return pid_; }
    // The master side of the terminal (its settings are those the program left on it).
    int terminalFd() const { return master_; }

private:
    void pump(int timeoutMs);
    void reap(bool block);
    void waitForConsoleReading();
    // What a text-mode stream wrote, as the program wrote it.
    struct TextMode {
        std::string raw;
        size_t done = 0;          // bytes of raw already mapped
        std::string text;         // raw[0, done) with each "\r\n" back to "\n"
        std::string shown;        // text, and a last "\r" whose pair is still to come
        int bareLineFeeds = 0;
        void map(bool ended);
    };
    void mapTextMode();

    pid_t pid_ = -1;
    int master_ = -1;
    bool terminalOpen_ = false;  // false once the terminal hung up
    int out_ = -1;
    int err_ = -1;
    bool exited_ = false;
    int status_ = -1;
    bool textMode_ = false;
    TextMode outputText_;
    TextMode errorText_;
    std::string output_;
    std::string errors_;
    std::string terminal_;
};

#endif
