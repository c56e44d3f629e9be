#include "StdoutCapture.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

StdoutCapture::StdoutCapture(int fd) : capturedFd_(fd) {
    fflush(stdout);
    fflush(stderr);
    char path[] = "/tmp/kestrane-stdout-XXXXXX";
    fileFd_ = mkstemp(path);
    if (fileFd_ < 0) abort();
    unlink(path);
    savedFd_ = dup(capturedFd_);
    dup2(fileFd_, capturedFd_);
}

StdoutCapture::~StdoutCapture() { finish(); }

std::string StdoutCapture::finish() {
    if (savedFd_ < 0) return text_;
    fflush(stdout);
    fflush(stderr);
    dup2(savedFd_, capturedFd_);
    close(savedFd_);
    savedFd_ = -1;
    lseek(fileFd_, 0, SEEK_SET);
    char chunk[65536];
    ssize_t got;
    while ((got = read(fileFd_, chunk, sizeof chunk)) > 0) text_.append(chunk, static_cast<size_t>(got));
    close(fileFd_);
    fileFd_ = -1;
    return text_;
}

std::string visible(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        switch (c) {
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\b': out += "\\b"; break;
        case '\t': out += "\\t"; break;
        case '\\': out += "\\\\"; break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                char escape[8];
                snprintf(escape, sizeof escape, "\\x%02X", c);
                out += escape;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out;
}
