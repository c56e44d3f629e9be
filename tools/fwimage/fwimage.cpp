// fwimage: assembles an Intel HEX file into the flat image exactly as the upgrade tool
// does before it uploads one, shows what the tool would announce to a unit, and gives the
// build's verdict on the file with the build's own check.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ImageCheck.h"
#include "KestraneFwUpgrade.h"
#include "Platform.h"

#define EXIT_IMAGE_DONE 0
#define EXIT_TEXT_NOT_VALID 1
#define EXIT_USAGE_OR_FILE 2

static const char* const kHelp =
    "Usage: fwimage FILE [-o OUT]\n"
    "       fwimage --help\n"
    "\n"
    "Assembles the Intel HEX text FILE into the flat image with the very code that the\n"
    "upgrade tool runs before an upload, and prints:\n"
    "  records: N    the records of the text (the runs of characters between start codes)\n"
    "  length: N     the image length the tool would announce to a unit\n"
    "  checksum: N   the image checksum the tool would announce (0 minus the byte sum)\n"
    "Both figures are decimal, as in the tool's \"%fw -l\" and \"%fw -h\" commands: the\n"
    "length is the start of the last data record, whose bytes are not sent.\n"
    "\n"
    "  -o OUT        also write image bytes 0 to length - 1 to OUT (replaced if it exists)\n"
    "\n"
    "It also checks FILE as the build checks every image text it embeds, and refuses it\n"
    "as the build would, with the build's own message on standard error:\n"
    "  FILE:LINE: reason\n"
    "\n"
    "Exit status: 0 the build would accept the text (and the image was written); 1 it\n"
    "would refuse it (no image is written; standard output still shows the assembly's\n"
    "summary, or its diagnostic of the first record it refused); 2 a usage error, a file\n"
    "that cannot be read or written, or not enough memory.\n";

struct Arguments {
    const char* input = nullptr;
    const char* output = nullptr;
    bool help = false;
};

static void reportUsageError(const char* what, const char* argument) {
    fprintf(stderr, "fwimage: %s%s (try --help)\n", what, argument);
}

static bool parseArguments(int argc, char** argv, Arguments* arguments) {
    for (int i = 1; i < argc; ++i) {
        const char* const argument = argv[i];
        if (strcmp(argument, "--help") == 0 || strcmp(argument, "-h") == 0) {
            arguments->help = true;
        } else if (strcmp(argument, "-o") == 0) {
            if (i + 1 >= argc) {
                reportUsageError("-o needs a file name", "");
                return false;
            }
            if (arguments->output) {
                reportUsageError("-o given twice", "");
                return false;
            }
            arguments->output = argv[++i];
        } else if (argument[0] == '-' && argument[1] != '\0') {
            reportUsageError("unknown option ", argument);
            return false;
        } else if (arguments->input) {
            reportUsageError("more than one FILE: ", argument);
            return false;
        } else {
            arguments->input = argument;
        }
    }
    if (!arguments->help && !arguments->input) {
        reportUsageError("no FILE given", "");
        return false;
    }
    return true;
}

// Size of a file that can be sought in, or 0 (a pipe, a terminal). The tool's texts have
// 32-bit lengths: a larger figure is no text's size (a directory reports one).
static size_t sizeIfKnown(FILE* file) {
    long size = -1;
    if (fseek(file, 0, SEEK_END) == 0) size = ftell(file);
    if (fseek(file, 0, SEEK_SET) != 0) clearerr(file);
    return size > 0 && size <= INT32_MAX ? static_cast<size_t>(size) : 0;
}

// The whole file in a new heap block followed by SPARE_BYTES zero bytes, as the tool's
// copies of its embedded texts are. Null, with a message, when it cannot be read.
static char* newCopyOfFile(const char* path, size_t* length) {
    FILE* const file = fopen(path, "rb");
    if (!file) {
        fprintf(stderr, "fwimage: cannot open %s: %s\n", path, strerror(errno));
        return nullptr;
    }
    // One byte more than the size, so that the first read already meets the end.
    size_t capacity = sizeIfKnown(file) + 1;
    if (capacity == 1) capacity = 1 << 20;
    char* text = static_cast<char*>(Platform_AllocateLarge(capacity + SPARE_BYTES));
    size_t used = 0;
    while (text) {
        used += fread(text + used, 1, capacity - used, file);
        if (used < capacity) break;
        capacity *= 2;
        char* const grown = static_cast<char*>(realloc(text, capacity + SPARE_BYTES));
        if (!grown) free(text);
        text = grown;
    }
    const int readError = errno;
    const bool readFailed = ferror(file) != 0;
    fclose(file);
    if (!text) {
        fprintf(stderr, "fwimage: not enough memory to read %s\n", path);
        return nullptr;
    }
    if (readFailed) {
        fprintf(stderr, "fwimage: cannot read %s: %s\n", path, strerror(readError));
        free(text);
        return nullptr;
    }
    memset(text + used, 0, SPARE_BYTES);
    *length = used;
    return text;
}

// Records as the assembly sees them: the runs of characters between start codes.
static long countRecords(const char* text, size_t length) {
    long records = 0;
    const char* const end = text + length;
    for (const char* p = text; p < end;) {
        const char* const startCode = static_cast<const char*>(memchr(p, ':', static_cast<size_t>(end - p)));
        const char* const recordEnd = startCode ? startCode : end;
        if (recordEnd > p) ++records;
        p = recordEnd + 1;
    }
    return records;
}

static bool writeImage(const char* path, const uint8_t* image, int32_t length) {
    FILE* const file = fopen(path, "wb");
    if (!file) {
        fprintf(stderr, "fwimage: cannot create %s: %s\n", path, strerror(errno));
        return false;
    }
    const size_t size = static_cast<size_t>(length);
    const bool written = fwrite(image, 1, size, file) == size;
    if (fclose(file) != 0 || !written) {
        fprintf(stderr, "fwimage: cannot write %s: %s\n", path, strerror(errno));
        remove(path);
        return false;
    }
    return true;
}

// The tool's view of the text on standard output: the summary, or the assembly's own
// diagnostic of the first record it refused. True when the assembly took the text.
static bool showAssembly(char* text, size_t length) {
    const long records = countRecords(text, length);
    if (!ValidateFwAndConcatenateData(text)) return false;
    gDataConcatenatedCheckSum = imageChecksum(gDataConcatenated, gDataConcatenatedLenght);
    printf("records: %ld\n", records);
    printf("length: %d\n", static_cast<int>(gDataConcatenatedLenght));
    printf("checksum: %u\n", static_cast<unsigned>(gDataConcatenatedCheckSum));
    return true;
}

static int assembleFile(const Arguments& arguments) {
    size_t length = 0;
    char* const text = newCopyOfFile(arguments.input, &length);
    if (!text) return EXIT_USAGE_OR_FILE;
    ImageTextFault fault;
    const bool buildAccepts = checkImageText(text, length, &fault);
    // The tool takes its text as a string: behind a NUL byte it would see nothing, so
    // there is no assembly of such a file to show.
    const bool holdsNul = memchr(text, '\0', length) != nullptr;
    if (!holdsNul && !allocateImageBuffer()) {
        fputs("fwimage: not enough memory for the image\n", stderr);
        free(text);
        return EXIT_USAGE_OR_FILE;
    }
    const bool assemblyAccepts = !holdsNul && showAssembly(text, length);
    fflush(stdout);
    int status = EXIT_IMAGE_DONE;
    if (!buildAccepts) {
        fprintf(stderr, "%s\n", imageTextFaultMessage(arguments.input, fault).c_str());
        status = EXIT_TEXT_NOT_VALID;
    } else if (!assemblyAccepts) {
        // The build's check should refuse whatever the assembly refuses: say so loudly.
        fprintf(stderr, "fwimage: %s: the build accepts this text, but the tool's assembly refuses it\n",
                arguments.input);
        status = EXIT_TEXT_NOT_VALID;
    } else if (arguments.output && !writeImage(arguments.output, gDataConcatenated, gDataConcatenatedLenght)) {
        status = EXIT_USAGE_OR_FILE;
    }
    free(gDataConcatenated);
    gDataConcatenated = nullptr;
    free(text);
    return status;
}

int main(int argc, char** argv) {
    Arguments arguments;
    if (!parseArguments(argc, argv, &arguments)) return EXIT_USAGE_OR_FILE;
    if (arguments.help) {
        fputs(kHelp, stdout);
        return EXIT_IMAGE_DONE;
    }
    Platform_InitConsole();
    return assembleFile(arguments);
}
