#include "platform/DesktopFolder.h"
#include "platform/NumericField.h"
#include "platform/TempFolder.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace pictrove {
namespace {

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const QString &value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name))
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, QFile::encodeName(value));
    }
    ~ScopedEnv()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char *m_name;
    bool m_had;
    QByteArray m_old;
};

int modeOf(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 0777)
                                                                    : -1;
}

TEST(TempFolder, IsAPrivateFolderUnderTheRuntimeFolder)
{
    test::Sandbox sandbox;
    ScopedEnv runtime("XDG_RUNTIME_DIR", sandbox.path());
    const QString folder = GetTempFolder();
    EXPECT_EQ(folder, sandbox.path() + QStringLiteral("/pictrove/"));
    EXPECT_EQ(modeOf(folder), 0700);
    EXPECT_EQ(GetPreviewFilePath(), folder + QStringLiteral("t65s8s98"));
    EXPECT_EQ(GetTempFolder(), folder) << "a second call reuses the folder";
}

TEST(TempFolder, FallsBackToAPerUserFolderInTheSystemTemp)
{
    test::Sandbox sandbox;
    ScopedEnv runtime("XDG_RUNTIME_DIR", QString());
    ScopedEnv tmp("TMPDIR", sandbox.path());
    const QString expected
        = sandbox.path() + QStringLiteral("/pictrove-%1/").arg(::geteuid());
    EXPECT_EQ(GetTempFolder(), expected);
    EXPECT_EQ(modeOf(expected), 0700);
}

TEST(TempFolder, RefusesAPlantedLinkOrFileAndTightensAnOpenFolder)
{
    test::Sandbox sandbox;
    const QString elsewhere = sandbox.file(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QDir().mkdir(elsewhere));
    const QString link = sandbox.file(QStringLiteral("link"));
    ASSERT_TRUE(QFile::link(elsewhere, link));
    EXPECT_FALSE(ensurePrivateFolder(link));

    ASSERT_TRUE(sandbox.write(QStringLiteral("plain"), "x"));
    EXPECT_FALSE(ensurePrivateFolder(sandbox.file(QStringLiteral("plain"))));

    const QString open = sandbox.file(QStringLiteral("open"));
    ASSERT_TRUE(QDir().mkdir(open));
    ASSERT_EQ(::chmod(QFile::encodeName(open).constData(), 0777), 0);
    EXPECT_TRUE(ensurePrivateFolder(open));
    EXPECT_EQ(modeOf(open), 0700);

    // A planted link under the runtime folder sends us to the fallback.
    ScopedEnv runtime("XDG_RUNTIME_DIR", sandbox.path());
    ASSERT_TRUE(QFile::link(elsewhere, sandbox.file(QStringLiteral("pictrove"))));
    ScopedEnv tmp("TMPDIR", elsewhere);
    EXPECT_TRUE(GetTempFolder().startsWith(elsewhere + QStringLiteral("/pictrove-")));
}

TEST(TempFolder, PreviewFileIsNeverWrittenThroughALink)
{
    test::Sandbox sandbox;
    const QString victim = sandbox.file(QStringLiteral("victim"));
    ASSERT_TRUE(sandbox.write(QStringLiteral("victim"), "precious"));
    const QString preview = sandbox.file(QStringLiteral("t65s8s98"));
    ASSERT_TRUE(QFile::link(victim, preview));

    bool ok = true;
    EXPECT_TRUE(readFileNoFollow(preview, &ok).isEmpty());
    EXPECT_FALSE(ok);

    ASSERT_TRUE(replaceFileNoFollow(preview, "picture"));
    EXPECT_EQ(sandbox.read(QStringLiteral("victim")), QByteArray("precious"));
    EXPECT_FALSE(QFileInfo(preview).isSymLink());
    EXPECT_EQ(readFileNoFollow(preview, &ok), QByteArray("picture"));
    EXPECT_TRUE(ok);
    EXPECT_EQ(QDir(sandbox.path()).entryList(QDir::Files).size(), 2) << "no part file left";

    ASSERT_TRUE(QFile::remove(preview));
    ASSERT_TRUE(QFile::link(victim, preview));
    EXPECT_TRUE(removeNoFollow(preview));
    EXPECT_FALSE(QFileInfo(preview).exists() || QFileInfo(preview).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(victim));
    EXPECT_TRUE(removeNoFollow(preview)) << "nothing there counts as removed";
}

TEST(StripAtNul, CutsAtTheFirstNul)
{
    EXPECT_EQ(StripAtNul(QStringLiteral("/tmp/")), QStringLiteral("/tmp/"));
    EXPECT_EQ(StripAtNul(QString::fromUtf16(u"/a/\0 b\0", 7)), QStringLiteral("/a/"));
    EXPECT_EQ(StripAtNul(QString()), QString());
}

TEST(DesktopFolder, ExistingDesktopOrEmptyText)
{
    test::Sandbox sandbox;
    ScopedEnv home("HOME", sandbox.path());
    ScopedEnv config("XDG_CONFIG_HOME", sandbox.file(QStringLiteral("config")));
    EXPECT_EQ(GetDesktopFolder(), QString());
    ASSERT_TRUE(QDir().mkdir(sandbox.file(QStringLiteral("Desktop"))));
    EXPECT_EQ(GetDesktopFolder(), sandbox.file(QStringLiteral("Desktop")));
}

TEST(LeadingNumber, ReadsLikeVal)
{
    const struct {
        const char *text;
        double value;
    } cases[] = {
        {"", 0},        {"abc", 0},      {"42", 42},        {"42abc", 42},   {" 1 2 ", 12},
        {"-7", -7},     {"2.5", 2.5},    {".5", 0.5},       {"1e2", 100},    {"1e", 1},
        {"&H1F", 31},   {"&o17", 15},    {"250", 250},      {"+3x", 3},      {"-", 0},
    };
    for (const auto &c : cases)
        EXPECT_DOUBLE_EQ(leadingNumber(QString::fromLatin1(c.text)), c.value) << c.text;
}

// The custom-quality pair as the window wires it: the text's change runs
// SyncNumericText, the value's change writes the value back as text.
struct QualityField {
    TextBoxState text{QStringLiteral("60")};
    ScrollState scroll{1, 100, 60};
    std::vector<int> valueChanges;
    int syncRuns = 0;

    QualityField()
    {
        text.changed = [this] {
            ++syncRuns;
            SyncNumericText(scroll, text);
        };
        scroll.changed = [this] {
            valueChanges.push_back(scroll.value());
            text.setText(QString::number(scroll.value()));
        };
    }
    void type(const char *keys)
    {
        for (const char *k = keys; *k; ++k) {
            std::int16_t key = *k == '\b' ? 8 : *k;
            FilterDigitKey(key);
            text.typeKey(key);
        }
    }
};

TEST(NumericField, EmptyTextBecomesTheLowerBoundSelected)
{
    QualityField field;
    SelectAllText(field.text);
    field.type("\b");
    EXPECT_EQ(field.text.text(), QStringLiteral("1"));
    EXPECT_EQ(field.text.selectedText(), QStringLiteral("1"));
    EXPECT_EQ(field.scroll.value(), 1);
    // The next digit replaces the selected "1".
    field.type("7");
    EXPECT_EQ(field.text.text(), QStringLiteral("7"));
    EXPECT_EQ(field.scroll.value(), 7);
}

TEST(NumericField, TooLargeEndsAtTheUpperBoundTooSmallAtTheLower)
{
    QualityField field;
    SelectAllText(field.text);
    field.type("250");
    EXPECT_EQ(field.text.text(), QStringLiteral("100"));
    EXPECT_EQ(field.scroll.value(), 100);
    EXPECT_EQ(field.valueChanges, (std::vector<int>{2, 25, 100}));

    field.text.setText(QStringLiteral("0"));
    EXPECT_EQ(field.text.text(), QStringLiteral("1"));
    EXPECT_EQ(field.scroll.value(), 1);

    field.text.setText(QStringLiteral("pasted"));
    EXPECT_EQ(field.text.text(), QStringLiteral("1"));
}

TEST(NumericField, NestedChangeOnlyRepeatsTheValueStep)
{
    QualityField field;
    field.text.setText(QStringLiteral("500"));
    // The outer run, the nested one from the clamp; the value's write-back
    // finds the text already "100" and raises nothing more.
    EXPECT_EQ(field.syncRuns, 2);
    EXPECT_EQ(field.valueChanges, (std::vector<int>{100}));
}

TEST(NumericField, FractionsRoundHalfToEven)
{
    QualityField field;
    field.text.setText(QStringLiteral("50.5"));
    EXPECT_EQ(field.scroll.value(), 50);
    EXPECT_EQ(field.text.text(), QStringLiteral("50"));
}

TEST(NumericField, KeyFilterKeepsDigitsAndBackspaceOnly)
{
    for (int key = 0; key < 256; ++key) {
        std::int16_t k = std::int16_t(key);
        FilterDigitKey(k);
        const bool kept = (key >= '0' && key <= '9') || key == 8;
        EXPECT_EQ(k, kept ? key : 0) << key;
    }
    QualityField field;
    field.type("x,\b");
    EXPECT_EQ(field.text.text(), QStringLiteral("6"));
}

} // namespace
} // namespace pictrove
