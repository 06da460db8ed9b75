#include "recorder/window/StatusCell.h"
#include "recorder/window/ToolbarDelegate.h"

#include <QAction>
#include <QImage>
#include <QPainter>
#include <QToolBar>

#include <gtest/gtest.h>

using namespace recorder;

namespace {

TEST(StatusCell, TicksTurnTheArrowAndMoveTheWave) {
    StatusCell* cell = StatusCell::instance();
    EXPECT_EQ(cell, StatusCell::instance());
    // Bring both to their start, whatever earlier ticks did: the arrow repeats every 72 ticks,
    // the wave every 96.
    for (int i = 0; i < 72 * 96 * 2 && (cell->rotation() != 0 || cell->offset() != 0); ++i)
        cell->tick();
    ASSERT_EQ(cell->rotation(), 0);
    ASSERT_EQ(cell->offset(), 0);
    cell->tick();
    EXPECT_EQ(cell->rotation(), 5);
    EXPECT_EQ(cell->offset(), -0.5f);
    for (int i = 1; i < 72; ++i)
        cell->tick();
    EXPECT_EQ(cell->rotation(), 0);
    for (int i = 72; i < 95; ++i)
        cell->tick();
    EXPECT_EQ(cell->offset(), -47.5f);
    cell->tick();
    EXPECT_EQ(cell->offset(), 0);
}

QImage draw(int state, bool selected) {
    QImage image(40, 20, QImage::Format_ARGB32);
    image.fill(Qt::green); // the row's own background
    QPainter painter(&image);
    StatusCell::instance()->drawInterior(&painter, QRectF(0, 0, 40, 20), state, selected, QColor(Qt::blue));
    return image;
}

TEST(StatusCell, Drawing) {
    const QImage idle = draw(0, false);
    for (int y = 0; y < idle.height(); ++y)
        for (int x = 0; x < idle.width(); ++x)
            ASSERT_EQ(idle.pixelColor(x, y), QColor(Qt::green)) << "state 0 draws nothing";

    const QImage arrow = draw(1, false);
    EXPECT_EQ(arrow.pixelColor(1, 1), QColor(Qt::green)); // the background shows around the arrow
    bool grey = false;
    for (int y = 0; y < arrow.height(); ++y)
        for (int x = 0; x < arrow.width(); ++x)
            grey = grey || arrow.pixelColor(x, y) != QColor(Qt::green);
    EXPECT_TRUE(grey);

    const QImage disc = draw(2, false);
    EXPECT_EQ(disc.pixelColor(1, 1), QColor(Qt::white)); // outside the disc
    const QColor inside = disc.pixelColor(17, 13);
    EXPECT_TRUE(inside == QColor::fromRgbF(1.0f, 0.56f, 0.0f) || inside.red() > 200) << inside.name().toStdString();
    EXPECT_EQ(draw(2, true).pixelColor(1, 1), QColor(Qt::blue)); // the selection colour around the disc
}

TEST(Toolbar, ItemsArrangementAndLookup) {
    QToolBar toolbar;
    int recorded = 0;
    ToolbarDelegate delegate(&toolbar, {{"pf_record", [&] { ++recorded; }}});
    delegate.setArrangement(ToolbarDelegate::toolbarDefaultItemIdentifiers());
    QStringList shown;
    for (QAction* action : toolbar.actions())
        shown << action->objectName();
    EXPECT_EQ(shown, ToolbarDelegate::toolbarDefaultItemIdentifiers());
    EXPECT_EQ(shown.last(), "pf_reveal"); // pushed to the far end by the flexible space
    QAction* record = delegate.itemWithIdentifier("pf_record");
    ASSERT_TRUE(record);
    EXPECT_EQ(record->text(), "Record");
    record->trigger();
    EXPECT_EQ(recorded, 1);
    EXPECT_EQ(ToolbarDelegate::items().at("pf_reveal").paletteLabel, "Reveal File in File Manager");
    EXPECT_EQ(ToolbarDelegate::toolbarAllowedItemIdentifiers().size(), 8);

    // The user took Reveal out: it is simply not found.
    delegate.setArrangement({"pf_record", "pf_remove", "not-an-item"});
    EXPECT_FALSE(delegate.itemWithIdentifier("pf_reveal"));
    EXPECT_EQ(delegate.arrangement(), (QStringList{"pf_record", "pf_remove"}));
}

} // namespace
