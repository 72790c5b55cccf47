#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QTest>
#include <QWindow>
#include <memory>

#include "CHyperLink.h"

namespace tolvane {
namespace {

constexpr int kLinkId = 1180;
const QColor kLink(0, 0, 238);
const QColor kVisited(85, 26, 139);
const QColor kHover(255, 0, 0);

// Records what would have been opened and answers as told.
class FakeShell : public IDesktopShell {
  public:
    bool Open(const QString& target) override {
        opened.append(target);
        return succeed;
    }
    QStringList opened;
    bool succeed = true;
};

class HyperLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window_ = std::make_unique<QWidget>();
        window_->resize(400, 200);
        link_ = new CHyperLink(kLinkId, window_.get(), shell_);
        link_->move(20, 20);
        link_->setText(QStringLiteral("Visit the web site"));
        link_->SetURL(QStringLiteral("https://example.org/"));
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    }

    void Hover() {
        QTest::mouseMove(window_->windowHandle(), link_->geometry().center());
        QTest::mouseMove(window_->windowHandle(), link_->geometry().center() + QPoint(1, 0));
    }
    void LeaveLink() { QTest::mouseMove(window_->windowHandle(), QPoint(390, 190)); }
    void Click() { QTest::mouseClick(link_, Qt::LeftButton, {}, link_->rect().center()); }

    FakeShell shell_;
    std::unique_ptr<QWidget> window_;
    CHyperLink* link_ = nullptr;
};

TEST_F(HyperLinkTest, Defaults) {
    EXPECT_EQ(link_->controlId(), kLinkId);
    EXPECT_EQ(link_->objectName(), QStringLiteral("1180"));
    EXPECT_EQ(link_->GetLinkColour(), kLink);
    EXPECT_EQ(link_->GetVisitedColour(), kVisited);
    EXPECT_EQ(link_->GetHoverColour(), kHover);
    EXPECT_EQ(link_->GetUnderline(), CHyperLink::kUnderlineHover);
    EXPECT_TRUE(link_->GetAutoSize());
    EXPECT_FALSE(link_->GetVisited());
    EXPECT_EQ(link_->GetCurrentColour(), kLink);
    EXPECT_EQ(link_->palette().color(QPalette::WindowText), kLink);
    EXPECT_EQ(link_->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(link_->toolTip(), QStringLiteral("https://example.org/"));
}

TEST_F(HyperLinkTest, ClickOpensAndTurnsVisited) {
    Click();
    EXPECT_EQ(shell_.opened, QStringList{QStringLiteral("https://example.org/")});
    EXPECT_TRUE(link_->GetVisited());
    EXPECT_FALSE(link_->IsHovering());
    EXPECT_EQ(link_->palette().color(QPalette::WindowText), kVisited);
}

TEST_F(HyperLinkTest, FailedOpenStaysUnvisited) {
    shell_.succeed = false;
    EXPECT_FALSE(link_->Open());
    EXPECT_EQ(shell_.opened.size(), 1);
    EXPECT_FALSE(link_->GetVisited());
    EXPECT_EQ(link_->GetCurrentColour(), kLink);
}

TEST_F(HyperLinkTest, VisitedSurvivesLaterFailures) {
    EXPECT_TRUE(link_->Open());
    shell_.succeed = false;
    EXPECT_FALSE(link_->Open());
    EXPECT_TRUE(link_->GetVisited());
    EXPECT_EQ(link_->GetCurrentColour(), kVisited);
}

TEST_F(HyperLinkTest, HoverColourAndUnderlineWhileOver) {
    Hover();
    EXPECT_TRUE(link_->IsHovering());
    EXPECT_EQ(link_->palette().color(QPalette::WindowText), kHover);
    EXPECT_TRUE(link_->font().underline());
    LeaveLink();
    EXPECT_FALSE(link_->IsHovering());
    EXPECT_EQ(link_->palette().color(QPalette::WindowText), kLink);
    EXPECT_FALSE(link_->font().underline());
}

TEST_F(HyperLinkTest, HoverEndsWithinATimerTickWithoutALeaveEvent) {
    link_->SetVisited(true);
    Hover();
    ASSERT_TRUE(link_->IsHovering());
    // The pointer vanished without a leave event: the 100 ms check notices.
    link_->setAttribute(Qt::WA_UnderMouse, false);
    QCursor::setPos(window_->mapToGlobal(QPoint(390, 190)));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !link_->IsHovering(); }, 1000));
    EXPECT_EQ(link_->GetCurrentColour(), kVisited);
}

TEST_F(HyperLinkTest, UnderlineModes) {
    link_->SetUnderline(CHyperLink::kUnderlineAlways);
    EXPECT_TRUE(link_->font().underline());
    Hover();
    LeaveLink();
    EXPECT_TRUE(link_->font().underline());

    link_->SetUnderline(CHyperLink::kUnderlineNever);
    EXPECT_FALSE(link_->font().underline());
    Hover();
    EXPECT_TRUE(link_->IsHovering());
    EXPECT_FALSE(link_->font().underline());
}

TEST_F(HyperLinkTest, OwnColours) {
    link_->SetColours(Qt::darkGreen, Qt::gray, Qt::magenta);
    EXPECT_EQ(link_->palette().color(QPalette::WindowText), QColor(Qt::darkGreen));
    Hover();
    EXPECT_EQ(link_->palette().color(QPalette::WindowText), QColor(Qt::magenta));
}

TEST_F(HyperLinkTest, FitsItsText) {
    QFont underlined = link_->font();
    underlined.setUnderline(true);
    const int textWidth = QFontMetrics(underlined).horizontalAdvance(link_->text());
    EXPECT_EQ(link_->width(), textWidth);
    EXPECT_EQ(link_->pos(), QPoint(20, 20));

    QFont larger = link_->font();
    larger.setPointSize(larger.pointSize() + 6);
    link_->setFont(larger);
    EXPECT_GT(link_->width(), textWidth);

    link_->SetAutoSize(false);
    link_->resize(30, 10);
    link_->SetURL(QStringLiteral("https://example.org/other"));
    EXPECT_EQ(link_->size(), QSize(30, 10));
}

TEST_F(HyperLinkTest, RightAlignedKeepsItsRightEdge) {
    link_->SetAutoSize(false);
    link_->setAlignment(Qt::AlignRight | Qt::AlignTop);
    link_->setGeometry(20, 20, 300, 30);
    link_->SetAutoSize(true);
    EXPECT_EQ(link_->geometry().right(), 319);
    EXPECT_EQ(link_->geometry().top(), 20);
    EXPECT_LT(link_->width(), 300);
}

TEST(HyperLinkAttach, EmptyAddressUsesTheText) {
    FakeShell shell;
    CHyperLink link(kLinkId, nullptr, shell);
    link.setText(QStringLiteral("https://example.org/text"));
    link.PreSubclassWindow();
    EXPECT_EQ(link.GetURL(), QStringLiteral("https://example.org/text"));
    EXPECT_EQ(link.toolTip(), QStringLiteral("https://example.org/text"));
    link.Open();
    EXPECT_EQ(shell.opened, QStringList{QStringLiteral("https://example.org/text")});
}

TEST(HyperLinkAttach, EmptyTextShowsTheAddress) {
    FakeShell shell;
    CHyperLink link(kLinkId, nullptr, shell);
    link.SetURL(QStringLiteral("https://example.org/"));
    link.PreSubclassWindow();
    EXPECT_EQ(link.text(), QStringLiteral("https://example.org/"));
}

// Setting the address of an attached link leaves its text alone, an empty one too.
TEST(HyperLinkAttach, SetUrlKeepsTheText) {
    FakeShell shell;
    CHyperLink link(kLinkId, nullptr, shell);
    link.SetURL(QStringLiteral("https://example.org/"));
    EXPECT_TRUE(link.text().isEmpty());
    link.setText(QStringLiteral("Caption"));
    link.SetURL(QStringLiteral("https://example.org/other"));
    EXPECT_EQ(link.text(), QStringLiteral("Caption"));
    EXPECT_EQ(link.toolTip(), QStringLiteral("https://example.org/other"));
}

}  // namespace
}  // namespace tolvane
