// Who is on the line: the unit's firmware and FPGA versions, its FPGA device, and whether
// it is a TX or an RX unit, which selects the FPGA configuration to upload.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ComPortAPI.h"
#include "KestraneFwUpgrade.h"

#define IDENTIFY_TIMEOUT_MS 1000

// The reply is read the way "%d.%d.%d %s %d.%d %d" reads it, written out so that the
// token has a bound and every step is defined for any bytes.
static bool isWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

static const char* skipWhiteSpace(const char* p) {
    while (isWhiteSpace(*p)) ++p;
    return p;
}

// A decimal integer with an optional sign, after white space. Values beyond int are
// held at its limits.
static bool scanInt(const char** cursor, int* value) {
    const char* p = skipWhiteSpace(*cursor);
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (*p < '0' || *p > '9') return false;
    long long magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (magnitude <= static_cast<long long>(INT_MAX) + 1) magnitude = magnitude * 10 + (*p - '0');
    }
    long long signedValue = negative ? -magnitude : magnitude;
    if (signedValue > INT_MAX) signedValue = INT_MAX;
    if (signedValue < INT_MIN) signedValue = INT_MIN;
    *value = static_cast<int>(signedValue);
    *cursor = p;
    return true;
}

static bool scanDot(const char** cursor) {
    if (**cursor != '.') return false;
    ++*cursor;
    return true;
}

// The model token: a run of non-white-space characters. One longer than the field holds
// means a reply of another form, so it is not taken at all.
static bool scanToken(const char** cursor, char* token, size_t size) {
    const char* p = skipWhiteSpace(*cursor);
    size_t length = 0;
    while (p[length] != '\0' && !isWhiteSpace(p[length])) ++length;
    if (length == 0 || length >= size) return false;
    memcpy(token, p, length);
    token[length] = '\0';
    *cursor = p + length;
    return true;
}

int parseVersionReply(const char* text, VersionReply* reply) {
    const char* p = text;
    if (*skipWhiteSpace(p) == '\0') return -1;
    if (!scanInt(&p, &reply->fw_ver)) return 0;
    if (!scanDot(&p) || !scanInt(&p, &reply->fw_rev)) return 1;
    if (!scanDot(&p) || !scanInt(&p, &reply->fw_sub)) return 2;
    if (!scanToken(&p, reply->model, sizeof reply->model)) return 3;
    if (!scanInt(&p, &reply->fpga_ver)) return 4;
    if (!scanDot(&p) || !scanInt(&p, &reply->fpga_rev)) return 5;
    if (!scanInt(&p, &reply->fpga_type)) return 6;
    return 7;
}

BOOL identifyUnit() {
    VersionReply reply = {0, 0, 0, {0}, 0, 0, -1};
    int page_idx = 0;

    ComPortAPI_SetReadingTimeoutInMs(IDENTIFY_TIMEOUT_MS);
    sendCommand("%fw -v", FALSE, FALSE, nullptr);
    // One read is the whole version reply.
    int nBytesRead = 0;
    ComPortAPI_ReadCOM(gDataBuffer, DATA_BUFFER_SIZE - 1, &nBytesRead);
    gDataBuffer[nBytesRead] = '\0';
    StrRemoveNL(gDataBuffer, ' ');
    if (parseVersionReply(gDataBuffer, &reply) == 7) {
        printf("Checking firmware version ..............  %d.%02d.%02d \r\n", reply.fw_ver, reply.fw_rev, reply.fw_sub);
        printf("Checking fpga version ..................  %s %d.%02d  device:%d\r\n", reply.model, reply.fpga_ver,
               reply.fpga_rev, reply.fpga_type);
    }
    fputs("Checking product .......... ", stdout);
    if (reply.fpga_type != DEVICE_XC7A35_484) {
        fputs("FAILED, Unknown product\r\n", stdout);
        return FALSE;
    }

    if (sendCommand("%fw -p", FALSE, TRUE, VALIDATE_TX_PRODUCT_ID_STRING)) {
        fputs("TX OK\r\n", stdout);
        fputs(VALIDATE_TX_PRODUCT_ID_STRING, stdout);
        fputs("\r\n", stdout);
        page_idx = IMAGE_INDEX_TX_FPGA;
    } else if (sendCommand("%fw -p", FALSE, TRUE, VALIDATE_RX_PRODUCT_ID_STRING)) {
        fputs("RX OK\r\n", stdout);
        fputs(VALIDATE_RX_PRODUCT_ID_STRING, stdout);
        fputs("\r\n", stdout);
        page_idx = IMAGE_INDEX_RX_FPGA;
    } else {
        fputs("FAILED\r\n", stdout);
        return FALSE;
    }

    free(gHexFPGA_Code);
    gHexFPGA_Code = newCopyOfEmbeddedText(page_idx);
    if (!gHexFPGA_Code) {
        fputs("\r\nERROR: Not enough memory for the Programmable Logic data !\r\n", stdout);
        return FALSE;
    }
    return TRUE;
}
