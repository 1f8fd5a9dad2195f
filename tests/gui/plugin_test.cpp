// The plug-in command: the "*.dll" libraries of the current folder are
// loaded, their kvMain is called, and the outcome is told in a box.
#include <algorithm>

#include <QCoreApplication>
#include <QFile>

#include "gui_test_support.h"
#include "plugins/plugin_installer.h"

namespace korvanti::testing {
namespace {

const QString kInstalled = QStringLiteral("正常にプラグインの追加を行いました。");
const QString kBroken =
    QStringLiteral("エラーのあるプラグインファイルです。有効なプラグインファイルではありません。追加を行えません。");

class Plugins : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        previous_ = QDir::currentPath();
        QDir::setCurrent(folder->path());
    }
    void TearDown() override
    {
        QDir::setCurrent(previous_);
        WindowTest::TearDown();
    }
    // Copies a test library (built beside this program) into the folder.
    void Install(const char* library, const QString& as)
    {
        const QString from = QCoreApplication::applicationDirPath() + QStringLiteral("/plugins/") +
                             QLatin1String(library) + QStringLiteral(".dll");
        ASSERT_TRUE(QFile::copy(from, QDir(folder->path()).absoluteFilePath(as))) << from.toStdString();
    }
    std::vector<QString> Texts() const
    {
        std::vector<QString> texts;
        for (const ShownBox& box : boxes->shown) {
            EXPECT_EQ(box.caption, QString());
            EXPECT_EQ(box.style, kStyleOk);
            texts.push_back(box.text);
        }
        return texts;
    }

private:
    QString previous_;
};

TEST_F(Plugins, NoLibraryNoMessage)
{
    window->InstallPlugins();
    EXPECT_TRUE(boxes->shown.empty());
}

TEST_F(Plugins, OneValidLibrary)
{
    Install("installs", QStringLiteral("first.dll"));
    window->InstallPlugins();
    EXPECT_EQ(Texts(), std::vector<QString>{kInstalled});
}

TEST_F(Plugins, EachLibraryGetsItsOwnMessage)
{
    Install("installs", QStringLiteral("first.dll"));
    Install("installs", QStringLiteral("second.DLL"));
    Install("declines", QStringLiteral("quiet.dll"));
    Install("no_entry", QStringLiteral("broken.dll"));
    QFile junk(QDir(folder->path()).absoluteFilePath(QStringLiteral("junk.dll")));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a library");
    junk.close();
    Install("installs", QStringLiteral("ignored.so"));

    window->InstallPlugins();
    std::vector<QString> texts = Texts();
    std::sort(texts.begin(), texts.end());
    std::vector<QString> expected{kInstalled, kInstalled, kBroken};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(texts, expected);

    // Choosing it again calls every plug-in again.
    boxes->shown.clear();
    window->InstallPlugins();
    EXPECT_EQ(Texts().size(), 3u);
}

TEST_F(Plugins, ADecliningLibraryIsQuiet)
{
    Install("declines", QStringLiteral("quiet.dll"));
    window->InstallPlugins();
    EXPECT_TRUE(boxes->shown.empty());
}

TEST_F(Plugins, LibrariesAreLoadedFromTheSearchedFolder)
{
    Install("installs", QStringLiteral("first.dll"));
    std::vector<std::string> paths;
    const int found = InstallPlugins(QFile::encodeName(folder->path()).toStdString(),
                                     [&](PluginOutcome, const std::string& path) { paths.push_back(path); });
    EXPECT_EQ(found, 1);
    ASSERT_EQ(paths.size(), 1u);
    EXPECT_EQ(paths[0], QFile::encodeName(folder->path()).toStdString() + "/first.dll");
}

TEST_F(Plugins, AMissingFolderFindsNothing)
{
    int reports = 0;
    EXPECT_EQ(InstallPlugins("/no/such/folder", [&](PluginOutcome, const std::string&) { ++reports; }), 0);
    EXPECT_EQ(reports, 0);
}

} // namespace
} // namespace korvanti::testing
