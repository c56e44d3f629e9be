// The simulator's command line: which unit it plays, where, and how it misbehaves.
#ifndef UNIT_SIM_SIM_OPTIONS_H
#define UNIT_SIM_SIM_OPTIONS_H

#include <cstdint>
#include <cstdio>
#include <string>

// Misbehaviours on request (--fault NAME), one flag each.
struct Faults {
    bool silent = false;
    bool secondProbeOnly = false;
    bool echo = false;
    bool wrongProduct = false;
    bool noReady = false;
    bool noReadyH = false;
    bool readyCrLf = false;
    bool failL = false;
    bool failH = false;
    bool hangupL = false;
    bool hangupH = false;
    bool hangupAfterProbe = false;
    bool hangupIdentify = false;
    bool noPrompt = false;
    bool floodProbe = false;
    bool floodIdentify = false;
    bool floodUpload = false;
    bool floodSuccess = false;
    bool binaryReplies = false;
    bool garbageWrongRate = false;
    bool trickle = false;
};

struct SimOptions {
    std::string dir;
    int port = 3;
    uint32_t rate = 9600;
    bool rx = false;
    std::string version;  // the bytes, escapes decoded
    std::string product;
    std::string prompt;
    Faults faults;
    int gapMs = 10;
    int timeDivisor = 1;
    bool pace = false;
    std::string logPath;
    std::string saveDir;
    bool help = false;
};

// False with a message for the user when the command line is not usable.
bool parseOptions(int argc, char** argv, SimOptions& options, std::string& error);
void printUsage(FILE* to);

#endif
