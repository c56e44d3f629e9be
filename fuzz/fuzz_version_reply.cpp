// Any bytes as the unit's version reply, treated as the identification treats it: line
// ends turned into spaces, then the seven-field parse.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "KestraneFwUpgrade.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    char* reply = static_cast<char*>(malloc(size + 1));
    if (!reply) return 0;
    memcpy(reply, data, size);
    reply[size] = '\0';
    StrRemoveNL(reply, ' ');
    VersionReply fields = {0, 0, 0, {0}, 0, 0, -1};
    const int count = parseVersionReply(reply, &fields);
    if (count < -1 || count > 7) abort();
    if (strlen(fields.model) > 7) abort();
    if (count < 7 && fields.fpga_type != -1) abort();
    free(reply);
    return 0;
}
