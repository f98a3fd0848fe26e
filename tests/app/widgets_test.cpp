#include "application.h"
#include "memo.h"
#include "pagecontrol.h"
#include "progressbar.h"
#include "statuspanel.h"
#include "testapplication.h"

#include <QImage>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

class WidgetsTest : public testing::Test
{
protected:
    static void SetUpTestSuite() { EnsureTestApplication(); }
};

using ErrorDisplayTest = WidgetsTest;

TEST_F(ErrorDisplayTest, FullStopIsAddedAfterALetter)
{
    EXPECT_EQ(ErrorDisplayText("Internet error"), "Internet error.");
    EXPECT_EQ(ErrorDisplayText(QString::fromUtf8("Порт занят другой программой")),
              QString::fromUtf8("Порт занят другой программой."));
}

TEST_F(ErrorDisplayTest, NoFullStopAfterCharactersThatSortBeforeIt)
{
    EXPECT_EQ(ErrorDisplayText("Internet error!"), "Internet error!");
    EXPECT_EQ(ErrorDisplayText("done."), "done.");
    EXPECT_EQ(ErrorDisplayText("(code 5)"), "(code 5)");
    EXPECT_EQ(ErrorDisplayText(""), "");
}

TEST_F(ErrorDisplayTest, DigitsAndSlashSortAfterTheFullStop)
{
    EXPECT_EQ(ErrorDisplayText("code 5"), "code 5.");
    EXPECT_EQ(ErrorDisplayText("path/"), "path/.");
}

class TThrowingObject : public QObject
{
public:
    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::User) {
            throw std::runtime_error("Board went away");
        }
        return QObject::event(event);
    }
};

TEST_F(ErrorDisplayTest, ExceptionLeavingAnEventHandlerIsShownAndTheProgramGoesOn)
{
    QStringList shown;
    QTimer closer;
    closer.setInterval(20);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown.append(box->windowTitle() + "|" + box->text());
            box->done(0);
        }
    });
    closer.start();
    TThrowingObject object;
    QCoreApplication::postEvent(&object, new QEvent(QEvent::User));
    QCoreApplication::processEvents();
    EXPECT_EQ(shown, QStringList{"Quorlane|Board went away."});
    bool delivered = false;
    QTimer::singleShot(0, [&] { delivered = true; });
    QCoreApplication::processEvents();
    EXPECT_TRUE(delivered);
}

using ProgressBarTest = WidgetsTest;

TEST_F(ProgressBarTest, NegativeMaximumIsStoredAsZero)
{
    TQProgressBar bar;
    bar.SetMaximum(-5);
    EXPECT_EQ(bar.Maximum(), 0);
}

TEST_F(ProgressBarTest, FillFollowsPositionAndClampsAtBothEnds)
{
    TQProgressBar bar;
    bar.SetMaximum(200);
    bar.SetPosition(50);
    EXPECT_EQ(bar.Filled(400).Width, 100);
    EXPECT_EQ(bar.accessibleDescription(), "25 %");
    bar.SetPosition(500);
    EXPECT_EQ(bar.Filled(400).Width, 400);
    bar.SetPosition(-3);
    EXPECT_EQ(bar.Filled(400).Width, 0);
}

// An unknown total (a HEAD answer without a usable length) moves a block along as the bytes come in.
TEST_F(ProgressBarTest, ZeroMaximumMovesABlockAlongWithThePosition)
{
    TQProgressBar bar;
    bar.SetMaximum(0);
    bar.SetPosition(0);
    EXPECT_EQ(bar.Filled(400).Width, 0);
    bar.SetPosition(64 * 1024);
    const TQProgressBar::TFill early = bar.Filled(400);
    bar.SetPosition(128 * 1024);
    const TQProgressBar::TFill later = bar.Filled(400);
    EXPECT_EQ(early.Width, 80);
    EXPECT_GT(later.Start, early.Start);
    EXPECT_LE(later.Start + later.Width, 400);
    EXPECT_EQ(bar.accessibleDescription(), "131072 bytes");
}

TEST_F(ProgressBarTest, LargePositionsDoNotOverflow)
{
    TQProgressBar bar;
    bar.SetMaximum(2000000000);
    bar.SetPosition(1000000000);
    EXPECT_EQ(bar.Filled(569).Width, 284);
}

TEST_F(ProgressBarTest, PaintsLimeOnWhite)
{
    TQProgressBar bar;
    bar.SetPosition(50);
    const QImage image = bar.grab().toImage();
    EXPECT_EQ(image.pixelColor(10, 6), QColor(0, 255, 0));
    EXPECT_EQ(image.pixelColor(560, 6), QColor(Qt::white));
}

using MemoTest = WidgetsTest;

TEST_F(MemoTest, LinesAreAddedAtTheEnd)
{
    TMemo memo;
    EXPECT_EQ(memo.LineCount(), 0);
    memo.AddLine("one");
    memo.AddLines({"two", "three"});
    EXPECT_EQ(memo.LineCount(), 3);
    EXPECT_EQ(memo.Line(0), "one");
    EXPECT_EQ(memo.Line(2), "three");
}

TEST_F(MemoTest, KeepLastLinesDeletesTheOldest)
{
    TMemo memo;
    QStringList lines;
    for (int line = 0; line < 10; ++line) {
        lines.append(QString::number(line));
    }
    memo.AddLines(lines);
    memo.KeepLastLines(4);
    EXPECT_EQ(memo.LineCount(), 4);
    EXPECT_EQ(memo.Line(0), "6");
    EXPECT_EQ(memo.Line(3), "9");
    memo.KeepLastLines(4);
    EXPECT_EQ(memo.LineCount(), 4);
}

TEST_F(MemoTest, ClearedMemoStartsAgainAtTheFirstLine)
{
    TMemo memo;
    memo.AddLines({"a", "b"});
    memo.clear();
    memo.AddLine("c");
    EXPECT_EQ(memo.LineCount(), 1);
    EXPECT_EQ(memo.Line(0), "c");
}

using StatusPanelTest = WidgetsTest;

TEST_F(StatusPanelTest, ClickIsRaisedByTheMouse)
{
    TStatusPanel panel;
    panel.resize(100, 30);
    int clicks = 0;
    QObject::connect(&panel, &TStatusPanel::Click, [&] { ++clicks; });
    QTest::mouseClick(&panel, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
}

TEST_F(StatusPanelTest, StateSetsTextAndBackground)
{
    TStatusPanel panel;
    panel.SetState("ONLINE", PanelColor::Olive);
    EXPECT_EQ(panel.text(), "ONLINE");
    EXPECT_EQ(panel.palette().color(QPalette::Window), QColor(128, 128, 0));
    EXPECT_EQ(panel.palette().color(QPalette::WindowText), QColor(Qt::white));
}

} // namespace
