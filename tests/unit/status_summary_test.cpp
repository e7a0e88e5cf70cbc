#include "common/heap_text.h"
#include "status/status_summary.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
const uint32_t both = ADDRESS_PRIMARY | ADDRESS_DYNAMIC;

const auto ip = inet_addr;

// Index 2 appears twice: the first matching interface row wins.
const std::vector<InterfaceRow> interfaces = {{1, 100, 101}, {2, 200, 201}, {3, 300, 301}, {2, 9, 9}};

void fake_octets(uint32_t index, uint32_t* sent, uint32_t* received)
{
    find_octets(interfaces.data(), static_cast<uint32_t>(interfaces.size()), index, sent, received);
}

std::string composed(uint32_t local, uint32_t sent, uint32_t received, uint32_t external)
{
    char* text = compose_status_text(local, sent, received, external);
    std::string result = text;
    free_text(text);
    return result;
}

// The row chosen among `rows`: its address, then its interface's sent/received counts.
std::string chosen(const std::vector<AddressRow>& rows)
{
    uint32_t address = 1, sent = 1, received = 1;
    choose_address_row(rows.data(), static_cast<uint32_t>(rows.size()), fake_octets, &address, &sent, &received);
    return std::string(inet_ntoa(in_addr{address})) + " " + std::to_string(sent) + "/" + std::to_string(received);
}
}  // namespace

TEST(RowChoice, TheFirstPrimaryDynamicRowElseTheLastUsableOne)
{
    EXPECT_EQ(chosen({{ip("0.0.0.0"), 1, both}, {ip("127.0.0.1"), 1, both}}), "0.0.0.0 0/0");
    EXPECT_EQ(chosen({{ip("10.0.0.5"), 1, ADDRESS_PRIMARY}, {ip("10.0.0.9"), 2, 0}}), "10.0.0.9 200/201");
    EXPECT_EQ(chosen({{ip("10.0.0.5"), 1, both}, {ip("10.0.0.9"), 2, both}}), "10.0.0.5 100/101");
    EXPECT_EQ(chosen({{ip("10.0.0.5"), 1, 0}, {ip("10.0.0.9"), 7, 0}}), "10.0.0.9 0/0");  // no such interface
}

// 0.0.0.0 is no usable row, never a private one.
TEST(StatusText, PrivateAddressesGiveWayToAKnownExternalOne)
{
    const uint32_t external = ip("198.51.100.1");
    EXPECT_EQ(composed(ip("255.255.255.255"), 4294967295u, 1500, external),
              "IP: 255.255.255.255\nSend: 4 294 967 295\nRecv: 1 500");  // the longest address and count
    EXPECT_EQ(composed(ip("192.168.1.10"), 999, 100000, 0), "IP: 192.168.1.10\nSend: 999\nRecv: 100 000");
    for (const char* replaced : {"10.255.255.255", "172.16.0.0", "172.31.255.255", "192.168.0.0"}) {
        EXPECT_EQ(composed(ip(replaced), 0, 0, external), "IP: 198.51.100.1\nSend: 0\nRecv: 0") << replaced;
    }
    for (const char* kept : {"172.15.255.255", "172.32.0.0", "192.169.0.1", "11.0.0.1", "0.0.0.0"}) {
        EXPECT_EQ(composed(ip(kept), 0, 0, external), std::string("IP: ") + kept + "\nSend: 0\nRecv: 0");
    }
}
