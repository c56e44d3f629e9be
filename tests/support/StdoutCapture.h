// Captures what the code under test writes to standard output (file descriptor 1), or to
// another descriptor of this process, such as standard error.
#ifndef KESTRANE_STDOUT_CAPTURE_H
#define KESTRANE_STDOUT_CAPTURE_H

#include <string>

class StdoutCapture {
public:
    explicit StdoutCapture(int fd = 1);
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    // Everything written since construction; ends the capture.
    std::string finish();

private:
    int capturedFd_ = 1;
    int savedFd_ = -1;
    int fileFd_ = -1;
    std::string text_;
};

// Makes control characters visible in failure messages: "\r\n" -> "\\r\\n".
std::string visible(const std::string& text);

#endif
