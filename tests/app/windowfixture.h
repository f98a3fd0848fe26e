#pragma once

#include "application.h"
#include "filedialoganswer.h"
#include "fmain.h"
#include "memo.h"
#include "pagecontrol.h"
#include "ptyboard.h"
#include "statuspanel.h"
#include "tempdir.h"
#include "testapplication.h"

#include <QAccessible>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// The lines a memo shows, top to bottom.
inline QStringList MemoLines(const TMemo* memo)
{
    QStringList lines;
    for (int index = 0; index < memo->LineCount(); ++index) {
        lines.append(memo->Line(index));
    }
    return lines;
}

// A real main window under the offscreen platform, its serial port list pointed at pseudo-terminal boards. Message
// boxes that the default error display opens are recorded and closed, so a test can check what the user saw.
class WindowTest : public testing::Test
{
protected:
    static void SetUpTestSuite() { EnsureTestApplication(); }

    void SetUp() override
    {
        // The user's settings of the machine stay out of the tests, and the tests' out of the machine's.
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(ConfigDir.Path()));
        AddBoard();
        BoxCloser.setInterval(20);
        QObject::connect(&BoxCloser, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                Boxes.push_back({box->windowTitle(), box->text()});
                box->done(0);
            }
        });
        BoxCloser.start();
        Window = std::make_unique<TFMain>();
        Window->show();
    }

    void TearDown() override
    {
        Window.reset();
        BoxCloser.stop();
    }

    // A new board whose port the next refresh offers.
    TPtyBoard& AddBoard()
    {
        auto& board = *Boards.emplace_back(std::make_unique<TPtyBoard>());
        board.WhileFull = [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); };
        OfferPorts();
        return board;
    }

    // Offers the boards' devices (and the extra paths) as serial ports through the port list's environment entry.
    void OfferPorts(const std::vector<std::string>& extra = {})
    {
        std::string paths;
        for (const auto& board : Boards) {
            paths += (paths.empty() ? "" : ":") + board->Path();
        }
        for (const auto& path : extra) {
            paths += (paths.empty() ? "" : ":") + path;
        }
        qputenv("QUORLANE_EXTRA_PORTS", QByteArray::fromStdString(paths));
    }

    TPtyBoard& Board() { return *Boards.front(); }

    // Processes events until the condition holds; false when it did not within the time.
    static bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 5000)
    {
        return ProcessEventsUntil(condition, timeoutMs);
    }

    static void Click(QWidget* control) { QTest::mouseClick(control, Qt::LeftButton); }

    // Entries show the adapter's name beside the path; the path is each entry's data.
    void SelectPort(const std::string& path)
    {
        Window->CBComPort->setCurrentIndex(Window->CBComPort->findData(QString::fromStdString(path)));
    }

    // Selects the board's port and clicks Connect, as a user does.
    void Connect()
    {
        SelectPort(Board().Path());
        Click(Window->BComConn);
        ASSERT_EQ(Window->PComState->text(), "ONLINE");
    }

    // The control that a screen reader names so: the one focusable control of the window with that accessible name,
    // or none when there is none or more than one.
    QWidget* SpokenControl(const QString& name) const
    {
        QWidget* found = nullptr;
        for (QWidget* control : Window->findChildren<QWidget*>()) {
            QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(control);
            if (control->focusPolicy() != Qt::NoFocus && spoken != nullptr && spoken->text(QAccessible::Name) == name) {
                if (found != nullptr) {
                    return nullptr;
                }
                found = control;
            }
        }
        return found;
    }

    // The caption that labels a control for screen readers, its buddy label's text. A drop-down list is known by
    // it: on Linux its accessible name is its current text.
    static QString CaptionOf(QWidget* control)
    {
        const auto labels = QAccessible::queryAccessibleInterface(control)->relations(QAccessible::Label);
        return labels.isEmpty() ? QString() : labels.front().first->text(QAccessible::Name);
    }

    // The named controls that Tab visits from `first` on, `count` of them, as the keyboard moves the focus.
    QStringList TabVisits(QWidget* first, int count)
    {
        Window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(Window.get()));
        first->setFocus(Qt::TabFocusReason);
        QStringList visits;
        for (int visit = 0; visit < count; ++visit) {
            QWidget* focused = QApplication::focusWidget();
            while (focused != nullptr && focused->objectName().isEmpty()) {
                focused = focused->parentWidget();
            }
            visits.append(focused != nullptr ? focused->objectName() : QString());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        return visits;
    }

    // The console lines the memo shows, top to bottom.
    QStringList EchoLines() const { return MemoLines(Window->MComEcho); }

    void SelectTabByUser(QWidget* page)
    {
        QTabBar* bar = Window->PCMain->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(Window->PCMain->indexOf(page)).center());
    }

    struct TBox
    {
        QString Title;
        QString Text;
    };

    quorlane::testsupport::TTempDir ConfigDir;
    std::vector<std::unique_ptr<TPtyBoard>> Boards;
    std::unique_ptr<TFMain> Window;
    std::vector<TBox> Boxes;
    QTimer BoxCloser;
};
