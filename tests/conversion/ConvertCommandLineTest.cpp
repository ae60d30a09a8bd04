#include "tools/convert/ConvertOptions.h"

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
