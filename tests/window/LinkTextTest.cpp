// The link's caption in scripts the dialog font has no glyphs for: the glyphs come from
// a fallback font, and the link is sized for them, so nothing is cut and the underline
// shows.

#include <QImage>
#include <QPainter>

#include "CHyperLink.h"
#include "OperationsTestSupport.h"

namespace tolvane::testing {
namespace {

// The bounding box of the strongly blue pixels (the link's colour).
QRect InkBox(const QImage& picture) {
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor colour = QColor::fromRgb(image.pixel(x, y));
            if (colour.blue() - qMax(colour.red(), colour.green()) > 80)
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

// The rows of the ink that run across nearly all of its width: the underline.
int UnderlineRows(const QImage& picture, const QRect& ink) {
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    int rows = 0;
    for (int y = ink.top(); y <= ink.bottom(); ++y) {
        int blue = 0;
        for (int x = ink.left(); x <= ink.right(); ++x) {
            const QColor colour = QColor::fromRgb(image.pixel(x, y));
            blue += colour.blue() - qMax(colour.red(), colour.green()) > 80;
        }
        rows += blue * 10 >= ink.width() * 9;
    }
    return rows;
}

// The caption as it looks with room all round.
QImage Unclipped(const CHyperLink& link) {
    QImage image(link.width() + 60, link.height() + 60, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(link.font());
    painter.setPen(link.GetCurrentColour());
    painter.drawText(QRect(QPoint(0, 0), image.size()), Qt::AlignLeft | Qt::AlignTop, link.text());
    return image;
}

TEST_F(WindowOperations, LinkCaptionIsWholeAndUnderlinedInEveryScript) {
    const struct {
        const char* what;
        const char* caption;
    } cases[] = {
        {"English", "Visit the Tolvane home page"},
        {"Chinese", "访问 Tolvane 主页"},
        {"Japanese", "Tolvane ホームページ"},
        {"Chinese only", "主页主页"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string texts = LanguageFileText("English");
        const std::string key = "zysybrj=English JIEMIAN zysybrj";
        texts.replace(texts.find(key), key.size(), std::string("zysybrj=") + c.caption);
        folder.WriteLanguageFile("english.ini", texts);
        WindowUnderTest window(folder.path());
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.window.get()));
        auto* link = window->Item<CHyperLink>(Id::Link);
        ASSERT_EQ(link->text(), QString::fromUtf8(c.caption));
        ASSERT_TRUE(link->IsUnderlined());

        const QImage whole = Unclipped(*link);
        const QRect wholeInk = InkBox(whole);
        ASSERT_TRUE(wholeInk.isValid());
        ASSERT_GE(UnderlineRows(whole, wholeInk), 1);

        const QImage shown = link->grab().toImage();
        const QRect shownInk = InkBox(shown);
        EXPECT_EQ(shownInk.size(), wholeInk.size());
        EXPECT_GE(UnderlineRows(shown, shownInk), 1);
        // Inside the window, clear of the right edge.
        EXPECT_TRUE(window->rect().contains(link->geometry()));
    }
}

}  // namespace
}  // namespace tolvane::testing
