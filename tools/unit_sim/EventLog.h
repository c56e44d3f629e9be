// The simulator's event log (--log): one line per event, flushed at once so that a test
// can read it while the unit still runs. "<ms since start> <event> <details>".
#ifndef UNIT_SIM_EVENT_LOG_H
#define UNIT_SIM_EVENT_LOG_H

#include <cstdint>
#include <cstdio>
#include <string>

class EventLog {
public:
    explicit EventLog(int64_t startUs) : startUs_(startUs) {}
    ~EventLog();
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    // An empty path keeps the log off.
    bool open(const std::string& path, std::string& error);
    void write(const char* event, const std::string& details);

private:
    int64_t startUs_;
    FILE* file_ = nullptr;
};

#endif
