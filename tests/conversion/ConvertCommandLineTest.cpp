#include "tools/convert/ConvertOptions.h"
#include "engine/conversion/LargeImageMemory.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace pictrove;
using namespace pictrove::convert;
using Action = ParsedCommandLine::Action;

TEST(ConvertCommandLine, DefaultsAndEveryOption)
{
    test::Sandbox box;
    ParsedCommandLine p = parseCommandLine({"-o", box.path(), "a.png"});
    ASSERT_EQ(p.action, Action::Run) << p.error.toStdString();
    EXPECT_EQ(p.options.format, QStringLiteral("7"));
    EXPECT_EQ(p.options.name, QStringLiteral("Sample"));
    EXPECT_FALSE(p.options.overwrite);
    EXPECT_FALSE(p.options.map.has_value());
    EXPECT_FALSE(p.options.quality.has_value());
    EXPECT_FALSE(p.options.stripMetadata);

    p = parseCommandLine({"--format", "GIF-16 Colors", "--output", box.path(), "-n", " x ",
                          "--overwrite", "--map", "VGA", "--dither", "3", "--greyscale", "--flip-h",
                          "--flip-v", "--invert", "--interlaced", "--quality", "85", "-q",
                          "--strip-metadata", "a.png", "b.ripl"});
    ASSERT_EQ(p.action, Action::Run) << p.error.toStdString();
    const ConvertOptions &o = p.options;
    EXPECT_EQ(o.format, QStringLiteral("GIF-16 Colors"));
    EXPECT_EQ(o.name, QStringLiteral(" x "));
    EXPECT_TRUE(o.overwrite && o.greyscale && o.flipH && o.flipV && o.invert && o.interlaced && o.quiet);
    EXPECT_TRUE(o.stripMetadata);
    EXPECT_EQ(*o.map, QStringLiteral("VGA"));
    EXPECT_EQ(*o.dither, QStringLiteral("3"));
    EXPECT_EQ(*o.quality, 85);
    EXPECT_EQ(o.inputs, (QStringList{"a.png", "b.ripl"}));
}

TEST(ConvertCommandLine, UsageErrors)
{
    test::Sandbox box;
    const QString dir = box.path();
    const QList<QStringList> bad = {
        {"a.png"},                                   // no destination
        {"-o", box.file("missing"), "a.png"},        // destination does not exist
        {"-o", dir},                                 // no input
        {"-o", dir, "--quality", "0", "a.png"},      // quality out of range
        {"-o", dir, "--quality", "101", "a.png"},
        {"-o", dir, "--quality", "high", "a.png"},
        {"-o", dir, "--bogus", "a.png"},             // unknown option
        {"-o", dir, "-n", "sub/x", "a.png"},         // a name that leaves the folder
        {"-o", dir, "-f", "1", "-f", "2", "a.png"},  // repeated
        {"-o"},                                      // missing value
    };
    for (const QStringList &args : bad) {
        const ParsedCommandLine p = parseCommandLine(args);
        EXPECT_EQ(p.action, Action::UsageError) << args.join(' ').toStdString();
        EXPECT_FALSE(p.error.isEmpty());
    }
    EXPECT_EQ(parseCommandLine({"--help"}).action, Action::Help);
    EXPECT_EQ(parseCommandLine({"-h", "-o"}).action, Action::UsageError);
    EXPECT_EQ(parseCommandLine({"--version"}).action, Action::Version);
}

TEST(ConvertCommandLine, ResizeTakesItsThreeFormsAndEnlarge)
{
    test::Sandbox box;
    const QString dir = box.path();
    ParsedCommandLine p = parseCommandLine({"-o", dir, "a.png"});
    EXPECT_EQ(p.options.resize, ResizeSetting{}); // Original size

    p = parseCommandLine({"-o", dir, "--resize", "1920x1080", "a.png"});
    ASSERT_EQ(p.action, Action::Run) << p.error.toStdString();
    EXPECT_EQ(p.options.resize.mode, ResizeMode::Fit);
    EXPECT_EQ(p.options.resize.width, 1920);
    EXPECT_EQ(p.options.resize.height, 1080);
    EXPECT_TRUE(p.options.resize.neverEnlarge);

    p = parseCommandLine({"-o", dir, "--resize", "800", "--enlarge", "a.png"});
    ASSERT_EQ(p.action, Action::Run) << p.error.toStdString();
    EXPECT_EQ(p.options.resize.mode, ResizeMode::LongestSide);
    EXPECT_EQ(p.options.resize.side, 800);
    EXPECT_FALSE(p.options.resize.neverEnlarge);

    p = parseCommandLine({"-o", dir, "--resize", "1000%", "a.png"});
    ASSERT_EQ(p.action, Action::Run) << p.error.toStdString();
    EXPECT_EQ(p.options.resize.mode, ResizeMode::Percent);
    EXPECT_EQ(p.options.resize.percent, 1000);
    EXPECT_EQ(parseResize(QStringLiteral("65535X1"))->height, 1);
    EXPECT_EQ(parseResize(QStringLiteral("1%"))->percent, 1);

    for (const char *bad : {"", "0", "65536", "1001%", "0%", "x", "10x", "x10", "10x0", "-5", "+5",
                            "5.5", " 5", "5 ", "1e3", "10x10x10", "%", "50 %", "abc", "\xd9\xa3"}) {
        EXPECT_FALSE(parseResize(QString::fromUtf8(bad)).has_value()) << bad;
        const ParsedCommandLine e = parseCommandLine({"-o", dir, "--resize", QString::fromUtf8(bad), "a.png"});
        EXPECT_EQ(e.action, Action::UsageError) << bad;
        EXPECT_TRUE(e.error.contains(QStringLiteral("--resize"))) << e.error.toStdString();
    }
    EXPECT_EQ(parseCommandLine({"-o", dir, "--enlarge", "a.png"}).action, Action::UsageError);
    EXPECT_EQ(parseCommandLine({"-o", dir, "--resize", "5", "--resize", "6", "a.png"}).action,
              Action::UsageError);
}

// The converter restarts itself once with a large-page heap asked for: on
// top of the user's own tunables, never against the user's choice, and
// never again once asked (the restart must not loop).
TEST(ConvertCommandLine, LargePageHeapIsAddedToTheUsersTunablesOnce)
{
    EXPECT_EQ(tunablesWithLargePageHeap(nullptr), std::optional<std::string>("glibc.malloc.hugetlb=1"));
    EXPECT_EQ(tunablesWithLargePageHeap(""), std::optional<std::string>("glibc.malloc.hugetlb=1"));
    EXPECT_EQ(tunablesWithLargePageHeap("glibc.malloc.check=3"),
              std::optional<std::string>("glibc.malloc.check=3:glibc.malloc.hugetlb=1"));
    // A name that merely starts the same is another tunable.
    EXPECT_EQ(tunablesWithLargePageHeap("glibc.malloc.hugetlbx=2"),
              std::optional<std::string>("glibc.malloc.hugetlbx=2:glibc.malloc.hugetlb=1"));
    for (const char *given : {"glibc.malloc.hugetlb=1", "glibc.malloc.hugetlb=0",
                              "glibc.malloc.check=3:glibc.malloc.hugetlb=2", "glibc.malloc.hugetlb"}) {
        SCOPED_TRACE(given);
        EXPECT_EQ(tunablesWithLargePageHeap(given), std::nullopt);
    }
    // What the restart sets is left alone the second time round.
    const auto added = tunablesWithLargePageHeap("glibc.malloc.check=3");
    ASSERT_TRUE(added);
    EXPECT_EQ(tunablesWithLargePageHeap(added->c_str()), std::nullopt);
}
