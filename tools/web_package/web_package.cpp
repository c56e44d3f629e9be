// web-package: writes the web firmware package "FwToUpload.bin" of the microcontroller
// image that this build carries, into the current directory.
#include <cstdio>
#include <cstring>

#include "FileAPI.h"
#include "KestraneFwUpgrade.h"
#include "Platform.h"
#include "firmware/BinImage.h"

#define EXIT_PACKAGE_WRITTEN 0
#define EXIT_PACKAGE_NOT_WRITTEN 1
#define EXIT_USAGE 64

static const char* const kHelp =
    "Usage: web-package [--help]\n"
    "\n"
    "Writes the web firmware package \"" FIRMWARE_FILE_NAME_FOR_WEB "\" into the current directory:\n"
    "the microcontroller firmware " FIRMWARE_VERSION_TO_UPLOAD " that this build carries, as a five-line\n"
    "header (maker, product number, version, checksum, length) followed by the image\n"
    "in Base64, for a unit's web page to upload. No unit and no serial port is used.\n"
    "An existing package of that name is replaced; when the image cannot be prepared\n"
    "it is left as it was.\n"
    "\n"
    "The run ends with \"Press any key to exit\" and waits for a key when standard input\n"
    "is a terminal.\n"
    "\n"
    "Exit status: 0 the package was written; 1 it was not (the firmware text is not\n"
    "valid, the image is too long for the package, or the file could not be created\n"
    "or written); 2 not enough memory; 64 an unknown argument.\n";

int main(int argc, char** argv) {
    if (argc > 1) {
        if (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0) {
            fputs(kHelp, stdout);
            return EXIT_PACKAGE_WRITTEN;
        }
        fprintf(stderr, "web-package: unknown argument \"%s\" (try --help)\n", argv[1]);
        return EXIT_USAGE;
    }
    Platform_InitConsole();
    if (AUTOGEN_IS_SAMPLE_SET) {
        fputs("web-package: this build carries the SYNTHETIC SAMPLE images: the package is for tests only\n",
              stderr);
    }
    if (!allocateSharedBuffers()) {
        fputs("web-package: not enough memory for the package's buffers\n", stderr);
        return EXIT_OUT_OF_MEMORY;
    }
    const BOOL written = createFirmwareFileForWeb();
    releaseSharedBuffers();
    // The console lines only say that a step failed, once per step: name the cause once.
    const int reason = FileAPI_LastErrorNumber();
    if (!written && reason != 0) {
        fprintf(stderr, "web-package: cannot write %s: %s\n", FIRMWARE_FILE_NAME_FOR_WEB, strerror(reason));
    }
    return written ? EXIT_PACKAGE_WRITTEN : EXIT_PACKAGE_NOT_WRITTEN;
}
