#include "EscapedText.h"

#include <cstdio>

static int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool decodeEscapes(const std::string& text, std::string& bytes, std::string& error) {
    bytes.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            bytes += text[i];
            continue;
        }
        if (i + 1 >= text.size()) {
            error = "a backslash at the end of \"" + text + "\"";
            return false;
        }
        const char kind = text[++i];
        if (kind == 'r') {
            bytes += '\r';
        } else if (kind == 'n') {
            bytes += '\n';
        } else if (kind == '\\') {
            bytes += '\\';
        } else if (kind == 'x') {
            const int high = i + 1 < text.size() ? hexValue(text[i + 1]) : -1;
            const int low = i + 2 < text.size() ? hexValue(text[i + 2]) : -1;
            if (high < 0 || low < 0) {
                error = "\\x needs two hex digits in \"" + text + "\"";
                return false;
            }
            bytes += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            error = std::string("unknown escape \\") + kind + " in \"" + text + "\" (use \\r \\n \\\\ \\xHH)";
            return false;
        }
    }
    return true;
}

std::string escapeForLog(const std::string& bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (c == '\r') {
            text += "\\r";
        } else if (c == '\n') {
            text += "\\n";
        } else if (c == '\\') {
            text += "\\\\";
        } else if (byte >= 0x20 && byte < 0x7f) {
            text += c;
        } else {
            char hex[5];
            snprintf(hex, sizeof hex, "\\x%02x", byte);
            text += hex;
        }
    }
    return text;
}
