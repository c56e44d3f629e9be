// The build's check of an image text: what the tool relies on when it assembles an image.
// embed_images stops the build at the first fault it finds; fwimage gives the same verdict
// for a file before anyone builds with it. Plain standard C++: fwimage is built for
// Windows too.
#ifndef KESTRANE_IMAGE_CHECK_H
#define KESTRANE_IMAGE_CHECK_H

#include <cstddef>
#include <string>

struct ImageTextFault {
    size_t line = 0;  // 1-based; 0 when the fault is the file's as a whole
    std::string reason;
};

// True when the text is acceptable: well-formed records with correct checksums, no NUL
// byte, at most 98 characters from one ':' to the next, addresses above 64 KiB by
// extended linear address records only, every data byte inside the 4 MiB image, and a
// size the tool's 32-bit text lengths can hold. Otherwise *fault holds the first fault.
bool checkImageText(const char* text, size_t length, ImageTextFault* fault);

// "path:line: reason", or "path: reason" for a fault of the whole file: the build's message.
std::string imageTextFaultMessage(const std::string& path, const ImageTextFault& fault);

#endif
