#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

#include "HelpPage.h"

namespace tolvane {
namespace {

class RecordingShell : public IDesktopShell {
  public:
    bool Open(const QString& target) override {
        opened.append(target);
        return true;
    }
    QStringList opened;
};

// A program folder with help/index.html, help/de/index.html, a page outside the help
// folder and links inside the help folder to both.
class HelpPageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(root_.isValid());
        const QDir root(root_.path());
        ASSERT_TRUE(root.mkpath(QStringLiteral("help/de")));
        ASSERT_TRUE(root.mkpath(QStringLiteral("help/images")));
        for (const char* name :
             {"help/index.html", "help/de/index.html", "secret.html", "help/a page.html"}) {
            QFile file(root.filePath(QString::fromUtf8(name)));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("<!DOCTYPE html><title>x</title>");
        }
        ASSERT_TRUE(QFile::link(root.filePath(QStringLiteral("secret.html")),
                                root.filePath(QStringLiteral("help/out.html"))));
        ASSERT_TRUE(QFile::link(root.filePath(QStringLiteral("help/index.html")),
                                root.filePath(QStringLiteral("help/in.html"))));
    }
    QString HelpFolder() const { return QDir(root_.path()).filePath(QStringLiteral("help")); }
    QString PageUrl(const QString& inHelp) const {
        return QUrl::fromLocalFile(QDir(QDir(HelpFolder()).canonicalPath()).filePath(inHelp))
            .toString(QUrl::FullyEncoded);
    }

    QTemporaryDir root_;
};

TEST_F(HelpPageTest, WebAddressesPassAsTheyAre) {
    for (const char* address :
         {"https://tolvane.example/", "http://example.org/help?x=1#top", "HTTPS://EXAMPLE.ORG/"}) {
        const HelpDestination destination =
            ResolveHelpAddress(QString::fromUtf8(address), HelpFolder());
        EXPECT_TRUE(destination.allowed) << address;
        EXPECT_EQ(destination.address, QString::fromUtf8(address));
    }
}

TEST_F(HelpPageTest, NamesInsideTheHelpFolderBecomeFileUrls) {
    struct Case {
        const char* address;
        const char* page;  // the file opened, inside the help folder
    };
    const Case cases[] = {
        {"index.html", "index.html"},
        {"de/index.html", "de/index.html"},
        {"./de/index.html", "de/index.html"},
        {"a page.html", "a page.html"},
        {"in.html", "index.html"},  // a link that stays inside opens its target
    };
    for (const Case& c : cases) {
        const HelpDestination destination =
            ResolveHelpAddress(QString::fromUtf8(c.address), HelpFolder());
        ASSERT_TRUE(destination.allowed) << c.address;
        EXPECT_EQ(destination.address, PageUrl(QString::fromUtf8(c.page))) << c.address;
        EXPECT_TRUE(QUrl(destination.address).isLocalFile());
        EXPECT_TRUE(QFile::exists(QUrl(destination.address).toLocalFile())) << c.address;
    }
}

TEST_F(HelpPageTest, MissingOrEscapingNamesAreRefused) {
    const QString secret = QDir(root_.path()).filePath(QStringLiteral("secret.html"));
    const QString refused[] = {
        QStringLiteral("missing.html"),
        QStringLiteral("de"),  // a folder, not a page
        QStringLiteral("images/"),
        QStringLiteral("../secret.html"),
        QStringLiteral("de/../../secret.html"),
        QStringLiteral("de/../index.html"),  // stays inside, but climbs all the same
        secret,                              // absolute
        QStringLiteral("file://") + secret,
        QStringLiteral("out.html"),  // a link leading out of the folder
        QStringLiteral("..\\secret.html"),
        QStringLiteral("ftp://example.org/index.html"),
    };
    for (const QString& address : refused) {
        const HelpDestination destination = ResolveHelpAddress(address, HelpFolder());
        EXPECT_FALSE(destination.allowed) << address.toStdString();
        EXPECT_TRUE(destination.address.isEmpty()) << address.toStdString();
    }
    // Without a help folder no page is found.
    EXPECT_FALSE(ResolveHelpAddress(QStringLiteral("index.html"), QString()).allowed);
    EXPECT_FALSE(
        ResolveHelpAddress(QStringLiteral("index.html"), HelpFolder() + QStringLiteral("-gone"))
            .allowed);
}

TEST_F(HelpPageTest, ShellOpensWhatIsAllowedAndReportsWhatIsRefused) {
    RecordingShell desktop;
    QStringList refusals;
    HelpOpeningShell shell(
        desktop, [this] { return HelpFolder(); },
        [&refusals](const QString& address) { refusals.append(address); });
    EXPECT_TRUE(shell.Open(QStringLiteral("https://tolvane.example/")));
    EXPECT_TRUE(shell.Open(QStringLiteral("de/index.html")));
    EXPECT_FALSE(shell.Open(QStringLiteral("../secret.html")));
    EXPECT_FALSE(shell.Open(QStringLiteral("missing.html")));
    EXPECT_EQ(desktop.opened, QStringList({QStringLiteral("https://tolvane.example/"),
                                           PageUrl(QStringLiteral("de/index.html"))}));
    EXPECT_EQ(refusals,
              QStringList({QStringLiteral("../secret.html"), QStringLiteral("missing.html")}));
}

}  // namespace
}  // namespace tolvane
