#include "workflow/views/ViewPair.h"

#include <gtest/gtest.h>

namespace pictrove {
namespace {

constexpr auto Original = ViewPair::Original;
constexpr auto Optimized = ViewPair::Optimized;

void show(ViewPair &views, ViewPair::View view, QSizeF image, QSizeF viewport)
{
    views.setImageSize(view, image);
    views.setViewportSize(view, viewport);
    views.update(view);
}

TEST(ViewLayout, PlacesThePictureAndEnablesOnlyTheBarsItNeeds)
{
    struct Case {
        QSizeF image;
        QPointF pos;
        bool horizontal;
        bool vertical;
        std::int64_t hMax;
        std::int64_t vMax;
    };
    const QSizeF viewport(3000, 2000);
    const Case cases[] = {
        {{1000, 1000}, {1000, 500}, false, false, -2000, -1000}, // smaller: centred
        {{4500, 1000}, {0, 500}, true, false, 1500, -1000},      // wider only
        {{1000, 2600}, {1000, 0}, false, true, -2000, 600},      // taller only
        {{3000, 2000}, {0, 0}, false, false, 0, 0},              // exactly fits
        {{3001, 1999}, {0, 0.5}, true, false, 1, -1},            // half-twip centring
    };
    for (const Case &c : cases) {
        ViewPair views;
        show(views, Original, c.image, viewport);
        const ViewState &s = views.state(Original);
        EXPECT_EQ(s.imagePos, c.pos) << c.image.width() << "x" << c.image.height();
        EXPECT_EQ(s.horizontal.enabled, c.horizontal);
        EXPECT_EQ(s.vertical.enabled, c.vertical);
        EXPECT_EQ(s.horizontal.maximum, c.hMax);
        EXPECT_EQ(s.vertical.maximum, c.vMax);
    }
}

TEST(ViewLayout, MaximaRoundHalvesToEven)
{
    ViewPair views;
    show(views, Original, QSizeF(1002.5, 1003.5), QSizeF(1000, 1000));
    EXPECT_EQ(views.state(Original).horizontal.maximum, 2);
    EXPECT_EQ(views.state(Original).vertical.maximum, 4);
}

TEST(ViewLayout, WidePhotosScrollToTheirFarEdge)
{
    // 4000 pixels at 15 twips each overflows far past 32767 twips.
    ViewPair views;
    show(views, Original, QSizeF(60000, 3000), QSizeF(6000, 3000));
    EXPECT_EQ(views.state(Original).horizontal.maximum, 54000);
    EXPECT_TRUE(views.scroll(Original, Qt::Horizontal, 54000));
    EXPECT_EQ(views.state(Original).imagePos.x(), -54000);
}

TEST(ViewLayout, KeepsTheScrollValueAndThePictureInStep)
{
    ViewPair views;
    show(views, Original, QSizeF(9000, 9000), QSizeF(3000, 3000));
    views.scroll(Original, Qt::Horizontal, 4000);
    views.scroll(Original, Qt::Vertical, 5000);

    show(views, Original, QSizeF(9000, 9000), QSizeF(6000, 3000)); // a wider viewport
    const ViewState &s = views.state(Original);
    EXPECT_EQ(s.horizontal.value, 3000); // pulled into the shorter range
    EXPECT_EQ(s.vertical.value, 5000);   // not reset
    EXPECT_EQ(s.imagePos, QPointF(-3000, -5000));
}

TEST(Scrolling, MovesOnlyItsOwnViewAndRefusesValuesOutOfRange)
{
    ViewPair views;
    show(views, Original, QSizeF(9000, 9000), QSizeF(3000, 3000));
    show(views, Optimized, QSizeF(9000, 9000), QSizeF(3000, 3000));
    EXPECT_TRUE(views.scroll(Optimized, Qt::Vertical, 1200));
    EXPECT_EQ(views.state(Optimized).imagePos.y(), -1200);
    EXPECT_EQ(views.state(Original).imagePos.y(), 0);
    EXPECT_FALSE(views.scroll(Optimized, Qt::Vertical, 6001));
    EXPECT_FALSE(views.scroll(Optimized, Qt::Vertical, -1));
    EXPECT_EQ(views.state(Optimized).vertical.value, 1200);
}

class Panning : public ::testing::Test {
protected:
    void SetUp() override
    {
        show(views, Original, QSizeF(9000, 9000), QSizeF(3000, 3000));
        show(views, Optimized, QSizeF(9000, 9000), QSizeF(3000, 3000));
    }
    ViewPair views;
};

TEST_F(Panning, DraggingLeftRaisesBothHorizontalBars)
{
    views.press(Original, QPointF(1500, 1500));
    EXPECT_EQ(views.pointer(Original), ViewPair::Pointer::Grab);
    views.move(Original, QPointF(1200, 1500));
    EXPECT_EQ(views.state(Original).horizontal.value, 300);
    EXPECT_EQ(views.state(Optimized).horizontal.value, 300);
    EXPECT_EQ(views.state(Original).vertical.value, 0);
    views.release(Original);
    EXPECT_EQ(views.pointer(Original), ViewPair::Pointer::Release);
    EXPECT_EQ(views.pointer(Optimized), ViewPair::Pointer::Default);
}

TEST_F(Panning, ThePressedPictureFollowsTheMouse)
{
    // Positions are in the picture's own coordinates, which move with it:
    // after the first step the picture is under the mouse again.
    views.press(Optimized, QPointF(2000, 2000));
    views.move(Optimized, QPointF(1900, 1950));
    views.move(Optimized, QPointF(2000 - 50, 2000 - 30)); // 50 and 30 more to the left and up
    EXPECT_EQ(views.state(Optimized).horizontal.value, 150);
    EXPECT_EQ(views.state(Optimized).vertical.value, 80);
    EXPECT_EQ(views.state(Original).horizontal.value, 150);
    EXPECT_EQ(views.state(Original).vertical.value, 80);
}

TEST_F(Panning, StopsAtTheLastValueInsideTheRange)
{
    views.scroll(Original, Qt::Horizontal, 5900);
    views.scroll(Optimized, Qt::Horizontal, 5900);
    views.press(Original, QPointF(7000, 100));
    views.move(Original, QPointF(6950, 100)); // 5950: applied
    views.move(Original, QPointF(7000 - 200, 100)); // 6150 more: beyond 6000, not clamped
    EXPECT_EQ(views.state(Original).horizontal.value, 5950);
    EXPECT_EQ(views.state(Optimized).horizontal.value, 5950);
}

TEST_F(Panning, AViewThatFitsStaysAndTheOtherMovesByTheMouseTravel)
{
    show(views, Original, QSizeF(1000, 1000), QSizeF(3000, 3000));
    views.press(Original, QPointF(500, 500));
    for (int i = 0; i < 5; ++i)
        views.move(Original, QPointF(400, 500)); // the mouse rests 100 to the left
    EXPECT_EQ(views.state(Original).imagePos, QPointF(1000, 1000));
    EXPECT_EQ(views.state(Optimized).horizontal.value, 100);
}

TEST_F(Panning, HalvesRoundToEven)
{
    views.press(Original, QPointF(1000, 1000));
    views.move(Original, QPointF(997.5, 998.5)); // travel 2.5 and 1.5
    EXPECT_EQ(views.state(Original).horizontal.value, 2);
    EXPECT_EQ(views.state(Original).vertical.value, 2);
}

TEST_F(Panning, MovingWithoutAPressChangesNothing)
{
    views.move(Original, QPointF(0, 0));
    views.press(Original, QPointF(100, 100));
    views.release(Original);
    views.move(Original, QPointF(0, 0));
    EXPECT_EQ(views.state(Original).horizontal.value, 0);
    EXPECT_EQ(views.state(Optimized).vertical.value, 0);
}

} // namespace
} // namespace pictrove
