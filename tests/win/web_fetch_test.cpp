// Which failed WinINet sends count as a refused secure connection.  Wine
// reports a reset during the handshake as 12157, which is not a refusal.
#include "account/web_fetch.h"

#include <gtest/gtest.h>

TEST(WebFetchStatus, OnlyRefusedOrResetHttpsMeansTlsFailed)
{
    const struct {
        bool secure;
        unsigned long error;
        uint32_t status;
    } cases[] = {{true, 12029, FETCH_TLS_FAILED}, {true, 12031, FETCH_TLS_FAILED}, {true, 12045, FETCH_FAILED},
                 {true, 12157, FETCH_FAILED},     {false, 12029, FETCH_FAILED},    {false, 12031, FETCH_FAILED}};
    for (const auto& c : cases) {
        EXPECT_EQ(c.status, send_failure_status(c.secure, c.error)) << c.secure << " " << c.error;
    }
}
