// Runs the status summary and the probe on this machine, for the namespace tests.
//   status_tool probe HOST      the probe's result, dotted
//   status_tool status [EXT]    the status text for external address EXT (dotted)
#include "common/heap_text.h"
#include "status/address_probe.h"
#include "status/status_summary.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc == 3 && strcmp(argv[1], "probe") == 0) {
        char dotted[16] = {};
        dotted_address(probe_external_address(argv[2]), dotted);
        printf("%s\n", dotted);
        return 0;
    }
    if ((argc == 2 || argc == 3) && strcmp(argv[1], "status") == 0) {
        char* text = status_text(argc == 3 ? inet_addr(argv[2]) : 0);
        if (text == nullptr) {
            return 1;
        }
        printf("%s\n", text);
        free_text(text);
        return 0;
    }
    fprintf(stderr, "usage: status_tool probe HOST | status [EXTERNAL]\n");
    return 2;
}
