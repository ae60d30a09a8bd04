#include "workflow/splitter/SplitterModel.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace pictrove {
namespace {

// Records the splitter's events in the order they are raised.
struct EventLog {
    explicit EventLog(SplitterModel &m)
    {
        QObject::connect(&m, &SplitterModel::resized, [this] { events << "Resize"; });
        QObject::connect(&m, &SplitterModel::splitBegin, [this] { events << "SplitBegin"; });
        QObject::connect(&m, &SplitterModel::splitMove, [this] { events << "SplitMove"; });
        QObject::connect(&m, &SplitterModel::splitComplete,
                         [this] { events << "SplitComplete"; });
    }
    QStringList events;
};

SplitterModel &attached(SplitterModel &m, int orientation, QSizeF size)
{
    m.setOrientation(orientation);
    m.setLeftOrTopControl(QStringLiteral("first"));
    m.setRightOrBottomControl(QStringLiteral("second"));
    m.resize(size);
    return m;
}

TEST(SplitterModel, DefaultsPutTheBarInTheMiddleOfAHorizontalSplitter)
{
    SplitterModel m;
    attached(m, SplitterModel::HorizontalBar, QSizeF(9000, 6000));
    EXPECT_EQ(m.barRect(), QRectF(0, 3000, 9000, 70));
    EXPECT_EQ(m.paneRect(SplitterModel::Pane::LeftOrTop), QRectF(0, 0, 9000, 3000));
    EXPECT_EQ(m.paneRect(SplitterModel::Pane::RightOrBottom), QRectF(0, 3070, 9000, 2930));
    EXPECT_FALSE(m.ghostVisible());
}

TEST(SplitterModel, VerticalRightPaneEndsAtTheInnerRightEdge)
{
    SplitterModel m;
    attached(m, SplitterModel::VerticalBar, QSizeF(6015, 4000));
    m.setSplitterPosition(30);
    EXPECT_EQ(m.barRect(), QRectF(1804, 0, 70, 4000)); // Int(30 * 6015 / 100)
    const QRectF right = *m.paneRect(SplitterModel::Pane::RightOrBottom);
    EXPECT_EQ(right.left(), 1874);
    EXPECT_EQ(right.left() + right.width(), 6015);
    EXPECT_EQ(right.height(), 4000);
}

TEST(SplitterModel, UnattachedPanesAndDesignModeLayOutNothing)
{
    SplitterModel m;
    m.setRightOrBottomControl(QStringLiteral("second"));
    m.resize(QSizeF(6000, 6000));
    EXPECT_FALSE(m.paneRect(SplitterModel::Pane::LeftOrTop));
    EXPECT_TRUE(m.paneRect(SplitterModel::Pane::RightOrBottom));

    m.setRunMode(false);
    m.setLeftOrTopControl(QStringLiteral("first"));
    EXPECT_FALSE(m.paneRect(SplitterModel::Pane::LeftOrTop));
    EXPECT_FALSE(m.paneRect(SplitterModel::Pane::RightOrBottom));
    EXPECT_EQ(m.barRect(), QRectF(3000, 0, 70, 6000));
}

TEST(SplitterModel, APaneThatCannotFitEndsTheLayout)
{
    SplitterModel m;
    attached(m, SplitterModel::VerticalBar, QSizeF(40, 100)); // the bar is wider than the space
    EXPECT_TRUE(m.paneRect(SplitterModel::Pane::LeftOrTop));
    EXPECT_FALSE(m.paneRect(SplitterModel::Pane::RightOrBottom));
}

TEST(SplitterModel, DragStoresTheFlooredPercentageAndRaisesEventsInOrder)
{
    SplitterModel m;
    attached(m, SplitterModel::HorizontalBar, QSizeF(9000, 6000));
    EventLog log(m);
    m.press();
    EXPECT_TRUE(m.ghostVisible());
    EXPECT_EQ(m.ghostRect(), m.barRect());
    m.move(QPointF(0, 1900 - 3000)); // new position 1900
    EXPECT_EQ(m.splitterPosition(), 31); // 100 / (6000 / 1900) = 31.67
    EXPECT_EQ(m.ghostRect().top(), 1900);
    EXPECT_EQ(m.barRect().top(), 3000); // the bar waits for the release
    m.release();
    EXPECT_FALSE(m.ghostVisible());
    EXPECT_EQ(m.barRect().top(), 1900);
    EXPECT_EQ(m.paneRect(SplitterModel::Pane::LeftOrTop)->height(), 1900);
    EXPECT_EQ(log.events, QStringList({"SplitBegin", "SplitMove", "SplitComplete"}));
}

TEST(SplitterModel, DragLimitsAreStrict)
{
    struct Case {
        double target;
        bool moves;
    };
    // 6000 twips, limits Int(10 * 60) = 600 and Int(90 * 60) = 5400.
    const Case cases[] = {{600, false}, {601, true}, {5399, true}, {5400, false}, {-50, false}};
    for (const Case &c : cases) {
        SplitterModel m;
        attached(m, SplitterModel::HorizontalBar, QSizeF(9000, 6000));
        EventLog log(m);
        m.press();
        m.move(QPointF(0, c.target - 3000));
        EXPECT_EQ(m.ghostRect().top() == c.target, c.moves) << c.target;
        EXPECT_EQ(m.splitterPosition() != 50, c.moves) << c.target;
        EXPECT_EQ(log.events, QStringList({"SplitBegin", "SplitMove"})) << c.target;
    }
}

TEST(SplitterModel, HalfTwipMovesRoundHalvesToEven)
{
    SplitterModel m;
    attached(m, SplitterModel::VerticalBar, QSizeF(1000, 500));
    m.setSplitterPosition(10); // bar at 100; lower limit 100
    m.press();
    m.move(QPointF(0.5, 0)); // 100.5 rounds to 100: on the limit, no move
    EXPECT_EQ(m.ghostRect().left(), 100);
    m.move(QPointF(1.5, 0)); // 101.5 rounds to 102
    EXPECT_EQ(m.ghostRect().left(), 101.5);
    EXPECT_EQ(m.splitterPosition(), 10); // Int(100 / (1000 / 102)) = 10
}

TEST(SplitterModel, MovingWithoutAPressChangesNothing)
{
    SplitterModel m;
    attached(m, SplitterModel::VerticalBar, QSizeF(6000, 6000));
    EventLog log(m);
    m.move(QPointF(-1000, 0));
    m.release();
    EXPECT_EQ(m.splitterPosition(), 50);
    EXPECT_TRUE(log.events.isEmpty());

    m.setEnabled(false);
    m.press();
    EXPECT_FALSE(m.dragging());
    EXPECT_TRUE(log.events.isEmpty());
}

TEST(SplitterModel, ResizeRaisesResizeAndKeepsThePercentage)
{
    SplitterModel m;
    attached(m, SplitterModel::VerticalBar, QSizeF(6000, 6000));
    m.setSplitterPosition(30);
    EventLog log(m);
    m.resize(QSizeF(3000, 6000));
    EXPECT_EQ(log.events, QStringList({"Resize"}));
    EXPECT_EQ(m.barRect().left(), 900);
}

TEST(SplitterModel, PropertyLimits)
{
    SplitterModel m;
    m.setSplitterMin(0);
    m.setSplitterMax(150);
    EXPECT_EQ(m.splitterMax(), 99);
    m.setSplitterMax(-5);
    EXPECT_EQ(m.splitterMax(), 1);

    SplitterModel n;
    n.setSplitterMax(5); // below the minimum 10
    EXPECT_EQ(n.splitterMax(), 11);
    n.setSplitterMin(50); // above the maximum 11
    EXPECT_EQ(n.splitterMin(), 10);
    n.setSplitterMin(150);
    EXPECT_EQ(n.splitterMin(), 10); // 99 is above 11 as well

    SplitterModel p;
    p.setSplitterMin(-3);
    EXPECT_EQ(p.splitterMin(), 1);
    p.setSplitterPosition(95);
    EXPECT_EQ(p.splitterPosition(), 90);
    p.setSplitterMin(10);
    p.setSplitterPosition(5);
    EXPECT_EQ(p.splitterPosition(), 10);
}

TEST(SplitterModel, OrientationPlacesTheBarWithoutLayingOutPanes)
{
    SplitterModel m;
    attached(m, SplitterModel::VerticalBar, QSizeF(8000, 6000));
    const QRectF leftBefore = *m.paneRect(SplitterModel::Pane::LeftOrTop);
    m.setOrientation(SplitterModel::HorizontalBar);
    EXPECT_EQ(m.barRect(), QRectF(0, 3000, 8000, 70));
    EXPECT_EQ(m.ghostRect(), m.barRect());
    EXPECT_EQ(*m.paneRect(SplitterModel::Pane::LeftOrTop), leftBefore);
}

TEST(SplitterModel, StoredDesignRoundTripsAndSkipsDefaults)
{
    SplitterModel m;
    EXPECT_TRUE(m.writeProperties().isEmpty());

    m.setOrientation(SplitterModel::HorizontalBar);
    m.setLeftOrTopControl(QStringLiteral("bs13"));
    m.setRightOrBottomControl(QStringLiteral("bs14"));
    m.setSplitterMax(95);
    m.setSplitterMin(5);
    m.setSplitterPosition(75);
    m.setSplitterWidth(45);
    m.setSplitterColor(0x00FF8000);
    m.setEnabled(false);
    const StoredProperties written = m.writeProperties();
    std::vector<QString> expectedOrder;
    for (const char *name : {"Enabled", "LeftOrTopControl", "Orientation", "RightOrBottomControl",
                             "SplitterPosition", "SplitterMax", "SplitterMin", "SplitterColor",
                             "SplitterWidth"})
        expectedOrder.emplace_back(QString::fromLatin1(name));
    EXPECT_EQ(written.names(), expectedOrder);

    SplitterModel copy;
    copy.readProperties(StoredProperties::fromText(written.toText()), true);
    EXPECT_EQ(copy.writeProperties().toText(), written.toText());
    EXPECT_EQ(copy.splitterPosition(), 75);
    EXPECT_FALSE(copy.enabled());
}

TEST(SplitterModel, ReadingLimitsThePositionByTheLimitsJustRead)
{
    // Read in any other order, 95 would be cut to the default maximum 90.
    SplitterModel m;
    m.readProperties(StoredProperties::fromText(
                         QStringLiteral("SplitterPosition=95\nSplitterMax=97\n")),
                     true);
    EXPECT_EQ(m.splitterPosition(), 95);
}

} // namespace
} // namespace pictrove
