// The two ways of talking to the unit: a command line with its reply, and a raw block
// of image bytes with the reply that follows it. A reply is everything the unit sends
// until one whole read time-out passes without a byte.
#include <cstdio>
#include <cstring>

#include "ComPortAPI.h"
#include "KestraneFwUpgrade.h"

#define DATA_CHUNK_SIZE 10240

// The reply collected by the last exchange, as text.
static char responseReceivedCopy[DATA_BUFFER_SIZE];

// Reads until a read brings nothing, joining the chunks as text (a zero byte ends its
// chunk's share). FALSE when the unit sent more than the buffer holds: a unit that never
// falls silent must not hold the tool, and such a reply can match nothing anyway.
static BOOL collectReply() {
    size_t textLength = 0;
    long totalBytesRead = 0;
    responseReceivedCopy[0] = '\0';
    for (;;) {
        int nBytesRead = 0;
        ComPortAPI_ReadCOM(gDataBuffer, DATA_BUFFER_SIZE - 1, &nBytesRead);
        gDataBuffer[nBytesRead] = '\0';
        if (nBytesRead == 0) return TRUE;
        totalBytesRead += nBytesRead;
        if (totalBytesRead > DATA_BUFFER_SIZE - 1) return FALSE;
        // The text never outgrows the bytes, so this copy always fits.
        const size_t chunkLength = strlen(gDataBuffer);
        memcpy(responseReceivedCopy + textLength, gDataBuffer, chunkLength + 1);
        textLength += chunkLength;
    }
}

BOOL sendCommand(const char* commandToSend, BOOL isEchoON, BOOL validateResponse, const char* expectedResponse) {
    fflush(stdout);
    // Without echo the unit wants "%%" before the command; the command's own "%" makes three.
    const int length = snprintf(gDataBuffer, DATA_BUFFER_SIZE, "%s%s\n\r", isEchoON ? "" : "%%", commandToSend);
    int nBytesWritten = 0;
    if (length < 0 || length >= DATA_BUFFER_SIZE || !ComPortAPI_WriteCOM(gDataBuffer, length, &nBytesWritten)) {
        fputs("\r\nError occurred when sending data !\r\n", stdout);
        return FALSE;
    }
    if (!expectedResponse) return TRUE;  // the caller reads the reply itself
    const BOOL complete = collectReply();
    if (validateResponse && (!complete || strcmp(responseReceivedCopy, expectedResponse) != 0)) return FALSE;
    return TRUE;
}

// Erases the percentage shown last: two characters up to 9, three from 10.
static void erasePercentage(int percentage) { fputs(percentage < 10 ? "\b\b" : "\b\b\b", stdout); }

BOOL sendData(const uint8_t* dataToSend, int dataToSendLength, BOOL validateResponse, const char* expectedResponse) {
    if (dataToSendLength < 0) return FALSE;
    fflush(stdout);
    fputs("1%", stdout);
    int dataSent = 0;
    int percentage = 0;  // the display starts at "1%", yet nothing has been counted
    while (dataSent != dataToSendLength) {
        int nBytesWritten = 0;
        const int remaining = dataToSendLength - dataSent;
        if (remaining > DATA_CHUNK_SIZE) {
            if (!ComPortAPI_WriteCOM(dataToSend + dataSent, DATA_CHUNK_SIZE, &nBytesWritten)) return FALSE;
            dataSent += DATA_CHUNK_SIZE;
            erasePercentage(percentage);
            percentage = static_cast<int>(static_cast<int64_t>(dataSent) * 100 / dataToSendLength);
            printf("%d%%", percentage);
            continue;
        }
        if (!ComPortAPI_WriteCOM(dataToSend + dataSent, remaining, &nBytesWritten)) return FALSE;
        erasePercentage(percentage);
        fputs("100%", stdout);
        fflush(stdout);
        dataSent = dataToSendLength;
        if (!expectedResponse) return TRUE;
        const BOOL complete = collectReply();
        if (!validateResponse) return TRUE;
        if (complete && strcmp(responseReceivedCopy, expectedResponse) == 0) return TRUE;
        printf("\r\nExpected : %s  received : %s\r\n", expectedResponse, responseReceivedCopy);
        fputs("\r\nError: Expected response did  not matched !\r\n", stdout);
        return FALSE;
    }
    return TRUE;  // nothing to send
}
