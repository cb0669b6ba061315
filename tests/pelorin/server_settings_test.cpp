// The DeviceRecord at the byte level: what is read at entry, the entry defaults, and what
// StoreToRecord writes (and that it writes nothing else).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "entry/device_record.h"
#include "entry/server_settings.h"

namespace {

using pelorin::DeviceRecord;
using pelorin::ServerSettings;

// A record inside a larger buffer filled with a pattern, as the host owns it.
struct PatternRecord {
    PatternRecord() : bytes(sizeof(DeviceRecord) + 64) {
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<unsigned char>(0xA7 + i * 13);
    }
    DeviceRecord& Record() { return *reinterpret_cast<DeviceRecord*>(bytes.data()); }
    std::vector<unsigned char> bytes;
};

bool PluginOwned(size_t offset) { return offset < 0x88 || (offset >= 0x8C && offset < 0xB4); }

ServerSettings Typical() {
    ServerSettings s;
    s.node = "PC1";
    s.server = "Sim.Server.1";
    s.group = "G";
    s.version = 1;
    s.refresh = 500;
    s.mode = 1;
    s.reconnect = 30;
    s.clsid = pelorin::kCatidOpcDaServer10;
    s.category = pelorin::kCatidOpcDaServer20;
    return s;
}

TEST(EntryDefaults, ReplaceOnlyValuesBelowTheirLimits) {
    struct Case {
        uint32_t refresh, reconnect;
        int32_t version;
        uint32_t refreshAfter, reconnectAfter;
        int32_t versionAfter;
    } cases[] = {
        {0, 5, 0, 100, 60, 2},         {9, 9, -3, 100, 60, 2},   {10, 10, 1, 10, 10, 1},
        {4294967295u, 0, 5, 4294967295u, 60, 5}, {1000001, 4294967295u, INT32_MIN, 1000001, 4294967295u, 2},
    };
    for (const Case& c : cases) {
        ServerSettings s;
        s.refresh = c.refresh;
        s.reconnect = c.reconnect;
        s.version = c.version;
        pelorin::ApplyEntryDefaults(s);
        EXPECT_EQ(c.refreshAfter, s.refresh) << c.refresh;
        EXPECT_EQ(c.reconnectAfter, s.reconnect) << c.reconnect;
        EXPECT_EQ(c.versionAfter, s.version) << c.version;
    }
    ServerSettings named;
    named.group = "Mine";
    pelorin::ApplyEntryDefaults(named);
    EXPECT_EQ("Mine", named.group);
    ServerSettings unnamed;
    pelorin::ApplyEntryDefaults(unnamed);
    EXPECT_EQ("Group1", unnamed.group);
}

TEST(ReadRecord, TextsStopAtTheirFieldEvenWithoutTerminator) {
    PatternRecord p;
    DeviceRecord& r = p.Record();
    std::memset(r.node, 'N', sizeof r.node);  // 32 bytes, no NUL: the server text follows
    std::memcpy(r.server, "Srv\0junk", 8);
    std::memset(r.group, 'G', sizeof r.group);
    const ServerSettings s = pelorin::ReadRecord(r);
    EXPECT_EQ(std::string(32, 'N'), s.node);
    EXPECT_EQ("Srv", s.server);
    EXPECT_EQ(std::string(16, 'G'), s.group);  // the version's bytes are not text
}

TEST(ReadRecord, IntegersAndClassIdComeFromTheirOffsets) {
    PatternRecord p;
    unsigned char* b = p.bytes.data();
    const int32_t version = -3;
    const uint32_t refresh = 4294967295u, reconnect = 7;
    const int32_t mode = 9;
    std::memcpy(b + 0x80, &version, 4);
    std::memcpy(b + 0x84, &refresh, 4);
    std::memcpy(b + 0x8C, &mode, 4);
    std::memcpy(b + 0x90, &reconnect, 4);
    std::memcpy(b + 0x94, &pelorin::kCatidOpcDaServer10, 16);
    const ServerSettings s = pelorin::ReadRecord(p.Record());
    EXPECT_EQ(-3, s.version);
    EXPECT_EQ(4294967295u, s.refresh);
    EXPECT_EQ(9, s.mode);
    EXPECT_EQ(7u, s.reconnect);
    EXPECT_TRUE(IsEqualGUID(pelorin::kCatidOpcDaServer10, s.clsid));
}

TEST(StoreToRecord, WritesEveryFieldAndNoOtherByte) {
    PatternRecord p;
    const std::vector<unsigned char> before = p.bytes;
    ASSERT_TRUE(pelorin::StoreToRecord(Typical(), p.Record()));
    const unsigned char* b = p.bytes.data();
    EXPECT_EQ(0, std::memcmp(b, "PC1", 4));
    EXPECT_EQ(0, std::memcmp(b + 0x20, "Sim.Server.1", 13));
    EXPECT_EQ(0, std::memcmp(b + 0x70, "G", 2));
    const unsigned char version[] = {1, 0, 0, 0}, refresh[] = {0xF4, 1, 0, 0}, mode[] = {1, 0, 0, 0},
                        reconnect[] = {30, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(b + 0x80, version, 4));
    EXPECT_EQ(0, std::memcmp(b + 0x84, refresh, 4));
    EXPECT_EQ(0, std::memcmp(b + 0x8C, mode, 4));
    EXPECT_EQ(0, std::memcmp(b + 0x90, reconnect, 4));
    EXPECT_EQ(0x30, b[0x94]);  // CATID_OPCDAServer10 as the CLSID here
    EXPECT_EQ(0x32, b[0xA4]);
    EXPECT_EQ(0xFB, b[0xB3]);
    for (size_t i = 0; i < p.bytes.size(); ++i) {
        const bool text = (i >= 4 && i < 0x20) || (i >= 0x2D && i < 0x70) || (i >= 0x72 && i < 0x80);
        if (!PluginOwned(i) || text) {  // bytes after a text's terminator stay as they were
            EXPECT_EQ(before[i], p.bytes[i]) << "offset " << i;
        }
    }
}

TEST(StoreToRecord, FullFieldsHaveNoTerminatorAndSpareTheirNeighbours) {
    PatternRecord p;
    ServerSettings s = Typical();
    s.node = std::string(32, 'n');
    s.server = std::string(80, 's');
    s.group = std::string(16, 'g');
    s.version = 2;
    ASSERT_TRUE(pelorin::StoreToRecord(s, p.Record()));
    EXPECT_EQ(std::string(32, 'n'), std::string(p.Record().node, 32));
    EXPECT_EQ(std::string(80, 's'), std::string(p.Record().server, 80));
    EXPECT_EQ(std::string(16, 'g'), std::string(p.Record().group, 16));
    EXPECT_EQ(2, p.Record().version);
    EXPECT_EQ(s.node, pelorin::ReadRecord(p.Record()).node);
}

TEST(StoreToRecord, RefusesTextsLongerThanTheirFieldAndWritesNothing) {
    for (int field = 0; field < 3; ++field) {
        PatternRecord p;
        const std::vector<unsigned char> before = p.bytes;
        ServerSettings s = Typical();
        (field == 0 ? s.node : field == 1 ? s.server : s.group) += std::string(100, 'x');
        EXPECT_FALSE(pelorin::StoreToRecord(s, p.Record()));
        EXPECT_EQ(before, p.bytes);
    }
}

TEST(StoreToRecord, PercentSignsAndDoubleByteTextsAreStoredAsTyped) {
    PatternRecord p;
    ServerSettings s = Typical();
    s.node = "PC%s%n";
    s.server = "\xCE\xC2\xB6\xC8.%d";  // two double-byte characters in code page 936
    ASSERT_TRUE(pelorin::StoreToRecord(s, p.Record()));
    EXPECT_STREQ("PC%s%n", p.Record().node);
    EXPECT_STREQ("\xCE\xC2\xB6\xC8.%d", p.Record().server);
}

}  // namespace
