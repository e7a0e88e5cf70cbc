#include "status/status_summary.h"

#include "common/heap_text.h"
#include "common/heap_text_posix.h"

#include <arpa/inet.h>
#include <libmnl/libmnl.h>
#include <linux/if_addr.h>
#include <linux/if_link.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {
// Bounds on one dump: no system has this many rows or answer batches.
const uint32_t max_rows = 1u << 16;
const int max_batches = 1 << 16;
// Large enough for the biggest batch the kernel sends to a dump.
const size_t dump_buffer_size = 32768;

// Rows collected from a dump, grown as the answers arrive.
struct RowBuffer {
    char* data;
    size_t row_size;
    uint32_t count;
    uint32_t capacity;
};

void* next_row(RowBuffer* rows)
{
    if (rows->count == rows->capacity) {
        uint32_t capacity = rows->capacity == 0 ? 16 : rows->capacity * 2;
        if (capacity > max_rows) {
            return nullptr;
        }
        char* grown = rows->data == nullptr ? alloc_text(capacity * rows->row_size)
                                            : realloc_text(rows->data, capacity * rows->row_size);
        if (grown == nullptr) {
            return nullptr;
        }
        rows->data = grown;
        rows->capacity = capacity;
    }
    return rows->data + rows->row_size * rows->count++;
}

// Sends one dump request of `type` with the family header `header` and feeds
// every answer to `callback`.  False when the dump cannot be had whole.
bool run_dump(uint16_t type, const void* header, size_t header_size, mnl_cb_t callback, RowBuffer* rows)
{
    mnl_socket* socket = mnl_socket_open2(NETLINK_ROUTE, SOCK_CLOEXEC);
    if (socket == nullptr) {
        return false;
    }
    char* buffer = alloc_text(dump_buffer_size);
    bool done = false;
    if (buffer != nullptr && mnl_socket_bind(socket, 0, MNL_SOCKET_AUTOPID) == 0) {
        nlmsghdr* request = mnl_nlmsg_put_header(buffer);
        request->nlmsg_type = type;
        request->nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
        request->nlmsg_seq = static_cast<uint32_t>(time(nullptr));
        memcpy(mnl_nlmsg_put_extra_header(request, header_size), header, header_size);
        const uint32_t seq = request->nlmsg_seq;
        const uint32_t port = mnl_socket_get_portid(socket);
        if (mnl_socket_sendto(socket, request, request->nlmsg_len) >= 0) {
            int result = MNL_CB_OK;
            for (int batch = 0; batch < max_batches && result == MNL_CB_OK; ++batch) {
                ssize_t length = mnl_socket_recvfrom(socket, buffer, dump_buffer_size);
                result = length <= 0 ? MNL_CB_ERROR
                                     : mnl_cb_run(buffer, static_cast<size_t>(length), seq, port, callback, rows);
            }
            done = result == MNL_CB_STOP;
        }
    }
    free_text(buffer);
    mnl_socket_close(socket);
    return done;
}

// Hands the collected rows over, or frees them when the dump failed or was empty.
void* finish_rows(RowBuffer* rows, bool done, uint32_t* count)
{
    if (!done || rows->count == 0) {
        free_text(rows->data);
        return nullptr;
    }
    *count = rows->count;
    return rows->data;
}

static_assert(IFA_MAX <= IFLA_MAX, "address attributes fit the table");

// Attributes of one answer by type, as far as `limit`; for mnl_attr_parse.
struct Attributes {
    const nlattr* by_type[IFLA_MAX + 1];
    uint16_t limit;
};

int keep_attribute(const nlattr* attribute, void* data)
{
    Attributes* attributes = static_cast<Attributes*>(data);
    uint16_t type = mnl_attr_get_type(attribute);
    if (type <= attributes->limit) {
        attributes->by_type[type] = attribute;
    }
    return MNL_CB_OK;
}

const nlattr* u32_attribute(const Attributes& attributes, uint16_t type)
{
    const nlattr* attribute = attributes.by_type[type];
    return attribute != nullptr && mnl_attr_validate(attribute, MNL_TYPE_U32) == 0 ? attribute : nullptr;
}

int address_row(const nlmsghdr* message, void* data)
{
    const ifaddrmsg* header = static_cast<const ifaddrmsg*>(mnl_nlmsg_get_payload(message));
    Attributes attributes = {{}, IFA_MAX};
    if (header->ifa_family != AF_INET
        || mnl_attr_parse(message, sizeof(ifaddrmsg), keep_attribute, &attributes) != MNL_CB_OK) {
        return MNL_CB_OK;
    }
    // IFA_ADDRESS is the peer's on a point-to-point link; IFA_LOCAL is ours.
    const nlattr* own = u32_attribute(attributes, IFA_LOCAL);
    if (own == nullptr) {
        own = u32_attribute(attributes, IFA_ADDRESS);
    }
    if (own == nullptr) {
        return MNL_CB_OK;
    }
    const nlattr* wide_flags = u32_attribute(attributes, IFA_FLAGS);
    uint32_t flags = wide_flags != nullptr ? mnl_attr_get_u32(wide_flags) : header->ifa_flags;
    AddressRow* row = static_cast<AddressRow*>(next_row(static_cast<RowBuffer*>(data)));
    if (row == nullptr) {
        return MNL_CB_ERROR;
    }
    row->address = mnl_attr_get_u32(own);
    row->if_index = header->ifa_index;
    row->flags = 0;
    if ((flags & IFA_F_SECONDARY) == 0) {
        row->flags |= ADDRESS_PRIMARY;
    }
    if ((flags & IFA_F_PERMANENT) == 0) {
        row->flags |= ADDRESS_DYNAMIC;
    }
    return MNL_CB_OK;
}

int interface_row(const nlmsghdr* message, void* data)
{
    const ifinfomsg* header = static_cast<const ifinfomsg*>(mnl_nlmsg_get_payload(message));
    Attributes attributes = {{}, IFLA_MAX};
    mnl_attr_parse(message, sizeof(ifinfomsg), keep_attribute, &attributes);
    InterfaceRow* row = static_cast<InterfaceRow*>(next_row(static_cast<RowBuffer*>(data)));
    if (row == nullptr) {
        return MNL_CB_ERROR;
    }
    row->if_index = static_cast<uint32_t>(header->ifi_index);
    const nlattr* stats = attributes.by_type[IFLA_STATS64];
    if (stats != nullptr && mnl_attr_get_payload_len(stats) >= sizeof(rtnl_link_stats64)) {
        rtnl_link_stats64 counts;
        memcpy(&counts, mnl_attr_get_payload(stats), sizeof counts);
        // Cut to 32 bits, so that the counters wrap as the Windows table's do.
        row->out_octets = static_cast<uint32_t>(counts.tx_bytes);
        row->in_octets = static_cast<uint32_t>(counts.rx_bytes);
    }
    return MNL_CB_OK;
}

int in_dotted_order(const void* a, const void* b)
{
    const AddressRow* left = static_cast<const AddressRow*>(a);
    const AddressRow* right = static_cast<const AddressRow*>(b);
    uint32_t l = ntohl(left->address);
    uint32_t r = ntohl(right->address);
    if (l != r) {
        return l < r ? -1 : 1;
    }
    return left->if_index < right->if_index ? -1 : left->if_index > right->if_index;
}
}  // namespace

AddressRow* read_address_rows(uint32_t* count)
{
    *count = 0;
    ifaddrmsg header = {};
    header.ifa_family = AF_INET;
    RowBuffer rows = {nullptr, sizeof(AddressRow), 0, 0};
    bool done = run_dump(RTM_GETADDR, &header, sizeof header, address_row, &rows);
    AddressRow* table = static_cast<AddressRow*>(finish_rows(&rows, done, count));
    if (table != nullptr) {
        qsort(table, *count, sizeof(AddressRow), in_dotted_order);
    }
    return table;
}

InterfaceRow* read_interface_rows(uint32_t* count)
{
    *count = 0;
    ifinfomsg header = {};
    header.ifi_family = AF_UNSPEC;
    RowBuffer rows = {nullptr, sizeof(InterfaceRow), 0, 0};
    bool done = run_dump(RTM_GETLINK, &header, sizeof header, interface_row, &rows);
    return static_cast<InterfaceRow*>(finish_rows(&rows, done, count));
}

void dotted_address(uint32_t address, char* text)
{
    in_addr value;
    value.s_addr = address;
    inet_ntop(AF_INET, &value, text, 16);
}
