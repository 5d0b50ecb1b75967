// SPDX-License-Identifier: MIT
// Loading and saving the window's settings through the registry store.
#include "app/registrystore.h"
#include "app/settings.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

namespace fs = std::filesystem;
using testutil::readFile;
using testutil::writeFile;

namespace {

class SettingsTest : public ::testing::Test {
protected:
    testutil::TempDir dir;
    testutil::ScopedEnv env{"BRIMVALE_REGISTRY_DIR", dir.str()};
    std::string hivePath = dir / "HKEY_LOCAL_MACHINE.reg";

    void TearDown() override { platform::SetHiveWritableCheck({}); }

    // Writes a hive holding exactly these lines under the settings key.
    void storeHive(const std::string& values) {
        writeFile(hivePath, "REGEDIT4\n\n[Software\\Brimvale]\n" + values);
    }
    static CRegistryStore& open(CRegistryStore& store) {
        store.SetRoot(HKEY_LOCAL_MACHINE);
        EXPECT_TRUE(store.SetKey(kSettingsKey, false));
        return store;
    }
    static std::string intLine(const char* name, std::uint32_t v) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "\"%s\"=hex:%02x,%02x,%02x,%02x\n", name, v & 0xff, (v >> 8) & 0xff,
                      (v >> 16) & 0xff, v >> 24);
        return buf;
    }
};

} // namespace

TEST_F(SettingsTest, FirstRunUsesDefaultsAndTheFirstCloseWritesEverything) {
    BrimvaleSettings s;
    EXPECT_FALSE(LoadSettings(s));
    EXPECT_EQ(s.m_nSizeChoice, 4);
    EXPECT_EQ(s.m_nQuality, 75);
    EXPECT_TRUE(s.m_bSettingsChanged);
    EXPECT_TRUE(s.m_astrDestinations.empty());

    ASSERT_TRUE(SaveSettings(s));
    // The whole hive, in write order: integers as 4 little-endian bytes, no CustomSize,
    // and an empty Destination0 because no folder was ever set.
    EXPECT_EQ(readFile(hivePath),
              "REGEDIT4\n\n[Software]\n\n[Software\\Brimvale]\n"
              "\"Quality\"=hex:4b,00,00,00\n"
              "\"Size\"=hex:04,00,00,00\n"
              "\"SaveType\"=hex:00,00,00,00\n"
              "\"DefaultQuality\"=hex:01,00,00,00\n"
              "\"DefaultSize\"=hex:01,00,00,00\n"
              "\"UseSourceFolder\"=hex:00,00,00,00\n"
              "\"AutoUpdate\"=hex:00,00,00,00\n"
              "\"Destination0\"=\"\"\n");

    BrimvaleSettings again;
    EXPECT_TRUE(LoadSettings(again));
    EXPECT_EQ(again.m_nQuality, 75);
    EXPECT_EQ(again.m_nSizeChoice, 4);
    EXPECT_FALSE(again.m_bSettingsChanged);
    EXPECT_EQ(again.m_astrDestinations, std::vector<std::string>{""});
}

TEST_F(SettingsTest, StoredValuesAreReadWithTheirCorrections) {
    struct Row {
        std::string stored;
        std::int32_t quality, size, saveType;
        bool autoUpdate, lastQualityIsDefault, lastSizeIsDefault;
    };
    const std::vector<Row> rows = {
        {intLine("Quality", 80) + intLine("Size", 2) + intLine("SaveType", 3) + intLine("AutoUpdate", 5), 80, 2, 3, true, true, true},
        {intLine("Quality", 150) + intLine("Size", 12) + intLine("SaveType", 7), 75, 4, 0, false, true, true},
        {intLine("Quality", 100) + intLine("Size", 9) + intLine("SaveType", 4), 100, 9, 4, false, true, true},
        {intLine("Quality", 1) + intLine("Size", 0) + intLine("SaveType", 0xffffffffu), 1, 0, 0, false, true, true},
        {intLine("Quality", 0) + intLine("Size", 0xffffffffu), 75, 4, 0, false, true, true},
        {intLine("Quality", 0xfffffffbu) + intLine("DefaultQuality", 0) + intLine("DefaultSize", 2), 75, 4, 0, false, false, true},
        // Values of the wrong size take their defaults.
        {"\"Quality\"=hex:32,00\n\"Size\"=hex:01,00,00,00,00\n\"DefaultSize\"=\"0\"\n", 75, 4, 0, false, true, true},
        {"\"Quality\"=dword:00000032\n" + intLine("DefaultSize", 0), 50, 4, 0, false, true, false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.stored);
        storeHive(r.stored);
        BrimvaleSettings s;
        ASSERT_TRUE(LoadSettings(s));
        EXPECT_EQ(s.m_nQuality, r.quality);
        EXPECT_EQ(s.m_nDefaultQuality, r.quality);
        EXPECT_EQ(s.m_nSizeChoice, r.size);
        EXPECT_EQ(s.m_nDefaultSizeChoice, r.size);
        EXPECT_EQ(s.m_nSaveType, r.saveType);
        EXPECT_EQ(s.m_bAutoUpdate, r.autoUpdate);
        EXPECT_EQ(s.m_bLastQualityIsDefault, r.lastQualityIsDefault);
        EXPECT_EQ(s.m_bLastSizeIsDefault, r.lastSizeIsDefault);
        EXPECT_FALSE(s.m_bSettingsChanged);
    }
}

TEST_F(SettingsTest, CustomPercentAndDimensionsRoundTrip) {
    // A custom percent is kept for the next run.
    BrimvaleSettings s;
    LoadSettings(s);
    s.m_nSizeChoice = 6;
    s.m_dCustomScale = 0.33;
    ASSERT_TRUE(SaveSettings(s));
    EXPECT_NE(readFile(hivePath).find("\"CustomSize\"=hex:1f,85,eb,51,b8,1e,d5,3f\n"), std::string::npos);
    BrimvaleSettings back;
    LoadSettings(back);
    EXPECT_EQ(back.m_nSizeChoice, 6);
    EXPECT_EQ(back.m_dCustomScale, 0.33);

    // Fractions that give no picture size read as 100 %.
    for (const char* bad : {"00,00,00,00,00,00,f8,7f", "00,00,00,00,00,00,00,00", "00,00,00,00,00,00,00,40",
                            "00,00,00,00,00,00,f0,bf", "00,00"}) {
        storeHive(intLine("Size", 6) + "\"CustomSize\"=hex:" + bad + "\n");
        BrimvaleSettings t;
        LoadSettings(t);
        EXPECT_EQ(t.m_dCustomScale, 1.0) << bad;
    }

    // Dimensions come from the edits when the size in use becomes the default; an edit
    // without a number keeps the member's value.
    struct Row {
        bool lastSizeIsDefault;
        std::optional<std::string> width, height;
        std::int32_t storedWidth, storedHeight;
    };
    const std::vector<Row> rows = {
        {true, "640", "480", 640, 480},
        {true, "  12px", "+7", 12, 7},
        {true, "", "abc", 1111, 2222},
        {true, std::nullopt, "-3", 1111, -3},
        {false, "640", "480", 1111, 2222},
    };
    for (const auto& r : rows) {
        BrimvaleSettings d;
        d.m_nSizeChoice = 7;
        d.m_bLastSizeIsDefault = r.lastSizeIsDefault;
        d.m_nDefaultSizeChoice = 7;
        d.m_nCustomWidth = 1111;
        d.m_nCustomHeight = 2222;
        ASSERT_TRUE(SaveSettings(d, r.width, r.height));
        BrimvaleSettings loaded;
        LoadSettings(loaded);
        EXPECT_EQ(loaded.m_nCustomWidth, r.storedWidth) << r.width.value_or("(none)");
        EXPECT_EQ(loaded.m_nCustomHeight, r.storedHeight) << r.height.value_or("(none)");
    }
    // With no stored dimensions, size 7 reads the defaults.
    storeHive(intLine("Size", 7));
    BrimvaleSettings fresh;
    LoadSettings(fresh);
    EXPECT_EQ(fresh.m_nCustomWidth, 2000);
    EXPECT_EQ(fresh.m_nCustomHeight, 1300);
}

TEST_F(SettingsTest, DestinationHistoryStopsAtTheFirstGap) {
    storeHive("\"Destination0\"=\"/a\"\n\"Destination1\"=\"/b\"\n\"Destination3\"=\"/d\"\n");
    BrimvaleSettings s;
    ASSERT_TRUE(LoadSettings(s));
    EXPECT_EQ(s.m_astrDestinations, (std::vector<std::string>{"/a", "/b"}));
    EXPECT_EQ(s.m_strDestination, "/a");

    // Closing without a new folder rewrites two entries and stops deleting at the gap.
    BrimvaleSettings same = s;
    ASSERT_TRUE(SaveSettings(same));
    CRegistryStore store;
    open(store);
    EXPECT_EQ(store.ReadString("Destination0", "?"), "/a");
    EXPECT_EQ(store.ReadString("Destination1", "?"), "/b");
    EXPECT_EQ(store.GetValueType("Destination2"), 0u);
    EXPECT_EQ(store.ReadString("Destination3", "?"), "/d");

    // A new folder makes three entries, and the old third one goes.
    BrimvaleSettings moved = s;
    moved.m_strDestination = "/c";
    ASSERT_TRUE(SaveSettings(moved));
    EXPECT_EQ(moved.m_astrDestinations, (std::vector<std::string>{"/c", "/a", "/b"}));
    BrimvaleSettings back;
    LoadSettings(back);
    EXPECT_EQ(back.m_astrDestinations, (std::vector<std::string>{"/c", "/a", "/b"}));
    EXPECT_EQ(store.GetValueType("Destination3"), 0u);

    // An entry that differs only in case is a different folder.
    back.m_strDestination = "/A";
    ASSERT_TRUE(SaveSettings(back));
    BrimvaleSettings cased;
    LoadSettings(cased);
    EXPECT_EQ(cased.m_astrDestinations, (std::vector<std::string>{"/A", "/c", "/a", "/b"}));

    // An existing entry is not moved to the front.
    cased.m_strDestination = "/a";
    ASSERT_TRUE(SaveSettings(cased));
    EXPECT_EQ(cased.m_astrDestinations, (std::vector<std::string>{"/A", "/c", "/a", "/b"}));
}

TEST_F(SettingsTest, OverlongDestinationIsSkippedAndTheRestNumberedWithoutAGap) {
    const std::string longest(254, 'x'), tooLong(255, 'y');
    BrimvaleSettings s;
    s.m_strDestination = "/first";
    s.m_astrDestinations = {"/first", tooLong, "/" + longest.substr(1)};
    ASSERT_TRUE(SaveSettings(s));
    CRegistryStore store;
    open(store);
    EXPECT_EQ(store.ReadString("Destination0", "?"), "/first");
    EXPECT_EQ(store.ReadString("Destination1", "?"), "/" + longest.substr(1));
    EXPECT_EQ(store.GetValueType("Destination2"), 0u);
    BrimvaleSettings next;
    LoadSettings(next);
    EXPECT_EQ(next.m_astrDestinations, (std::vector<std::string>{"/first", "/" + longest.substr(1)}))
        << "no entry after the long one is lost";
    EXPECT_FALSE(store.WriteString("Direct", tooLong));
    EXPECT_TRUE(store.WriteString("Direct", longest));
    EXPECT_EQ(store.ReadString("Direct", "?"), longest);

    // A stored destination that is too long for the buffer, or is no string, reads as an
    // empty entry and keeps its place.
    storeHive("\"Destination0\"=\"" + std::string(300, 'z') + "\"\n\"Destination1\"=hex:41,00\n\"Destination2\"=\"/ok\"\n");
    BrimvaleSettings loaded;
    LoadSettings(loaded);
    EXPECT_EQ(loaded.m_astrDestinations, (std::vector<std::string>{"", "", "/ok"}));
}

TEST_F(SettingsTest, ReadOnlyHiveGivesDefaultsAndWritesNothing) {
    storeHive(intLine("Quality", 90) + intLine("Size", 1));
    const std::string before = readFile(hivePath);
    writeFile(hivePath + ".readonly", "");
    BrimvaleSettings s;
    EXPECT_FALSE(LoadSettings(s));
    EXPECT_EQ(s.m_nQuality, 75);
    EXPECT_EQ(s.m_nSizeChoice, 4);
    EXPECT_TRUE(s.m_bSettingsChanged);
    s.m_nQuality = 30;
    EXPECT_FALSE(SaveSettings(s));
    EXPECT_EQ(readFile(hivePath), before);

    fs::remove(hivePath + ".readonly");
    BrimvaleSettings writable;
    EXPECT_TRUE(LoadSettings(writable));
    EXPECT_EQ(writable.m_nQuality, 90);
}

TEST_F(SettingsTest, CorruptHiveIsKeptAsideAndDefaultsApply) {
    writeFile(hivePath, "REGEDIT4\n[Software\\Brimvale]\n\"Quality\"=hex:5a,00,0");
    BrimvaleSettings s;
    EXPECT_FALSE(LoadSettings(s));
    EXPECT_TRUE(s.m_bSettingsChanged);
    EXPECT_EQ(readFile(hivePath + ".corrupt"), "REGEDIT4\n[Software\\Brimvale]\n\"Quality\"=hex:5a,00,0");
    ASSERT_TRUE(SaveSettings(s));
    BrimvaleSettings back;
    EXPECT_TRUE(LoadSettings(back));
}

TEST_F(SettingsTest, TwoWritersInARowKeepEachOthersValues) {
    BrimvaleSettings first;
    LoadSettings(first);
    first.m_strDestination = "/from/first";
    ASSERT_TRUE(SaveSettings(first));

    // A second copy of the program, or any other writer, adds a value of its own.
    CRegistryStore other;
    open(other);
    ASSERT_TRUE(other.WriteInt("OtherValue", 42));

    BrimvaleSettings second;
    LoadSettings(second);
    second.m_nQuality = 90;
    second.m_strDestination = "/from/second";
    ASSERT_TRUE(SaveSettings(second));

    CRegistryStore check;
    open(check);
    EXPECT_EQ(check.ReadInt("OtherValue", 0), 42);
    EXPECT_EQ(check.ReadInt("Quality", 0), 90);
    EXPECT_EQ(check.ReadString("Destination0", "?"), "/from/second");
    EXPECT_EQ(check.ReadString("Destination1", "?"), "/from/first");
}

TEST(RegistryStore, KeyPathOnlyChangesOnSuccess) {
    testutil::TempDir dir;
    testutil::ScopedEnv env("BRIMVALE_REGISTRY_DIR", dir.str());
    CRegistryStore store;
    EXPECT_EQ(store.GetRoot(), HKEY_CURRENT_USER);
    store.SetRoot(HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(store.SetKey("Software\\Missing", false));
    EXPECT_EQ(store.GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(store.GetKey(), "");
    EXPECT_TRUE(store.SetKey("Software\\Brimvale", true));
    EXPECT_EQ(store.GetKey(), "Software\\Brimvale");
    EXPECT_FALSE(store.SetKey("Software\\Missing", false));
    EXPECT_EQ(store.GetKey(), "Software\\Brimvale");
    EXPECT_TRUE(store.SetKey("", false));
    EXPECT_EQ(store.GetKey(), "");

    store.SetKey("Software\\Brimvale", false);
    EXPECT_EQ(store.ReadInt("Missing", -9), -9);
    EXPECT_TRUE(store.WriteInt("Negative", -2));
    EXPECT_EQ(store.ReadInt("Negative", 0), -2);
    EXPECT_EQ(store.GetValueType("Negative"), REG_BINARY);
    EXPECT_TRUE(store.WriteDouble("Half", 0.5));
    EXPECT_EQ(store.ReadDouble("Half", 0), 0.5);
    EXPECT_EQ(store.ReadDouble("Negative", 7.0), 7.0); // 4 bytes are no double
    EXPECT_EQ(store.ReadString("Negative", "def"), "def");
}
