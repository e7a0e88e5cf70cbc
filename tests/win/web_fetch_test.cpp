// A reset of an HTTPS connection counts as the secure connection failing (the refusal, the handshake's
// reset and plain HTTP reach send_failure_status through WinINet in http_get_test).
#include "account/web_fetch_win.h"

#include <gtest/gtest.h>

TEST(WebFetchStatus, AResetHttpsConnectionMeansTlsFailed)
{
    EXPECT_EQ(FETCH_TLS_FAILED, send_failure_status(true, 12031));
    EXPECT_EQ(FETCH_FAILED, send_failure_status(false, 12031));
}
