#include "windowfixture.h"

#include "progressbar.h"

#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>

namespace {

using StartUpTest = WindowTest;

TEST_F(StartUpTest, CaptionCarriesThreeVersionNumbers)
{
    const QString expected = QStringLiteral("Quorlane %1.%2.%3")
                                 .arg(QUORLANE_TEST_VERSION_MAJOR)
                                 .arg(QUORLANE_TEST_VERSION_MINOR)
                                 .arg(QUORLANE_TEST_VERSION_RELEASE);
    EXPECT_EQ(Window->windowTitle(), expected);
}

TEST_F(StartUpTest, WindowHasTheFixedClientArea)
{
    EXPECT_EQ(Window->size(), QSize(734, 661));
    EXPECT_EQ(Window->minimumSize(), Window->maximumSize());
}

TEST_F(StartUpTest, OpensOnConnectWithOnlyConnectAndAccessTabs)
{
    EXPECT_EQ(Window->PCMain->currentWidget(), Window->TSConnect);
    EXPECT_TRUE(Window->PCMain->IsTabShown(Window->TSConnect));
    EXPECT_TRUE(Window->PCMain->IsTabShown(Window->TSAccess));
    EXPECT_FALSE(Window->PCMain->IsTabShown(Window->TSFirmware));
    EXPECT_FALSE(Window->PCMain->IsTabShown(Window->TSSetup));
    const QStringList captions{Window->PCMain->tabText(0), Window->PCMain->tabText(1), Window->PCMain->tabText(2),
                               Window->PCMain->tabText(3)};
    EXPECT_EQ(captions, QStringList({"  Connect  ", "  Access  ", "  Firmware  ", "  Setup  "}));
}

TEST_F(StartUpTest, PanelsStartGreyWithTheirTexts)
{
    EXPECT_EQ(Window->PComState->text(), "WAIT");
    EXPECT_EQ(Window->PComState->Color(), QColor(128, 128, 128));
    EXPECT_EQ(Window->PAccess->text(), "NOT READY, CONNECT FIRST");
    EXPECT_EQ(Window->PAccess->Color(), QColor(128, 128, 128));
}

TEST_F(StartUpTest, AccessInputsStartEmptyAndDisabled)
{
    for (const char* name :
         {"EWFPass", "ENetIp", "ENetGate", "ENetMask", "EBoardName", "EBoardPass", "EInitSsid", "EInitPass"}) {
        auto* edit = Window->findChild<QLineEdit*>(name);
        ASSERT_NE(edit, nullptr) << name;
        EXPECT_FALSE(edit->isEnabled()) << name;
        EXPECT_TRUE(edit->text().isEmpty()) << name;
    }
    EXPECT_FALSE(Window->findChild<QComboBox*>("CBSsid")->isEnabled());
    EXPECT_TRUE(Window->findChild<QComboBox*>("CBSsid")->isEditable());
    EXPECT_FALSE(Window->findChild<QPushButton*>("BAccessSave")->isEnabled());
}

TEST_F(StartUpTest, PortListIsFilledAndTheFirstPortSelected)
{
    const int index = Window->CBComPort->findText(QString::fromStdString(Board().Path()));
    EXPECT_GE(index, 0);
    EXPECT_EQ(Window->CBComPort->currentIndex(), 0);
    EXPECT_FALSE(Window->CBComPort->isEditable());
}

TEST_F(StartUpTest, EveryControlCanBeFoundByItsName)
{
    for (const char* name :
         {"PCMain",    "TSConnect",   "TSAccess",  "TSFirmware", "TSSetup",    "CBComPort",  "BComRefresh",
          "BComConn",  "BComDisconn", "BComInit",  "PComState",  "MComEcho",   "PAccess",    "CBSsid",
          "EWFPass",   "ENetIp",      "ENetGate",  "ENetMask",   "EBoardName", "EBoardPass", "EInitSsid",
          "EInitPass", "BAccessSave", "CBProject", "BUpload",    "PB",         "MFirmware"}) {
        EXPECT_NE(Window->findChild<QWidget*>(name), nullptr) << name;
    }
}

TEST_F(StartUpTest, ButtonsAndGroupsCarryTheirCaptions)
{
    EXPECT_EQ(Window->BComRefresh->text(), "Refresh");
    EXPECT_EQ(Window->BComConn->text(), "Connect");
    EXPECT_EQ(Window->BComDisconn->text(), "Disconnect");
    EXPECT_EQ(Window->BComInit->text(), "Initialize");
    EXPECT_EQ(Window->BAccessSave->text(), "Save");
    EXPECT_EQ(Window->BUpload->text(), "Upload");
    QStringList groups;
    for (auto* group : Window->TSAccess->findChildren<QGroupBox*>()) {
        groups.append(group->title());
    }
    EXPECT_EQ(groups, QStringList({"Wi-Fi access", "Network (leave blank for auto)", "Board system", "Board hotspot"}));
}

TEST_F(StartUpTest, MemosShowWhiteOnDarkGreyAndAreReadOnly)
{
    for (TMemo* memo : {Window->MComEcho, Window->MFirmware}) {
        EXPECT_TRUE(memo->isReadOnly());
        EXPECT_EQ(memo->palette().color(QPalette::Base), QColor(64, 64, 64));
        EXPECT_EQ(memo->palette().color(QPalette::Text), QColor(Qt::white));
        EXPECT_EQ(memo->LineCount(), 0);
    }
}

TEST_F(StartUpTest, TextUsesVerdanaOrItsStandIn)
{
    const QString family = QFontInfo(Window->font()).family();
    EXPECT_TRUE(family == "Verdana" || family == "DejaVu Sans") << family.toStdString();
}

TEST_F(StartUpTest, ProgressBarStartsEmptyWithMaximum100)
{
    EXPECT_EQ(Window->PB->Maximum(), 100);
    EXPECT_EQ(Window->PB->Position(), 0);
    EXPECT_EQ(Window->PB->size(), QSize(569, 12));
}

using PageChangeTest = WindowTest;

// Each user selection of a page raises the change; a selection from code does not.
TEST_F(PageChangeTest, OnlyTheUsersSelectionRaisesTheChange)
{
    int changes = 0;
    QObject::connect(Window->PCMain, &TPageControl::Change, [&] { ++changes; });
    Window->PCMain->SetActivePage(Window->TSAccess);
    EXPECT_EQ(changes, 0);
    SelectTabByUser(Window->TSConnect);
    EXPECT_EQ(Window->PCMain->currentWidget(), Window->TSConnect);
    EXPECT_EQ(changes, 1);
    SelectTabByUser(Window->TSAccess);
    EXPECT_EQ(changes, 2);
}

TEST_F(PageChangeTest, HidingTheShownTabBringsUpAnotherPageSilently)
{
    Window->PCMain->SetTabShown(Window->TSFirmware, true);
    SelectTabByUser(Window->TSFirmware);
    ASSERT_EQ(Window->PCMain->currentWidget(), Window->TSFirmware);
    int changes = 0;
    QObject::connect(Window->PCMain, &TPageControl::Change, [&] { ++changes; });
    Window->AAccessResetExecute();
    EXPECT_NE(Window->PCMain->currentWidget(), Window->TSFirmware);
    EXPECT_TRUE(Window->PCMain->IsTabShown(Window->PCMain->currentWidget()));
    EXPECT_EQ(changes, 0);
}

} // namespace
