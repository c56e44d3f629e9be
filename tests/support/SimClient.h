// The tool's end of the wire, for the simulator's own tests: opens a port of a port
// directory as the tool does, sets the line speed with termios2, sends framed commands and
// collects replies by the tool's rule (everything until the line stays quiet).
#ifndef KESTRANE_SIM_CLIENT_H
#define KESTRANE_SIM_CLIENT_H

#include <cstdint>
#include <string>

class SimClient {
public:
    explicit SimClient(const std::string& devicePath);  // raw, 8N1, at 9600
    ~SimClient();
    SimClient(const SimClient&) = delete;
    SimClient& operator=(const SimClient&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    bool setSpeed(uint32_t bitsPerSecond);
    // All bytes written; false when the line refuses them (after a hang-up).
    bool write(const std::string& bytes);
    // The tool's framing: "%%", the command text, LF CR.
    bool command(const std::string& text) { return write("%%" + text + "\n\r"); }
    // What arrives until quietMs pass without a byte (the first byte may take quietMs too).
    std::string reply(int quietMs);
    // What arrives within ms, however busy the line is.
    std::string readFor(int ms);
    void close();

private:
    int fd_ = -1;
};

#endif
