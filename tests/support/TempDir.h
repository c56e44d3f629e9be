// A fresh directory under /tmp for one test, removed with everything in it afterwards,
// and the whole contents of a file.
#ifndef KESTRANE_TEMP_DIR_H
#define KESTRANE_TEMP_DIR_H

#include <string>

class TempDir {
public:
    explicit TempDir(const char* prefix = "kestrane");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// The contents of a file ("" when it cannot be read).
std::string fileContents(const std::string& path);

#endif
