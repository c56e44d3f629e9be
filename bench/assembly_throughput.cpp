// Throughput of the flat image assembly on the three embedded texts, in MB/s of text.
//
// Each run assembles a fresh heap copy (an assembly uses its copy up); only the assembly
// is timed, the copy and the checksum are not. The figure is the median of the runs.
//
//   assembly_throughput [RUNS]     (default 21)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "KestraneFwUpgrade.h"
#include "firmware/BinImage.h"

namespace {

double medianOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 21;
    if (!allocateSharedBuffers()) {
        fputs("assembly_throughput: out of memory\n", stderr);
        return EXIT_OUT_OF_MEMORY;
    }
    printf("Flat image assembly, in-process, median of %d runs (1 MB = 10^6 bytes of text)\n", runs);
    printf("%-32s %10s %10s %10s %10s\n", "text", "bytes", "length", "ms", "MB/s");
    for (int index = 0; index < AUTOGEN_FILES_COUNT; ++index) {
        std::vector<double> seconds;
        BOOL ok = TRUE;
        for (int run = 0; run < runs && ok; ++run) {
            char* const copy = newCopyOfEmbeddedText(index);
            if (!copy) {
                fputs("assembly_throughput: out of memory\n", stderr);
                return EXIT_OUT_OF_MEMORY;
            }
            const auto begin = std::chrono::steady_clock::now();
            ok = ValidateFwAndConcatenateData(copy);
            const auto end = std::chrono::steady_clock::now();
            seconds.push_back(std::chrono::duration<double>(end - begin).count());
            free(copy);
        }
        const autogen_files& entry = AUTOGEN_FILES[index];
        if (!ok) {
            printf("%-32s assembly FAILED\n", entry.filePath);
            continue;
        }
        const double median = medianOf(seconds);
        printf("%-32s %10d %10d %10.3f %10.1f\n", entry.filePath, static_cast<int>(entry.fileDataLength),
               static_cast<int>(gDataConcatenatedLenght), median * 1e3, entry.fileDataLength / median / 1e6);
    }
    if (AUTOGEN_IS_SAMPLE_SET) puts("(synthetic sample image set)");
    releaseSharedBuffers();
    return 0;
}
