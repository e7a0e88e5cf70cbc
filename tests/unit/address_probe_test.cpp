#include "status/address_probe.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {
typedef std::vector<uint8_t> Bytes;
const Bytes filled_route = {7, 7, 8, 198, 51, 100, 1, 0};
const uint32_t router = inet_addr("198.51.100.1");

uint32_t recorded(const Bytes& options)
{
    return first_recorded_address(options.data(), options.size());
}

Bytes ip_packet(const Bytes& options, uint8_t type)
{
    Bytes packet(20, 0);
    packet[0] = static_cast<uint8_t>(0x40 | (20 + options.size()) / 4);
    packet[9] = 1;
    packet.insert(packet.end(), options.begin(), options.end());
    Bytes echo = {type, 0, 0, 0, 0x12, 0x34, 0, 1};
    packet.insert(packet.end(), echo.begin(), echo.end());
    return packet;
}
}  // namespace

TEST(RecordRoute, FirstRecordedAddressAmongTheOptions)
{
    EXPECT_EQ(recorded(filled_route), router);
    EXPECT_EQ(recorded({1, 1, 7, 7, 8, 198, 51, 100, 1, 0}), router);        // behind NOPs
    EXPECT_EQ(recorded({68, 4, 5, 0, 7, 7, 8, 198, 51, 100, 1, 0}), router);  // behind a timestamp
    EXPECT_EQ(recorded({7, 11, 12, 198, 51, 100, 1, 10, 0, 0, 2, 0}), router);  // two slots
    EXPECT_EQ(recorded({7, 7, 4, 0, 0, 0, 0, 0}), 0u);  // the slot stayed empty
    EXPECT_EQ(recorded({0, 7, 7, 8, 198, 51, 100, 1}), 0u);  // after End of Option List
    EXPECT_EQ(recorded({7, 6, 8, 198, 51, 100}), 0u);        // no room for a slot
    EXPECT_EQ(recorded({7, 9, 8, 198, 51, 100, 1}), 0u);     // longer than the area
    EXPECT_EQ(recorded({68, 0, 7, 7, 8, 198, 51, 100, 1}), 0u);  // a zero length ends the walk
    EXPECT_EQ(recorded({68}), 0u);
    EXPECT_EQ(recorded({}), 0u);
}

TEST(RecordRoute, ThirtyTwoBitReplyAreaReadsBytes31To34)
{
    // The 28-byte record, then the options the reply brought back.
    uint8_t area[reply_area_size_32] = {};
    EXPECT_EQ(slot_in_reply_area(area, sizeof area, echo_reply_record_size_32), 0u);  // options stripped
    memcpy(area + echo_reply_record_size_32, filled_route.data(), 7);
    EXPECT_EQ(slot_in_reply_area(area, sizeof area, echo_reply_record_size_32), router);
    // A pointer whose slot would end outside the area reads nothing.
    memset(area, 0xEE, sizeof area);
    EXPECT_EQ(slot_in_reply_area(area, sizeof area, reply_area_size_32 - 6), 0u);
    EXPECT_EQ(slot_in_reply_area(area, sizeof area, 4096), 0u);
    EXPECT_NE(slot_in_reply_area(area, sizeof area, reply_area_size_32 - 7), 0u);
}

TEST(EchoPacket, OnlyEchoRepliesCount)
{
    const Bytes good = ip_packet(filled_route, 0);
    Bytes not_icmp = good;
    not_icmp[9] = 17;
    // A 16-byte header length, and bytes that read as our echo reply at that offset.
    Bytes short_header = ip_packet({0x12, 0x34, 0, 0}, 0);
    short_header[0] = 0x44;
    const struct {
        const char* name;
        Bytes packet;
        int result;
        uint32_t address;
    } cases[] = {
        {"ours", good, 1, router},
        {"options stripped", ip_packet({}, 0), 1, 0},
        {"a request", ip_packet(filled_route, 8), 0, 0},
        {"truncated", Bytes(good.begin(), good.end() - 1), 0, 0},
        {"not icmp", not_icmp, 0, 0},
        {"header under 20 bytes", short_header, 0, 0},
        {"runt", Bytes(10, 0), 0, 0},
    };
    for (const auto& c : cases) {
        uint32_t address = 7;
        EXPECT_EQ(read_echo_reply(c.packet.data(), c.packet.size(), &address), c.result) << c.name;
        EXPECT_EQ(address, c.address) << c.name;
    }
}
