#include "controls/flashplayerwidget.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTemporaryDir>

#include "tests/support/moviefile.h"
#include "tests/support/qtapp.h"

namespace {

TEST(FlashPlayerWidget, ClockRunsOnlyWhilePlaying) {
    EnsureQtApplication();
    QTemporaryDir dir;
    const std::string movie = dir.filePath("m.swf").toStdString();
    WriteMovie(movie, 64, 48, 50, 40);
    CFlashPlayerWidget widget;
    widget.resize(64, 48);
    widget.SetMovie(movie);
    widget.SetLoop(FALSE);
    EXPECT_EQ(widget.GetTotalFrames(), 40);
    widget.Play();
    QElapsedTimer clock;
    clock.start();
    while (widget.CurrentFrame() < 3 && clock.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_GE(widget.CurrentFrame(), 3);
    widget.Stop();
    const long stoppedAt = widget.CurrentFrame();
    clock.restart();
    while (clock.elapsed() < 200) QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(widget.CurrentFrame(), stoppedAt);
    widget.GotoFrame(7);
    EXPECT_EQ(widget.CurrentFrame(), 7);
    widget.Rewind();
    EXPECT_EQ(widget.CurrentFrame(), 0);
    EXPECT_FALSE(widget.grab().isNull());
}

}  // namespace
