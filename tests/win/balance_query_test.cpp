// query_balance through Wine's WinINet against the billing simulator on
// 127.0.0.1, the API host of test builds.  The information box is read and
// closed by a watcher thread.
#include "account/balance_query.h"
#include "billing_sim_win.h"
#include "common/app_state.h"
#include "common/heap_text.h"
#include "common/texts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {
const char contract[] = "1234567";
const char pass_hash[] = "Zq9xWm4T%2BkLp7Rv3Ns8Yb6Hc1Jd0Fg5Qe2Ua9Xi%3D";

struct BoxWatch {
    volatile LONG stop;
    bool seen;
    std::string text;
};

BOOL CALLBACK find_own_box(HWND window, LPARAM found)
{
    char class_name[16] = "";
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    GetClassNameA(window, class_name, sizeof class_name);
    if (process == GetCurrentProcessId() && strcmp(class_name, "#32770") == 0 && IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI watch_box(void* context)
{
    BoxWatch* watch = static_cast<BoxWatch*>(context);
    for (int i = 0; i < 300 && watch->stop == 0; ++i) {
        HWND box = nullptr;
        EnumWindows(find_own_box, reinterpret_cast<LPARAM>(&box));
        if (box != nullptr) {
            char text[4096] = "";
            GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
            watch->text = text;
            watch->seen = true;
            PostMessageA(box, WM_COMMAND, IDOK, 0);
            return 0;
        }
        Sleep(100);
    }
    return 0;
}

// Runs query_balance (or, given a working buffer, query_balance_in) with the
// given credentials while a watcher answers the box.
int query(const char* contract_number, const char* hash, BoxWatch* watch, char* work = nullptr)
{
    lstrcpynA(app_state.credentials.contract_number, contract_number, sizeof app_state.credentials.contract_number);
    lstrcpynA(app_state.credentials.pass_hash, hash, sizeof app_state.credentials.pass_hash);
    watch->stop = 0;
    watch->seen = false;
    HANDLE thread = CreateThread(nullptr, 0, watch_box, watch, 0, nullptr);
    int code = work != nullptr ? query_balance_in(nullptr, work) : query_balance(nullptr);
    InterlockedExchange(&watch->stop, 1);
    WaitForSingleObject(thread, 35000);
    CloseHandle(thread);
    return code;
}

int count_of(const std::string& text, const std::string& part)
{
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

class BalanceQuery : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!sim_namespace()) {
            GTEST_SKIP() << "needs the test network namespace (TARVELON_TEST_NETNS=1)";
        }
        char* base = load_text(TEXT_API_URL);
        bool local = base != nullptr && strncmp(base, "https://127.0.0.1/", 18) == 0;
        free_text(base);
        if (!local) {
            GTEST_SKIP() << "text 7 does not address 127.0.0.1 in this build";
        }
    }
    void TearDown() override
    {
        if (started_) {
            sim_stop(sim_);
        }
    }
    void start(const char* name, const std::string& options)
    {
        sim_ = sim_start(name, "--address 127.0.0.1 --account " + std::string(contract) + ":" + pass_hash + " " +
                                   options);
        started_ = true;
        ASSERT_TRUE(sim_.ready) << "billing simulator did not start";
    }
    SimRun sim_;
    bool started_ = false;
    BoxWatch watch_ = {};
};

TEST_F(BalanceQuery, ShowsTheCyrillicBalanceInWindows1251)
{
    if (GetACP() != 1251) {
        GTEST_SKIP() << "needs the 1251 code page (LC_ALL=ru_RU.UTF-8)";
    }
    start("bq_shown", "--balance \"Сто двадцать\" --balance-info 31");
    EXPECT_EQ(0, query(contract, pass_hash, &watch_));
    ASSERT_TRUE(watch_.seen);
    // "Баланс (рублей): Сто двадцать\nДней абонентской платы (примерно): 31" in Windows-1251.
    const char expected[] =
        "\xc1\xe0\xeb\xe0\xed\xf1 (\xf0\xf3\xe1\xeb\xe5\xe9): \xd1\xf2\xee \xe4\xe2\xe0\xe4\xf6\xe0\xf2\xfc\n"
        "\xc4\xed\xe5\xe9 \xe0\xe1\xee\xed\xe5\xed\xf2\xf1\xea\xee\xe9 \xef\xeb\xe0\xf2\xfb "
        "(\xef\xf0\xe8\xec\xe5\xf0\xed\xee): 31";
    EXPECT_EQ(expected, watch_.text);

    std::string log = sim_log(sim_);
    EXPECT_EQ(1, count_of(log, std::string("\"request_line\": \"GET /user/v1/login?userName=") + contract +
                                   "&password=" + pass_hash + " HTTP/1.0\"")) << log;
    EXPECT_EQ(1, count_of(log, "\"request_line\": \"GET /user/v1/getDynamicInfo?token=7f3a9c2e51b04d68 HTTP/1.0\""))
        << log;
}

TEST_F(BalanceQuery, MissingElementsStillShowTheLiteralLines)
{
    start("bq_no_elements", "--fault no-elements");
    EXPECT_EQ(0, query(contract, pass_hash, &watch_));
    ASSERT_TRUE(watch_.seen);
    EXPECT_EQ(2, count_of(watch_.text, "): "));
    EXPECT_EQ(1, count_of(watch_.text, "\n"));
    EXPECT_EQ("): ", watch_.text.substr(watch_.text.size() - 3));
}

TEST_F(BalanceQuery, TokenGoesIntoTheSecondRequestAsItStands)
{
    start("bq_token", "--token a+b%20c");
    EXPECT_EQ(0, query(contract, pass_hash, &watch_));
    EXPECT_EQ(1, count_of(sim_log(sim_), "\"request_line\": \"GET /user/v1/getDynamicInfo?token=a+b%20c HTTP/1.0\""));
}

TEST_F(BalanceQuery, RejectedLoginIsCode1WithoutASecondRequest)
{
    start("bq_rejected", "");
    EXPECT_EQ(1, query(contract, "wrong", &watch_));
    EXPECT_FALSE(watch_.seen);
    std::string log = sim_log(sim_);
    EXPECT_EQ(1, count_of(log, "\"request_line\": \"GET /user/v1/login?"));
    EXPECT_EQ(0, count_of(log, "getDynamicInfo"));
}

TEST_F(BalanceQuery, InvalidCredentialsAreCode1WithoutTraffic)
{
    start("bq_invalid", "");
    EXPECT_EQ(1, query("12a4567", pass_hash, &watch_));
    EXPECT_EQ(1, query(contract, "", &watch_));
    EXPECT_EQ("", sim_log(sim_));
}

TEST_F(BalanceQuery, FailedConnectionsAreCode2)
{
    start("bq_untrusted", "--cert untrusted");
    EXPECT_EQ(2, query(contract, pass_hash, &watch_));
    TearDown();
    start("bq_dyn_failed", "--fault huge-length --fault-path getDynamicInfo");
    EXPECT_EQ(2, query(contract, pass_hash, &watch_));
    EXPECT_FALSE(watch_.seen);
}

TEST_F(BalanceQuery, RefusedSecureConnectionIsCode3)
{
    EXPECT_EQ(3, query(contract, pass_hash, &watch_));
}

// The working buffer held the login URL with the credentials, or the message:
// it is all zeros when the query returns.
TEST_F(BalanceQuery, WorkingBufferIsWiped)
{
    start("bq_wipe", "");
    char work[balance_work_size];
    for (const char* hash : {pass_hash, "wrong"}) {
        memset(work, 0x5a, sizeof work);
        int code = query(contract, hash, &watch_, work);
        EXPECT_EQ(hash == pass_hash ? 0 : 1, code);
        EXPECT_EQ(std::string(sizeof work, '\0'), std::string(work, sizeof work)) << hash;
    }
}
}  // namespace
