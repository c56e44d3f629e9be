// The explanations of PortDiagnosis.h, put together from what the system said
// (SerialDevice.h). Texts are assembled in one buffer and written at once.
#include "PortDiagnosis.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "ComPortRecords.h"
#include "PortList.h"
#include "SerialDevice.h"

#define SEARCHED_PORTS 32
#define MAX_LISTED_PORTS 256
#define LINE_SIZE (2 * SERIAL_DEVICE_NAME_SIZE)
#define PIECE_SIZE 1024

// What the search met on one port.
struct PortNote {
    BOOL probed;
    SerialOutcome probe;        // SERIAL_OPENED, or why the probe failed
    int32_t probeError;
    int32_t ratesOpened;        // rates at which the port opened and the unit was asked
    SerialOutcome openFailure;  // why the last open at a rate failed
    int32_t openError;
};

static PortNote gPortNotes[SEARCHED_PORTS + 1];
static BOOL gSampleRuleExplained = FALSE;
static char gLine[LINE_SIZE];

static void append(char* text, size_t size, const char* piece) {
    const size_t used = strlen(text);
    if (used + 1 < size) snprintf(text + used, size - used, "%s", piece);
}

// Ends a sentence with a full stop unless it has one (the system's own texts differ).
static void appendSentence(char* text, size_t size, const char* sentence) {
    append(text, size, sentence);
    const size_t used = strlen(text);
    if (used > 0 && text[used - 1] != '.') append(text, size, ".");
}

static void explainSampleRuleOnce(const char* lead) {
    if (gSampleRuleExplained) return;
    gSampleRuleExplained = TRUE;
    char rule[PIECE_SIZE];
    SerialDevice_SampleRule(rule, sizeof rule);
    fprintf(stderr, "%s%s\n", lead, rule);
}

// "refused the line settings (9600 baud): <the system's reason>"; the search's report
// gives no rate, since it tried them all.
static void settingsRefused(BOOL atEveryRate, int32_t systemError, char* text, size_t size) {
    char reason[PIECE_SIZE];
    SerialDevice_ErrorText(SERIAL_SETTINGS_REFUSED, systemError, reason, sizeof reason);
    if (atEveryRate) {
        snprintf(text, size, "%s", "refused the line settings at every rate");
    } else {
        snprintf(text, size, "refused the line settings (%lu baud)", static_cast<unsigned long>(g_dcb.BaudRate));
    }
    if (reason[0]) {
        append(text, size, ": ");
        append(text, size, reason);
    }
}

static void heldAdvice(int nId, char* text, size_t size) {
    char holder[PIECE_SIZE];
    if (SerialDevice_Holder(nId, holder, sizeof holder)) {
        snprintf(text, size, "%s", "Another program holds the port: ");
        append(text, size, holder);
        append(text, size, "; close it and try again.");
    } else {
        snprintf(text, size, "%s", "Another program holds the port: close it and try again.");
    }
}

void PortDiagnosis_ExplainFailedOpen(int nId) {
    const SerialDeviceStatus& status = g_serialDeviceStatus;
    if (status.outcome == SERIAL_OPENED) return;
    if (status.outcome == SERIAL_SAMPLE_RULE) {
        explainSampleRuleOnce(" -- ");
        return;
    }
    char reason[PIECE_SIZE];
    char advice[PIECE_SIZE] = "";
    snprintf(gLine, sizeof gLine, " -- ");
    if (status.device[0]) {
        append(gLine, sizeof gLine, status.device);
    } else {
        snprintf(reason, sizeof reason, "COM%d", nId);
        append(gLine, sizeof gLine, reason);
    }
    append(gLine, sizeof gLine, ": ");
    switch (status.outcome) {
    case SERIAL_NO_SUCH_PORT:
        snprintf(reason, sizeof reason, "%s", "no device stands for this number");
        snprintf(advice, sizeof advice, "%s", "\"KestraneFwUpgrade --help\" shows the port numbers.");
        break;
    case SERIAL_SETTINGS_REFUSED: settingsRefused(FALSE, status.systemError, reason, sizeof reason); break;
    default: SerialDevice_ErrorText(status.outcome, status.systemError, reason, sizeof reason); break;
    }
    switch (status.outcome) {
    case SERIAL_NO_DEVICE:
        snprintf(advice, sizeof advice, "Is the adapter plugged in, and is COM%d its number?", nId);
        break;
    case SERIAL_PERMISSION_DENIED:
        if (!SerialDevice_PermissionAdvice(nId, advice, sizeof advice)) advice[0] = '\0';
        break;
    case SERIAL_HELD: heldAdvice(nId, advice, sizeof advice); break;
    default: break;
    }
    appendSentence(gLine, sizeof gLine, reason[0] ? reason : "failed");
    if (advice[0]) {
        append(gLine, sizeof gLine, " ");
        append(gLine, sizeof gLine, advice);
    }
    fprintf(stderr, "%s\n", gLine);
}

void PortDiagnosis_NoteProbe(int nId, BOOL opened) {
    if (nId < 1 || nId > SEARCHED_PORTS) return;
    PortNote& note = gPortNotes[nId];
    note = PortNote{};
    note.probed = TRUE;
    note.probe = opened ? SERIAL_OPENED : g_serialDeviceStatus.outcome;
    note.probeError = opened ? 0 : g_serialDeviceStatus.systemError;
}

void PortDiagnosis_NoteOpen(int nId, BOOL opened) {
    if (nId < 1 || nId > SEARCHED_PORTS || !gPortNotes[nId].probed) return;
    PortNote& note = gPortNotes[nId];
    if (opened) {
        ++note.ratesOpened;
    } else {
        note.openFailure = g_serialDeviceStatus.outcome;
        note.openError = g_serialDeviceStatus.systemError;
    }
}

static BOOL probeFoundADevice(const PortNote& note) {
    return note.probed && note.probe != SERIAL_NO_DEVICE && note.probe != SERIAL_NO_SUCH_PORT &&
                   note.probe != SERIAL_SAMPLE_RULE
               ? TRUE
               : FALSE;
}

// The few words that say why port nId could not be used.
static void failureWords(int nId, SerialOutcome outcome, int32_t systemError, char* text, size_t size) {
    char holder[PIECE_SIZE];
    switch (outcome) {
    case SERIAL_HELD:
        if (SerialDevice_Holder(nId, holder, sizeof holder)) {
            snprintf(text, size, "%s", "held by another program: ");
            append(text, size, holder);
        } else {
            snprintf(text, size, "%s", "held by another program");
        }
        break;
    case SERIAL_PERMISSION_DENIED: snprintf(text, size, "%s", "permission denied"); break;
    case SERIAL_NO_DEVICE: snprintf(text, size, "%s", "the device is not there (unplugged?)"); break;
    case SERIAL_NO_SUCH_PORT: snprintf(text, size, "%s", "no device stands for this number"); break;
    case SERIAL_SETTINGS_REFUSED: settingsRefused(TRUE, systemError, text, size); break;
    default: SerialDevice_ErrorText(outcome, systemError, text, size); break;
    }
    // Words within a line, not a sentence: the system's full stop goes.
    const size_t length = strlen(text);
    if (length > 0 && text[length - 1] == '.') text[length - 1] = '\0';
}

static void portWords(int nId, char* text, size_t size) {
    if (nId > SEARCHED_PORTS || !gPortNotes[nId].probed) {
        snprintf(text, size, "%s", "not searched (the search covers COM1 to COM32): enter its number below");
        return;
    }
    const PortNote& note = gPortNotes[nId];
    if (note.probe != SERIAL_OPENED) {
        failureWords(nId, note.probe, note.probeError, text, size);
    } else if (note.ratesOpened > 0) {
        snprintf(text, size, "%s", "no unit answered at any rate");
    } else {
        failureWords(nId, note.openFailure, note.openError, text, size);
    }
}

// The outcome that kept port nId from use, as portWords judged it.
static SerialOutcome portOutcome(int nId) {
    if (nId > SEARCHED_PORTS || !gPortNotes[nId].probed) return SERIAL_OPENED;
    const PortNote& note = gPortNotes[nId];
    if (note.probe != SERIAL_OPENED) return note.probe;
    return note.ratesOpened > 0 ? SERIAL_OPENED : note.openFailure;
}

static void reportPort(int nId) {
    char label[16];
    char device[SERIAL_DEVICE_NAME_SIZE];
    char words[PIECE_SIZE];
    snprintf(label, sizeof label, "COM%d", nId);
    SerialDevice_Describe(nId, device, sizeof device);
    portWords(nId, words, sizeof words);
    if (device[0]) {
        snprintf(gLine, sizeof gLine, "  %-6s %s: %s", label, device, words);
    } else {
        snprintf(gLine, sizeof gLine, "  %s: %s", label, words);
    }
    fprintf(stderr, "%s\n", gLine);
}

// The ports the system lists, and those whose probe met a device, ascending, once each.
static int portsToReport(int32_t* ports, int capacity) {
    int32_t listed[MAX_LISTED_PORTS];
    const int listedCount = SerialDevice_ListPorts(listed, MAX_LISTED_PORTS);
    int count = 0;
    for (int i = 0; i < listedCount; ++i) PortList_Insert(listed[i], ports, &count, capacity);
    for (int nId = 1; nId <= SEARCHED_PORTS; ++nId)
        if (probeFoundADevice(gPortNotes[nId])) PortList_Insert(nId, ports, &count, capacity);
    return count;
}

void PortDiagnosis_ReportSearch() {
    for (int nId = 1; nId <= SEARCHED_PORTS; ++nId) {
        if (gPortNotes[nId].probed && gPortNotes[nId].probe == SERIAL_SAMPLE_RULE) {
            explainSampleRuleOnce("\n");
            return;
        }
    }
    int32_t ports[MAX_LISTED_PORTS + SEARCHED_PORTS];
    const int count = portsToReport(ports, MAX_LISTED_PORTS + SEARCHED_PORTS);
    if (count == 0) {
        char advice[PIECE_SIZE];
        SerialDevice_NoPortAdvice(advice, sizeof advice);
        fprintf(stderr, "\nNo serial port found: %s\n", advice);
        return;
    }
    fputs("\nNo unit answered. The serial ports of this machine:\n", stderr);
    int firstHeld = 0;
    int firstDenied = 0;
    for (int i = 0; i < count; ++i) {
        reportPort(ports[i]);
        const SerialOutcome outcome = portOutcome(ports[i]);
        if (outcome == SERIAL_HELD && !firstHeld) firstHeld = ports[i];
        if (outcome == SERIAL_PERMISSION_DENIED && !firstDenied) firstDenied = ports[i];
    }
    if (firstHeld) fputs("Close the program that holds the port, then run the tool again.\n", stderr);
    char advice[PIECE_SIZE];
    if (firstDenied && SerialDevice_PermissionAdvice(firstDenied, advice, sizeof advice))
        fprintf(stderr, "%s\n", advice);
}
