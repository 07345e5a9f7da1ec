// The archive entry schauplatz.json: writing, reading back, absence, and damaged entries.

#include "project/AppearanceEntry.h"

#include "support/u_logfile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

using namespace schauplatz;

namespace {

std::string logText() {
    std::ifstream in(LogFileName(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The log lines written while F runs.
template <typename F>
std::string loggedBy(F&& Run) {
    const std::size_t before = logText().size();
    Run();
    const std::string after = logText();
    return after.size() > before ? after.substr(before) : std::string();
}

TAppearance sample() {
    TAppearance a;
    a.Smooth = true;
    a.Brightness = -12;
    a.Contrast = 7;
    a.Temperature = 33;
    a.Opacity = 240;
    a.ShadowDepth = 45;
    a.ShadowDarkness = 60;
    a.ShadowSide = TShadowSide::Right;
    return a;
}

std::string entryWith(const std::string& Elements) {
    return R"({"format": "schauplatz-appearance", "version": 1, "elements": [)" + Elements + "]}";
}

} // namespace

TEST(AppearanceEntry, WritesTheDocumentedFormAndReadsItBack) {
    const std::vector<TAppearance> elements{sample(), TAppearance{}};
    const std::string text = WriteAppearanceEntry(elements);
    EXPECT_EQ(
        text,
        "{\"format\": \"schauplatz-appearance\", \"version\": 1,\n"
        " \"elements\": [\n"
        "  {\"smooth\": true, \"brightness\": -12, \"contrast\": 7, \"temperature\": 33, "
        "\"opacity\": 240, \"shadow\": {\"depth\": 45, \"darkness\": 60, \"side\": \"right\"}},\n"
        "  {\"smooth\": false, \"brightness\": 0, \"contrast\": 0, \"temperature\": 0, "
        "\"opacity\": 255, \"shadow\": {\"depth\": 0, \"darkness\": 0, \"side\": \"left\"}}\n"
        " ]}\n");
    const auto back = ReadAppearanceEntry(text);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, elements);
    const auto none = ReadAppearanceEntry(WriteAppearanceEntry({}));
    ASSERT_TRUE(none.has_value());
    EXPECT_TRUE(none->empty());
}

TEST(AppearanceEntry, MissingKeysAreNeutralAndUnknownKeysIgnored) {
    const auto r = ReadAppearanceEntry("\xEF\xBB\xBF" +
                                       entryWith(R"({}, {"smooth": true, "future": [1, {"x": 2}]},
                                    {"shadow": {"depth": 10}, "brightness": 5}, {"opacity": 0})"));
    ASSERT_TRUE(r.has_value());
    ASSERT_EQ(r->size(), 4u);
    EXPECT_EQ((*r)[0], TAppearance{});
    EXPECT_TRUE((*r)[1].Smooth);
    EXPECT_EQ((*r)[2].ShadowDepth, 10);
    EXPECT_EQ((*r)[2].ShadowDarkness, 0);
    EXPECT_EQ((*r)[2].Brightness, 5);
    EXPECT_EQ((*r)[3].Opacity, 0);
}

TEST(AppearanceEntry, ValuesOutOfRangeAreClampedAndWrongTypesNeutralWithALogLine) {
    std::optional<std::vector<TAppearance>> r;
    const std::string log = loggedBy([&] {
        r = ReadAppearanceEntry(entryWith(
            R"({"brightness": 1000, "contrast": -5e300, "temperature": 12.5, "opacity": "x",
                "smooth": 1, "shadow": {"depth": 99999999999999999999, "darkness": -3, "side": "up"}},
               7, {"shadow": []}, {"brightness": 40.0})"));
    });
    ASSERT_TRUE(r.has_value());
    ASSERT_EQ(r->size(), 4u);
    const TAppearance& a = (*r)[0];
    EXPECT_EQ(a.Brightness, 100);
    EXPECT_EQ(a.Contrast, -100);
    EXPECT_EQ(a.Temperature, 0);
    EXPECT_EQ(a.Opacity, 255);
    EXPECT_FALSE(a.Smooth);
    EXPECT_EQ(a.ShadowDepth, 200);
    EXPECT_EQ(a.ShadowDarkness, 0);
    EXPECT_EQ(a.ShadowSide, TShadowSide::Left);
    EXPECT_EQ((*r)[1], TAppearance{});
    EXPECT_EQ((*r)[2], TAppearance{});
    EXPECT_EQ((*r)[3].Brightness, 40);
    if (!LogFileName().empty()) {
        EXPECT_NE(log.find("Darstellung korrigiert (schauplatz.json): Element 0: brightness"),
                  std::string::npos)
            << log;
        EXPECT_NE(log.find("Element 1: kein Objekt"), std::string::npos) << log;
        EXPECT_NE(log.find("Element 2: shadow ist kein Objekt"), std::string::npos) << log;
    }
}

TEST(AppearanceEntry, UnusableEntriesAreIgnoredWholeWithALogLine) {
    const std::string cases[] = {
        "",
        "not json",
        "[1, 2]",
        R"({"format": "something-else", "version": 1, "elements": []})",
        R"({"version": 1, "elements": []})",
        R"({"format": "schauplatz-appearance", "version": 2, "elements": []})",
        R"({"format": "schauplatz-appearance", "version": "1", "elements": []})",
        R"({"format": "schauplatz-appearance", "elements": []})",
        R"({"format": "schauplatz-appearance", "version": 1})",
        R"({"format": "schauplatz-appearance", "version": 1, "elements": {}})",
        R"({"format": "schauplatz-appearance", "version": 1, "elements": [{}])",
        "{\"format\": \"schauplatz-appearance\", \"version\": 1, \"elements\": [{\"x\": "
        "\"\xC3\x28\"}]}",
        entryWith(std::string(100, '[') + std::string(100, ']')),
        std::string(kAppearanceEntryMaxBytes + 1, ' ') + entryWith(""),
    };
    for (const std::string& text : cases) {
        std::optional<std::vector<TAppearance>> r;
        const std::string log = loggedBy([&] { r = ReadAppearanceEntry(text); });
        EXPECT_FALSE(r.has_value()) << text.substr(0, 80);
        if (!LogFileName().empty()) {
            EXPECT_NE(log.find("Darstellung ignoriert (schauplatz.json): "), std::string::npos)
                << text.substr(0, 80);
        }
    }
    std::string many = "{}";
    for (std::size_t i = 0; i < kAppearanceMaxElements; ++i)
        many += ",{}";
    EXPECT_FALSE(ReadAppearanceEntry(entryWith(many)).has_value());
}

TEST(AppearanceEntry, SettingsMatchTheElementLinesOrAllStayNeutral) {
    const std::vector<TAppearance> two{sample(), sample()};
    EXPECT_EQ(AppearancesForElements(two, 2), two);
    // No entry: every element as recorded.
    EXPECT_EQ(AppearancesForElements(std::nullopt, 3), std::vector<TAppearance>(3));
    // An entry for another number of lines does not belong to these lines.
    std::vector<TAppearance> got;
    const std::string log = loggedBy([&] { got = AppearancesForElements(two, 3); });
    EXPECT_EQ(got, std::vector<TAppearance>(3));
    if (!LogFileName().empty()) {
        EXPECT_NE(log.find("2 Elemente für 3 Elementzeilen"), std::string::npos) << log;
    }
}
