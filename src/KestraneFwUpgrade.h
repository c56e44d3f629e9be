// The upgrade tool's main module: its constants, shared buffers and operations.
#ifndef KESTRANE_FW_UPGRADE_H
#define KESTRANE_FW_UPGRADE_H

#include <cstdint>

#include "KestraneTypes.h"

#define FIRMWARE_VERSION_TO_UPLOAD "1.0.6"
#define DATA_BUFFER_SIZE (1024 * 1000)
#define CONCAT_BUFFER_SIZE (4 * 1024 * 1024)
// Spare bytes behind the flat image and behind every heap copy of an image text.
#define SPARE_BYTES 16

// Replies of the unit to "%fw -p", compared as a whole.
#define VALIDATE_TX_PRODUCT_ID_STRING "Tavrix 6G SDI EXTENDER OVER FIBER TX\r\n>>"
#define VALIDATE_RX_PRODUCT_ID_STRING "Tavrix 6G SDI EXTENDER OVER FIBER RX\r\n>>"

// FPGA device codes reported by the unit; only DEVICE_XC7A35_484 is supported.
#define DEVICE_NONE 0
#define DEVICE_XC7A35_484 1
#define DEVICE_XC7A50_484 2
#define DEVICE_XC7A75_484 3
#define DEVICE_XC7A100_484 4
#define DEVICE_XC7A200_S484 5
#define DEVICE_XC7A200_F484 6
#define DEVICE_XC7A75_676 7
#define DEVICE_XC7A100_676 8
#define DEVICE_XC7A15_484 9

// Indexes into AUTOGEN_FILES.
#define IMAGE_INDEX_MCU 0
#define IMAGE_INDEX_TX_FPGA 1
#define IMAGE_INDEX_RX_FPGA 2

#define FIRMWARE_FILE_HEADER_FOR_WEB "TavRix\r\n284619\r\n"
#define FIRMWARE_CHUNCK_SIZE_FOR_WEB 928
#define FIRMWARE_FILE_NAME_FOR_WEB "FwToUpload.bin"

// Exit statuses of the console run.
#define EXIT_UPGRADE_DONE 0
#define EXIT_UPGRADE_FAILED 1
#define EXIT_LINK_UNUSABLE (-1)

// ---- shared buffers (allocated by the entry, released at the normal end) ----
extern char* gHexFirmware;          // heap copy of the microcontroller text
extern char* gHexFPGA_Code;         // heap copy of the selected FPGA text, null until chosen
extern uint8_t* gDataConcatenated;  // flat image, CONCAT_BUFFER_SIZE + SPARE_BYTES bytes
extern char* gDataBuffer;           // DATA_BUFFER_SIZE bytes: commands out, chunks in
extern int32_t gDataConcatenatedLenght;
extern uint32_t gDataConcatenatedCheckSum;
extern int gComPortNumber;
extern int gBaudRate;

// A new heap copy of text `index` of AUTOGEN_FILES: fileDataLength + SPARE_BYTES bytes,
// the text followed by zero bytes. Null when the heap cannot supply it.
char* newCopyOfEmbeddedText(int index);
// Sets up gDataConcatenated alone: the image all 0xFF, the spare bytes behind it zero.
// FALSE when the heap cannot supply it. Released with free().
BOOL allocateImageBuffer();
// Sets up gHexFirmware, gDataConcatenated and gDataBuffer, in this order. FALSE when the
// heap cannot supply one of them (the ones obtained are released again).
BOOL allocateSharedBuffers();
// Releases gDataBuffer, gDataConcatenated, gHexFirmware and gHexFPGA_Code; nulls them.
void releaseSharedBuffers();

// Writes lastMessage and "\r\nPress any key to exit", then waits for one key.
void dipsplayLastMessageToUserBeforeExit(const char* lastMessage);

// ---- talking to the unit ----
BOOL sendCommand(const char* commandToSend, BOOL isEchoON, BOOL validateResponse,
                 const char* expectedResponse);
BOOL sendData(const uint8_t* dataToSend, int dataToSendLength, BOOL validateResponse,
              const char* expectedResponse);
BOOL detectComPortAndBaudrate();

// ---- image preparation ----
BOOL StrRemoveNL(char* str, char ch);
BOOL ValidateFwAndConcatenateData(char* gHexData);
// 0 minus the sum of image bytes 0 to length - 1, in 32 bits.
uint32_t imageChecksum(const uint8_t* image, int32_t length);

// ---- the upgrade ----
// Fields of the unit's version reply "%d.%d.%d %s %d.%d %d".
struct VersionReply {
    int fw_ver;
    int fw_rev;
    int fw_sub;
    char model[8];
    int fpga_ver;
    int fpga_rev;
    int fpga_type;
};
// Parses text as the version reply; returns the number of fields filled (-1 when the text
// is empty or white space only). Fields not filled keep the values *reply had.
int parseVersionReply(const char* text, VersionReply* reply);
// The first stage of updateFirmware: versions, device check, TX or RX, gHexFPGA_Code.
BOOL identifyUnit();
BOOL updateFirmware();

// ---- web firmware package ----
BOOL createFirmwareFileForWeb();

#endif
