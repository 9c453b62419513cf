// The custom controls as an operator meets them: button clicks and looks, the group list's
// cut names, tool tips and right clicks, the caption, the gradient bands.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "app/gui_test_env.h"
#include "controls/gradient.h"
#include "controls/grp_list.h"
#include "controls/icons.h"
#include "controls/my_button.h"
#include "controls/set_button.h"
#include "controls/static_text.h"

namespace vistrel::test {
namespace {

QColor PixelAt(QWidget& widget, QPoint at) {
    return widget.grab().toImage().pixelColor(at);
}

TEST(Gradient, BandsTruncateTowardTheEndColour) {
    const QColor start(71, 58, 101);
    const QColor end(131, 113, 172);
    EXPECT_EQ(GradientBandColor(start, end, 0), start);
    // 71 + 255 * 60 / 256 = 71 + 59 (truncated), and so on per channel.
    EXPECT_EQ(GradientBandColor(start, end, 255), QColor(130, 112, 171));
    EXPECT_EQ(GradientBandColor(start, end, 128), QColor(101, 85, 136));
    // A falling channel truncates toward zero as well.
    EXPECT_EQ(GradientBandColor(QColor(200, 0, 0), QColor(100, 0, 0), 3), QColor(199, 0, 0));

    QImage image(512, 4, QImage::Format_RGB32);
    QPainter painter(&image);
    PaintGradient(painter, image.rect(), start, end);
    painter.end();
    // 256 bands of two pixels each: both pixels of a band share its colour.
    for (int band : {0, 17, 128, 255}) {
        EXPECT_EQ(image.pixelColor(2 * band, 1), GradientBandColor(start, end, band));
        EXPECT_EQ(image.pixelColor(2 * band + 1, 3), GradientBandColor(start, end, band));
    }
}

TEST(Gradient, VerticalBandsRunDownTheHeight) {
    QImage image(3, 256, QImage::Format_RGB32);
    QPainter painter(&image);
    PaintGradient(painter, image.rect(), QColor(131, 113, 172), QColor(240, 240, 240),
                  Qt::Vertical);
    painter.end();
    EXPECT_EQ(image.pixelColor(1, 0), QColor(131, 113, 172));
    EXPECT_EQ(image.pixelColor(0, 200),
              GradientBandColor(QColor(131, 113, 172), QColor(240, 240, 240), 200));
}

class MyButtonTest : public ::testing::Test {
  protected:
    void SetUp() override {
        parent.resize(100, 60);
        parent.setStyleSheet("background: white");
        button = new CMyButton(&parent);
        button->setGeometry(20, 10, 24, 24);
        button->setIconId(AppIcon(IconId::kPowerOn));
        parent.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
    }
    QWidget parent;
    CMyButton* button = nullptr;
};

TEST_F(MyButtonTest, PressDragOffReleaseSendsNothing) {
    QSignalSpy clicks(button, &CMyButton::clicked);
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(12, 12));
    EXPECT_EQ(button->state(), CMyButton::kPressed);
    QMouseEvent move(QEvent::MouseMove, QPointF(60, 40), button->mapToGlobal(QPointF(60, 40)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(button, &move);
    EXPECT_EQ(button->state(), CMyButton::kHover);  // held outside: raised, not sunk
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(60, 40));
    EXPECT_EQ(clicks.count(), 0);
    EXPECT_EQ(button->state(), CMyButton::kNormal);
    EXPECT_FALSE(button->buttonDown());
}

TEST_F(MyButtonTest, OneClickIsExactlyOneCommand) {
    QSignalSpy clicks(button, &CMyButton::clicked);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(12, 12));
    EXPECT_EQ(clicks.count(), 1);
    QTest::mouseClick(button, Qt::RightButton, {}, QPoint(12, 12));
    EXPECT_EQ(clicks.count(), 1);
}

TEST_F(MyButtonTest, HoverRaisesPressSinksAndDisabledDrawsNoFrame) {
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), button->mapToGlobal(QPointF(5, 5)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(button, &move);
    EXPECT_EQ(button->state(), CMyButton::kHover);
    EXPECT_EQ(PixelAt(*button, QPoint(0, 5)), CMyButton::LightEdge());  // top-left light
    EXPECT_EQ(PixelAt(*button, QPoint(23, 5)), CMyButton::DarkEdge());  // bottom-right dark

    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(PixelAt(*button, QPoint(0, 5)), CMyButton::DarkEdge());  // sunken: reversed
    EXPECT_EQ(PixelAt(*button, QPoint(22, 5)), CMyButton::LightEdge());
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(5, 5));

    button->setEnabled(false);
    EXPECT_EQ(button->state(), CMyButton::kDisabled);
    QSignalSpy clicks(button, &CMyButton::clicked);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(12, 12));
    EXPECT_EQ(clicks.count(), 0);
    const QImage disabled = button->grab().toImage();
    EXPECT_NE(disabled.pixelColor(0, 5), CMyButton::LightEdge());
    EXPECT_NE(disabled.pixelColor(0, 5), CMyButton::DarkEdge());
    button->setEnabled(true);
    EXPECT_EQ(button->state(), CMyButton::kNormal);
}

class GrpListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        list = new CGrpList(&parent);
        list->setGeometry(0, 0, 160, 200);
        list->addItem("Hall");
        list->addItem("A group name far too long to fit in the pane at all");
        menu.addAction("&Go To...");
        menu.addAction("&New");
        menu.addSeparator();
        menu.addAction("Se&tting");
        menu.addSeparator();
        menu.addAction("E&xit");
        list->setContextSource(&menu);
        parent.resize(200, 220);
        parent.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
    }
    QPoint ItemCentre(int row) { return list->visualItemRect(list->item(row)).center(); }
    void Hover(QPoint at) {
        QMouseEvent move(QEvent::MouseMove, QPointF(at), list->viewport()->mapToGlobal(QPointF(at)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(list->viewport(), &move);
    }
    QWidget parent;
    QMenu menu;
    CGrpList* list = nullptr;
};

TEST_F(GrpListTest, CutNamesShowATipAndShortOnesNone) {
    EXPECT_FALSE(list->IsCut(0));
    EXPECT_TRUE(list->IsCut(1));
    Hover(ItemCentre(1));
    EXPECT_EQ(list->toolText(), "A group name far too long to fit in the pane at all");
    Hover(ItemCentre(0));
    EXPECT_EQ(list->toolText(), "");
    EXPECT_EQ(list->sizeHintForRow(0), list->ItemHeight());
}

TEST_F(GrpListTest, RightClickSelectsAndShowsTheGroupMenuUpToSetting) {
    QSignalSpy chosen(list, &CGrpList::selectionCommand);
    QStringList shown;
    QObject::connect(list, &CGrpList::contextMenuShown, list, [&shown](QMenu* popup) {
        for (QAction* a : popup->actions())
            shown << (a->isSeparator() ? "-" : a->text());
        QTimer::singleShot(0, popup, &QMenu::close);
    });
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, ItemCentre(1));
    EXPECT_EQ(list->currentRow(), 1);
    EXPECT_EQ(chosen.count(), 1);
    EXPECT_EQ(shown, QStringList({"&Go To...", "&New", "-", "Se&tting"}));
}

TEST_F(GrpListTest, RightClickOnEmptySpaceChangesNothing) {
    list->setCurrentRow(0);
    QSignalSpy chosen(list, &CGrpList::selectionCommand);
    QSignalSpy menus(list, &CGrpList::contextMenuShown);
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, QPoint(50, 190));
    EXPECT_EQ(list->currentRow(), 0);
    EXPECT_EQ(chosen.count(), 0);
    EXPECT_EQ(menus.count(), 0);
}

TEST_F(GrpListTest, SelectedItemTurnsDarkWhenTheListLosesFocus) {
    list->setCurrentRow(0);
    const QPoint probe(list->visualItemRect(list->item(0)).right() - 4, ItemCentre(0).y());
    list->setFocus();
    QApplication::processEvents();
    const QColor focused = list->viewport()->grab().toImage().pixelColor(probe);
    list->clearFocus();
    QApplication::processEvents();
    const QColor unfocused = list->viewport()->grab().toImage().pixelColor(probe);
    EXPECT_EQ(unfocused, list->inactiveBack);
    EXPECT_NE(focused, unfocused);  // the gradient's light end while focused
    const QPoint other(probe.x(), ItemCentre(1).y());
    EXPECT_EQ(list->viewport()->grab().toImage().pixelColor(other), list->normalBack);
}

TEST(StaticText, DrawsOnlyItsTextInItsColour) {
    QWidget parent;
    parent.resize(200, 40);
    parent.setAutoFillBackground(true);
    QPalette pal = parent.palette();
    pal.setColor(QPalette::Window, QColor(10, 20, 30));
    parent.setPalette(pal);
    auto* caption = new CStaticText("Source:", &parent);
    caption->setGeometry(0, 0, 200, 40);
    caption->setStyle(QColor(255, 255, 255), QColor(0, 0, 0), 400);
    parent.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
    const QImage image = parent.grab().toImage();
    EXPECT_EQ(image.pixelColor(1, 1), QColor(10, 20, 30));  // no background of its own
    bool white = false;
    for (int x = 0; x < 200 && !white; ++x) {
        for (int y = 10; y < 30 && !white; ++y)
            white = image.pixelColor(x, y) == Qt::white;
    }
    EXPECT_TRUE(white);
    EXPECT_EQ(caption->weight(), 400);
    EXPECT_EQ(caption->backColor(), QColor(0, 0, 0));
}

TEST(SetButton, GreysWhenDisabledAndSinksWhenHeld) {
    QWidget parent;
    auto* set = new CSetButton(&parent);
    set->setGeometry(0, 0, 24, 22);
    parent.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
    const QImage up = set->grab().toImage();
    set->setFocus();
    set->setDown(true);
    const QImage down = set->grab().toImage();
    EXPECT_NE(up, down);
    set->setDown(false);
    set->setEnabled(false);
    EXPECT_NE(set->grab().toImage(), up);
}

}  // namespace
}  // namespace vistrel::test

namespace vistrel::test {
namespace {

TEST(Icons, EveryIconRendersFromTheResources) {
    for (int i = 0; i <= static_cast<int>(IconId::kNotAnswering); ++i) {
        const auto id = static_cast<IconId>(i);
        const QImage image = AppIcon(id).pixmap(16, 16).toImage();
        ASSERT_FALSE(image.isNull()) << IconPath(id).toStdString();
        bool painted = false;
        for (int y = 0; y < image.height() && !painted; ++y) {
            for (int x = 0; x < image.width() && !painted; ++x) {
                painted = qAlpha(image.pixel(x, y)) > 0;
            }
        }
        EXPECT_TRUE(painted) << IconPath(id).toStdString();
    }
}

}  // namespace
}  // namespace vistrel::test
