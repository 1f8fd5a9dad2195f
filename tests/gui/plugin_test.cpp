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
    // Copies a test library (built beside this program) into the folder;
    // no library writes a file that is not one.
    void Install(const char* library, const QString& as)
    {
        const QString to = QDir(folder->path()).absoluteFilePath(as);
        if (*library == '\0') {
            QFile junk(to);
            ASSERT_TRUE(junk.open(QIODevice::WriteOnly) && junk.write("not a library") > 0);
            return;
        }
        const QString from = QCoreApplication::applicationDirPath() + QStringLiteral("/plugins/") +
                             QLatin1String(library) + QStringLiteral(".dll");
        ASSERT_TRUE(QFile::copy(from, to)) << from.toStdString();
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

TEST_F(Plugins, EachLibraryGetsItsOwnMessage)
{
    // Each row adds libraries (test library, name in the folder) to those of
    // the rows before, and choosing the command calls every one again.
    const struct {
        std::vector<std::pair<const char*, const char*>> libraries;
        std::vector<QString> texts;
    } cases[] = {
        {{}, {}},
        {{{"installs", "first.dll"}}, {kInstalled}},
        {{{"declines", "quiet.dll"}}, {kInstalled}},
        {{{"installs", "second.DLL"}, {"no_entry", "broken.dll"}, {"installs", "ignored.so"}, {"", "junk.dll"}},
         {kInstalled, kInstalled, kBroken}},
    };
    for (const auto& c : cases) {
        for (const auto& [library, as] : c.libraries)
            Install(library, QLatin1String(as));
        boxes->shown.clear();
        window->InstallPlugins();
        std::vector<QString> texts = Texts();
        std::vector<QString> expected = c.texts;
        std::sort(texts.begin(), texts.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(texts, expected) << c.libraries.size() << " libraries";
    }
}

TEST_F(Plugins, LibrariesAreLoadedFromTheSearchedFolder)
{
    Install("installs", QStringLiteral("first.dll"));
    std::vector<std::string> paths;
    const int found = InstallPlugins(QFile::encodeName(folder->path()).toStdString(),
                                     [&](PluginOutcome, const std::string& path) { paths.push_back(path); });
    EXPECT_EQ(found, 1);
    EXPECT_EQ(paths, std::vector<std::string>{QFile::encodeName(folder->path()).toStdString() + "/first.dll"});
    EXPECT_EQ(InstallPlugins("/no/such/folder", [&](PluginOutcome, const std::string&) { paths.clear(); }), 0);
    EXPECT_EQ(paths.size(), 1u);
}

} // namespace
} // namespace korvanti::testing
