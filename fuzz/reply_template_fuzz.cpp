// Arbitrary replies and templates through the reply scanner and the renderer.
#include "account/balance_query.h"
#include "common/heap_text.h"

#include <cstdint>
#include <cstring>
#include <string>

// Input: template, a NUL byte, then the reply.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t split = input.find('\0');
    std::string template_text = input.substr(0, split);
    std::string reply = split == std::string::npos ? std::string() : input.substr(split + 1);
    reply = reply.c_str();

    char out[2064];
    out[0] = '\0';
    expand_template(out, template_text.c_str(), reply.c_str());
    if (strlen(out) > 2063) {
        __builtin_trap();
    }
    for (const char* name : {"token", "balance", "balanceInfo", template_text.c_str()}) {
        free_text(tag_value(name, reply.c_str()));
    }
    return 0;
}
