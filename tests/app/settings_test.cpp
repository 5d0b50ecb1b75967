// SPDX-License-Identifier: MIT
// Loading and saving the window's settings through the registry store.
#include "app/registrystore.h"
#include "app/settings.h"
#include "temphive.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

namespace fs = std::filesystem;
using temphive::intValue;
using testutil::readFile;
using testutil::writeFile;

namespace {

class SettingsTest : public ::testing::Test, protected temphive::TempRegistry {
protected:
    static CRegistryStore& open(CRegistryStore& store) {
        store.SetRoot(HKEY_LOCAL_MACHINE);
        EXPECT_TRUE(store.SetKey(kSettingsKey, false));
        return store;
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
    EXPECT_EQ(hive(),
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
        {intValue("Quality", 80) + intValue("Size", 2) + intValue("SaveType", 3) + intValue("AutoUpdate", 5), 80, 2, 3, true, true, true},
        {intValue("Quality", 150) + intValue("Size", 12) + intValue("SaveType", 7), 75, 4, 0, false, true, true},
        {intValue("Quality", 100) + intValue("Size", 9) + intValue("SaveType", 4), 100, 9, 4, false, true, true},
        {intValue("Quality", 1) + intValue("Size", 0) + intValue("SaveType", 0xffffffffu), 1, 0, 0, false, true, true},
        {intValue("Quality", 0) + intValue("Size", 0xffffffffu), 75, 4, 0, false, true, true},
        {intValue("Quality", 0xfffffffbu) + intValue("DefaultQuality", 0) + intValue("DefaultSize", 2), 75, 4, 0, false, false, true},
        // Values of the wrong size take their defaults.
        {"\"Quality\"=hex:32,00\n\"Size\"=hex:01,00,00,00,00\n\"DefaultSize\"=\"0\"\n", 75, 4, 0, false, true, true},
        {"\"Quality\"=dword:00000032\n" + intValue("DefaultSize", 0), 50, 4, 0, false, true, false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.stored);
        store(r.stored);
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
    EXPECT_NE(hive().find("\"CustomSize\"=hex:1f,85,eb,51,b8,1e,d5,3f\n"), std::string::npos);
    BrimvaleSettings back;
    LoadSettings(back);
    EXPECT_EQ(back.m_nSizeChoice, 6);
    EXPECT_EQ(back.m_dCustomScale, 0.33);

    // Fractions that give no picture size read as 100 %.
    for (const char* bad : {"00,00,00,00,00,00,f8,7f", "00,00,00,00,00,00,00,00", "00,00,00,00,00,00,00,40",
                            "00,00,00,00,00,00,f0,bf", "00,00"}) {
        store(intValue("Size", 6) + "\"CustomSize\"=hex:" + bad + "\n");
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
    store(intValue("Size", 7));
    BrimvaleSettings fresh;
    LoadSettings(fresh);
    EXPECT_EQ(fresh.m_nCustomWidth, 2000);
    EXPECT_EQ(fresh.m_nCustomHeight, 1300);
}

TEST_F(SettingsTest, DestinationHistoryStopsAtTheFirstGap) {
    store("\"Destination0\"=\"/a\"\n\"Destination1\"=\"/b\"\n\"Destination3\"=\"/d\"\n");
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
    TempRegistry::store("\"Destination0\"=\"" + std::string(300, 'z') +
                        "\"\n\"Destination1\"=hex:41,00\n\"Destination2\"=\"/ok\"\n");
    BrimvaleSettings loaded;
    LoadSettings(loaded);
    EXPECT_EQ(loaded.m_astrDestinations, (std::vector<std::string>{"", "", "/ok"}));
}

// A hive that may not be written, or does not parse, gives the defaults; a corrupt one is
// kept aside and a new one written, a read-only one is left as it was.
TEST_F(SettingsTest, UnusableHiveGivesDefaults) {
    const std::string corrupt = "REGEDIT4\n[Software\\Brimvale]\n\"Quality\"=hex:5a,00,0";
    for (const bool readOnly : {true, false}) {
        SCOPED_TRACE(readOnly ? "read-only" : "corrupt");
        if (readOnly) store(intValue("Quality", 90) + intValue("Size", 1));
        else writeFile(hivePath, corrupt);
        const std::string before = hive();
        if (readOnly) writeFile(hivePath + ".readonly", "");
        BrimvaleSettings s;
        EXPECT_FALSE(LoadSettings(s));
        EXPECT_EQ(s.m_nQuality, 75);
        EXPECT_EQ(s.m_nSizeChoice, 4);
        EXPECT_TRUE(s.m_bSettingsChanged);
        s.m_nQuality = 30;
        EXPECT_EQ(SaveSettings(s), !readOnly);
        EXPECT_EQ(readFile(readOnly ? hivePath : hivePath + ".corrupt"), before);
        fs::remove(hivePath + ".readonly");
        BrimvaleSettings back;
        EXPECT_TRUE(LoadSettings(back));
        EXPECT_EQ(back.m_nQuality, readOnly ? 90 : 30);
    }
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
