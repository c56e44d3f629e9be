// Runs a fuzz target over every file of the directories (or files) it is given, so that
// the normal test run keeps every input that once found a fault fixed.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static int replayFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        fprintf(stderr, "cannot read %s\n", path.c_str());
        return 1;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return 0;
}

int main(int argc, char** argv) {
    int failures = 0;
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        struct stat info;
        if (stat(argv[i], &info) != 0) {
            fprintf(stderr, "no such corpus: %s\n", argv[i]);
            return 1;
        }
        if (!S_ISDIR(info.st_mode)) {
            failures += replayFile(argv[i]);
            ++count;
            continue;
        }
        DIR* dir = opendir(argv[i]);
        while (struct dirent* entry = readdir(dir)) {
            if (entry->d_name[0] == '.') continue;
            failures += replayFile(std::string(argv[i]) + "/" + entry->d_name);
            ++count;
        }
        closedir(dir);
    }
    fprintf(stderr, "replayed %d inputs\n", count);
    return failures ? 1 : 0;
}
