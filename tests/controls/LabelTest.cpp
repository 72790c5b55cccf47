#include <gtest/gtest.h>

#include <QImage>
#include <QTest>
#include <memory>

#include "CLabel.h"

namespace tolvane {
namespace {

constexpr int kLabelId = 1018;

// Rightmost column holding a pixel of the given colour, -1 if none.
int RightmostInk(const QImage& image, QColor ink) {
    for (int x = image.width() - 1; x >= 0; --x) {
        for (int y = 0; y < image.height(); ++y) {
            const QColor pixel(image.pixel(x, y));
            if (std::abs(pixel.red() - ink.red()) < 60 &&
                std::abs(pixel.green() - ink.green()) < 60 &&
                std::abs(pixel.blue() - ink.blue()) < 60) {
                return x;
            }
        }
    }
    return -1;
}

class LabelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        label_ = std::make_unique<CLabel>(kLabelId);
        label_->resize(300, 40);
    }
    QImage Painted() { return label_->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    std::unique_ptr<CLabel> label_;
};

TEST_F(LabelTest, KeepsItsId) {
    EXPECT_EQ(label_->controlId(), kLabelId);
    EXPECT_EQ(label_->objectName(), QStringLiteral("1018"));
}

TEST_F(LabelTest, LayoutFollowsTheAlignment) {
    label_->SetText(QStringLiteral("Converting 3 of 5"));
    EXPECT_EQ(label_->DrawFlags(), Qt::AlignLeft | Qt::TextWordWrap);
    label_->setWordWrap(false);
    EXPECT_EQ(label_->DrawFlags(), int(Qt::AlignLeft));
    label_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    EXPECT_EQ(label_->DrawFlags(), Qt::AlignHCenter | Qt::TextWordWrap);
    label_->setAlignment(Qt::AlignRight | Qt::AlignTop);
    EXPECT_EQ(label_->DrawFlags(), Qt::AlignRight | Qt::TextWordWrap);
    label_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    EXPECT_EQ(label_->DrawFlags(), Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine);
    label_->SetText(QStringLiteral("two\r\nlines"));
    EXPECT_EQ(label_->DrawFlags(), int(Qt::AlignHCenter));
    label_->SetText(QStringLiteral("a\tb"));
    EXPECT_TRUE(label_->DrawFlags() & Qt::TextExpandTabs);
}

TEST_F(LabelTest, PaintsBackgroundAndText) {
    label_->SetBkColor(QColor(10, 20, 30));
    label_->SetTextColor(QColor(250, 250, 0));
    label_->SetText(QStringLiteral("Progress"));
    const QImage painted = Painted();
    EXPECT_EQ(QColor(painted.pixel(299, 39)), QColor(10, 20, 30));
    EXPECT_GT(RightmostInk(painted, QColor(250, 250, 0)), 10);
    EXPECT_EQ(label_->GetTextColor(), QColor(250, 250, 0));
}

TEST_F(LabelTest, TabsAreExpanded) {
    label_->SetBkColor(Qt::white);
    label_->SetTextColor(Qt::black);
    label_->SetText(QStringLiteral("ab"));
    const int withoutTab = RightmostInk(Painted(), Qt::black);
    label_->SetText(QStringLiteral("a\tb"));
    const int withTab = RightmostInk(Painted(), Qt::black);
    ASSERT_GT(withoutTab, 0);
    EXPECT_GT(withTab, withoutTab + 15);
}

TEST_F(LabelTest, RepaintsWhenTheTextChanges) {
    label_->SetBkColor(Qt::white);
    label_->SetTextColor(Qt::black);
    label_->SetText(QStringLiteral("1%"));
    const QImage before = Painted();
    label_->SetText(QStringLiteral("100%"));
    EXPECT_NE(Painted(), before);
    EXPECT_EQ(label_->GetText(), QStringLiteral("100%"));
}

}  // namespace
}  // namespace tolvane
