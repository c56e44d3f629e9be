// Captures what the code under test writes to standard output (file descriptor 1).
#ifndef KESTRANE_STDOUT_CAPTURE_H
#define KESTRANE_STDOUT_CAPTURE_H

#include <string>

class StdoutCapture {
public:
    StdoutCapture();
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    // Everything written since construction; ends the capture.
    std::string finish();

private:
    int savedFd_ = -1;
    int fileFd_ = -1;
    std::string text_;
};

// Makes control characters visible in failure messages: "\r\n" -> "\\r\\n".
std::string visible(const std::string& text);

#endif
