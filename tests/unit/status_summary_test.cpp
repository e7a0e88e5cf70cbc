#include "common/heap_text.h"
#include "common/heap_text_posix.h"
#include "status/status_summary.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
const uint32_t both = ADDRESS_PRIMARY | ADDRESS_DYNAMIC;

uint32_t ip(const char* dotted)
{
    return inet_addr(dotted);
}

// The interface table the fake counter source answers from, and the indices it was asked for.
std::vector<InterfaceRow> interfaces;
std::vector<uint32_t> asked;

void fake_octets(uint32_t index, uint32_t* sent, uint32_t* received)
{
    asked.push_back(index);
    find_octets(interfaces.data(), static_cast<uint32_t>(interfaces.size()), index, sent, received);
}

struct Choice {
    uint32_t address;
    uint32_t sent;
    uint32_t received;
};

Choice choose(const std::vector<AddressRow>& rows)
{
    asked.clear();
    Choice choice = {1, 1, 1};
    choose_address_row(rows.data(), static_cast<uint32_t>(rows.size()), fake_octets,
                       &choice.address, &choice.sent, &choice.received);
    return choice;
}

std::string grouped(uint32_t value)
{
    char* text = format_grouped(value);
    std::string result = text;
    EXPECT_EQ(text_capacity(text), 17u);
    free_text(text);
    return result;
}

std::string composed(uint32_t local, uint32_t sent, uint32_t received, uint32_t external)
{
    char* text = compose_status_text(local, sent, received, external);
    std::string result = text;
    EXPECT_EQ(text_capacity(text), 65u);
    free_text(text);
    return result;
}

std::string shown_address(const char* local, uint32_t external)
{
    std::string text = composed(ip(local), 0, 0, external);
    return text.substr(4, text.find('\n') - 4);
}

class RowChoice : public ::testing::Test {
protected:
    void SetUp() override
    {
        interfaces = {{1, 100, 101}, {2, 200, 201}, {3, 300, 301}};
    }
};
}  // namespace

TEST_F(RowChoice, OnlyUnspecifiedAndLoopbackChoosesNothing)
{
    Choice c = choose({{ip("0.0.0.0"), 1, both}, {ip("127.0.0.1"), 1, both}});
    EXPECT_EQ(c.address, 0u);
    EXPECT_EQ(c.sent, 0u);
    EXPECT_EQ(c.received, 0u);
    EXPECT_TRUE(asked.empty());
    EXPECT_EQ(composed(c.address, c.sent, c.received, ip("198.51.100.1")), "IP: 0.0.0.0\nSend: 0\nRecv: 0");
    choose_address_row(nullptr, 0, fake_octets, &c.address, &c.sent, &c.received);
    EXPECT_EQ(c.address, 0u);
}

TEST_F(RowChoice, WithoutBothFlagsTheLastRowWinsWithItsOwnCounters)
{
    Choice c = choose({{ip("10.0.0.5"), 1, ADDRESS_PRIMARY}, {ip("10.0.0.9"), 2, 0}});
    EXPECT_EQ(c.address, ip("10.0.0.9"));
    EXPECT_EQ(c.sent, 200u);
    EXPECT_EQ(c.received, 201u);
    EXPECT_EQ(asked, (std::vector<uint32_t>{1, 2}));

    c = choose({{ip("10.0.0.5"), 1, ADDRESS_PRIMARY}, {ip("10.0.0.9"), 2, ADDRESS_DYNAMIC}});
    EXPECT_EQ(c.address, ip("10.0.0.9"));
    EXPECT_EQ(c.sent, 200u);
}

TEST_F(RowChoice, FirstRowWithBothFlagsStopsTheScan)
{
    Choice c = choose({{ip("10.0.0.5"), 1, both}, {ip("10.0.0.9"), 2, both}, {ip("10.0.0.10"), 3, 0}});
    EXPECT_EQ(c.address, ip("10.0.0.5"));
    EXPECT_EQ(c.sent, 100u);
    EXPECT_EQ(c.received, 101u);
    EXPECT_EQ(asked, (std::vector<uint32_t>{1}));  // B's counters are never fetched

    // Flags beyond the two do not matter; skipped rows are not asked about.
    c = choose({{ip("0.0.0.0"), 9, 0}, {ip("10.0.0.1"), 3, 0}, {ip("127.0.0.1"), 9, both},
                {ip("10.0.0.7"), 2, both | 0x80}, {ip("10.0.0.8"), 1, both}});
    EXPECT_EQ(c.address, ip("10.0.0.7"));
    EXPECT_EQ(asked, (std::vector<uint32_t>{3, 2}));
}

TEST_F(RowChoice, OnlyExactly127001IsSkipped)
{
    Choice c = choose({{ip("127.0.0.1"), 1, both}, {ip("127.0.0.2"), 3, 0}});
    EXPECT_EQ(c.address, ip("127.0.0.2"));
    EXPECT_EQ(c.sent, 300u);
}

TEST_F(RowChoice, CountersOfAMissingOrRepeatedInterface)
{
    Choice c = choose({{ip("10.0.0.5"), 1, 0}, {ip("10.0.0.9"), 7, 0}});
    EXPECT_EQ(c.address, ip("10.0.0.9"));  // the earlier row's counters do not linger
    EXPECT_EQ(c.sent, 0u);
    EXPECT_EQ(c.received, 0u);
    EXPECT_EQ(composed(c.address, c.sent, c.received, 0), "IP: 10.0.0.9\nSend: 0\nRecv: 0");

    interfaces = {{4, 1, 2}, {2, 200, 201}, {2, 9, 9}};
    c = choose({{ip("192.168.1.10"), 2, both}});
    EXPECT_EQ(c.sent, 200u);
    EXPECT_EQ(c.received, 201u);

    uint32_t sent = 5;
    uint32_t received = 5;
    find_octets(nullptr, 0, 2, &sent, &received);
    EXPECT_EQ(sent + received, 0u);
}

TEST(FormatGrouped, GroupsOfThreeFromTheRight)
{
    EXPECT_EQ(grouped(0), "0");
    EXPECT_EQ(grouped(7), "7");
    EXPECT_EQ(grouped(999), "999");
    EXPECT_EQ(grouped(1000), "1 000");
    EXPECT_EQ(grouped(100000), "100 000");
    EXPECT_EQ(grouped(123456), "123 456");
    EXPECT_EQ(grouped(1234567), "1 234 567");
    EXPECT_EQ(grouped(4294967295u), "4 294 967 295");
}

TEST(StatusText, PrivateAddressesGiveWayToAKnownExternalOne)
{
    const uint32_t external = ip("198.51.100.1");
    EXPECT_EQ(composed(ip("10.1.2.3"), 1500, 2000000, external),
              "IP: 198.51.100.1\nSend: 1 500\nRecv: 2 000 000");
    EXPECT_EQ(shown_address("192.168.1.10", 0), "192.168.1.10");
    for (const char* replaced : {"10.0.0.0", "10.255.255.255", "172.16.0.0", "172.31.255.255",
                                 "192.168.0.0", "192.168.255.255"}) {
        EXPECT_EQ(shown_address(replaced, external), "198.51.100.1") << replaced;
    }
    for (const char* kept : {"172.15.255.255", "172.32.0.0", "192.169.0.1", "192.167.255.255",
                             "11.0.0.1", "9.255.255.255", "169.254.1.1", "100.64.0.1", "127.0.0.2"}) {
        EXPECT_EQ(shown_address(kept, external), kept);
    }
}

TEST(StatusText, TheLongestTextHas59Characters)
{
    std::string text = composed(ip("255.255.255.255"), 4294967295u, 4294967295u, ip("198.51.100.1"));
    EXPECT_EQ(text, "IP: 255.255.255.255\nSend: 4 294 967 295\nRecv: 4 294 967 295");
    EXPECT_EQ(text.size(), 59u);
}
