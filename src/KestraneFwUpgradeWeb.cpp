// The web firmware package "FwToUpload.bin": a five-line header (maker, product, version,
// checksum, length) and the microcontroller image in Base64, in lines of fixed length.
#include <cstdio>
#include <cstring>

#include "Encoder.h"
#include "FileAPI.h"
#include "KestraneFwUpgrade.h"

// Room for the Base64 text and its NUL: images up to 460,797 bytes fit.
#define BASE64_CAPACITY_FOR_WEB 614400
#define WEB_HEADER_SIZE 64

static unsigned char bufferBase64[BASE64_CAPACITY_FOR_WEB];

// The web page reads the body as whole groups of four and takes the image length from the
// header, so the pad characters are sent as "A" (zero bits) rather than "=".
static void replacePadCharacters(unsigned char* text, int32_t textLength) {
    for (int32_t back = 1; back <= 4 && back <= textLength; ++back) {
        if (text[textLength - back] == '=') text[textLength - back] = 'A';
    }
}

// Fills bufferBase64 with the body text; FALSE when the image does not fit the buffer.
static BOOL encodeImageForWeb(int32_t* textLength) {
    *textLength = 0;
    if (gDataConcatenatedLenght <= 0) return TRUE;  // an empty image has an empty body
    int32_t dataLengthBase64 = BASE64_CAPACITY_FOR_WEB;
    if (base64_encode(bufferBase64, &dataLengthBase64, gDataConcatenated, gDataConcatenatedLenght) != 0) {
        return FALSE;
    }
    *textLength = dataLengthBase64;
    replacePadCharacters(bufferBase64, *textLength);
    return TRUE;
}

static BOOL writeHeader(const char* header) {
    BOOL written = FileAPI_CreateFile(FIRMWARE_FILE_NAME_FOR_WEB, TRUE);
    written &= FileAPI_writeToFileBinary(reinterpret_cast<const uint8_t*>(header),
                                         static_cast<uint32_t>(strlen(header)));
    written &= FileAPI_CloseFile();
    return written;
}

// Every line but the last ends in "\r\n"; the file ends with the last Base64 character.
static BOOL appendBody(int32_t textLength) {
    BOOL written = FileAPI_OpenFile_ToWrite(FIRMWARE_FILE_NAME_FOR_WEB, TRUE);
    uint8_t line[FIRMWARE_CHUNCK_SIZE_FOR_WEB + 2];
    int32_t remainingByte = textLength;
    int32_t currentIndex = 0;
    while (remainingByte > FIRMWARE_CHUNCK_SIZE_FOR_WEB) {
        memcpy(line, bufferBase64 + currentIndex, FIRMWARE_CHUNCK_SIZE_FOR_WEB);
        line[FIRMWARE_CHUNCK_SIZE_FOR_WEB] = '\r';
        line[FIRMWARE_CHUNCK_SIZE_FOR_WEB + 1] = '\n';
        written &= FileAPI_writeToFileBinary(line, sizeof line);
        currentIndex += FIRMWARE_CHUNCK_SIZE_FOR_WEB;
        remainingByte -= FIRMWARE_CHUNCK_SIZE_FOR_WEB;
    }
    if (remainingByte > 0) {
        written &= FileAPI_writeToFileBinary(bufferBase64 + currentIndex, static_cast<uint32_t>(remainingByte));
    }
    written &= FileAPI_CloseFile();
    return written;
}

// TRUE only when the whole package reached the file. The image is assembled and encoded
// before the file is created, so a text that is not valid or an image too long for the
// Base64 buffer leaves an earlier package as it was. When a file step fails, the steps
// after it still run and report for themselves, and the key prompt still ends the run,
// but the result is FALSE.
BOOL createFirmwareFileForWeb() {
    char header[WEB_HEADER_SIZE];
    snprintf(header, sizeof header, "%s%s\r\n", FIRMWARE_FILE_HEADER_FOR_WEB, FIRMWARE_VERSION_TO_UPLOAD);

    if (!ValidateFwAndConcatenateData(gHexFirmware)) {
        fputs("\r\nERROR: Firmware data is not valid !\r\n", stdout);
        return FALSE;
    }
    fputs("\r\n Firmware data is valid !\r\n", stdout);

    gDataConcatenatedCheckSum = imageChecksum(gDataConcatenated, gDataConcatenatedLenght);
    char checksumText[16];
    snprintf(checksumText, sizeof checksumText, "%u", static_cast<unsigned>(gDataConcatenatedCheckSum));
    char lengthText[16];
    snprintf(lengthText, sizeof lengthText, "%d", static_cast<int>(gDataConcatenatedLenght));
    const size_t used = strlen(header);
    snprintf(header + used, sizeof header - used, "%s\r\n%s\r\n", checksumText, lengthText);
    printf("\r\n Firmware CheckSum = %s !\r\n", checksumText);
    printf("\r\n Firmware CheckSum u = %u !\r\n", static_cast<unsigned>(gDataConcatenatedCheckSum));
    printf("\r\n Firmware data length = %d !\r\n", static_cast<int>(gDataConcatenatedLenght));

    int32_t textLength = 0;
    if (!encodeImageForWeb(&textLength)) {
        fputs("\r\n ERROR BASE 64 !\r\n", stdout);
        return FALSE;
    }

    BOOL written = writeHeader(header);
    written &= appendBody(textLength);
    dipsplayLastMessageToUserBeforeExit("");
    return written;
}
