#include "EventLog.h"

#include <cerrno>
#include <cinttypes>
#include <cstring>

#include "Clock.h"

EventLog::~EventLog() {
    if (file_) fclose(file_);
}

bool EventLog::open(const std::string& path, std::string& error) {
    if (path.empty()) return true;
    file_ = fopen(path.c_str(), "w");
    if (!file_) {
        error = "cannot write the log " + path + ": " + strerror(errno);
        return false;
    }
    return true;
}

void EventLog::write(const char* event, const std::string& details) {
    if (!file_) return;
    fprintf(file_, "%" PRId64 " %s %s\n", (nowUs() - startUs_) / 1000, event, details.c_str());
    fflush(file_);
}
