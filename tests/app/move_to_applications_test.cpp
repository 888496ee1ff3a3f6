#include "app/move_to_applications.hpp"
#include "support/fake_workspace.hpp"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace tessaron::testing {
namespace {

// Folders by path, each with the version of the program it holds.
class FakeMoveFileSystem final : public TessaronMoveFileSystem {
public:
    bool fileExists(const QString& path) const override { return items.contains(path); }
    bool isWritableFile(const QString& path) const override { return !readOnly.contains(path); }
    QString canonicalPath(const QString& path) const override {
        const QString resolved = aliases.value(path, path);
        return items.contains(resolved) ? resolved : QString();
    }
    bool copyRecursively(const QString& source, const QString& destination) override {
        if (failCopy || !items.contains(source))
            return false;
        items.insert(destination, items.value(source));
        return true;
    }
    bool rename(const QString& from, const QString& to) override {
        if (failRenameTo.remove(to) || !items.contains(from))
            return false;
        items.insert(to, items.take(from));
        return true;
    }
    bool removeRecursively(const QString& path) override {
        items.remove(path);
        return true;
    }

    QHash<QString, QString> items;
    QHash<QString, QString> aliases;
    QSet<QString> readOnly;
    // Each path here refuses the next rename onto it, once.
    QSet<QString> failRenameTo;
    bool failCopy = false;
};

const QString applications = QStringLiteral("/opt/apps");
const QString installed = QStringLiteral("/opt/apps/Tessaron.app");
const QString downloaded = QStringLiteral("/home/ada/Downloads/Tessaron.app");

TEST(MoveDecision, WritableDestinationsAreCopiedOthersRevealed) {
    using A = TessaronMoveDecision::Action;
    struct Row {
        bool exists, writable;
        A action;
        bool replaces;
    };
    for (const auto& row :
         {Row{false, true, A::copyAndRelaunch, false}, Row{false, false, A::revealAndInstruct, false},
          Row{true, true, A::copyAndRelaunch, true}, Row{true, false, A::revealAndInstruct, false}}) {
        FakeMoveFileSystem files;
        if (row.exists)
            files.items.insert(installed, QStringLiteral("old"));
        if (!row.writable)
            files.readOnly = {applications, installed};
        const auto d = TessaronMoveDecision::evaluate(downloaded, applications, files);
        EXPECT_EQ(std::tuple(d.action, d.replacesExisting, d.destinationPath, d.translocated),
                  std::tuple(row.action, row.replaces, installed, false))
            << row.exists << row.writable;
    }
    FakeMoveFileSystem files;
    EXPECT_TRUE(TessaronMoveDecision::evaluate(
                    QStringLiteral("/private/var/AppTranslocation/X/d/Tessaron.app"), applications, files)
                    .translocated);
}

// The success path is walked on the real file system below.
TEST(InstallByCopy, SwapsInOnlyACompleteCopyAndRefusesTheDestinationAsSource) {
    FakeMoveFileSystem files;
    const QString link = QStringLiteral("/home/ada/link-to-apps/Tessaron.app");
    files.items = {{downloaded, QStringLiteral("new")}, {installed, QStringLiteral("old")}};
    files.aliases.insert(link, installed);
    EXPECT_FALSE(copyIntoApplications(files, installed, installed, true));
    EXPECT_FALSE(copyIntoApplications(files, link, installed, true));
    files.failCopy = true;
    EXPECT_FALSE(copyIntoApplications(files, downloaded, installed, true));
    files.failCopy = false;
    files.failRenameTo.insert(installed);
    EXPECT_FALSE(copyIntoApplications(files, downloaded, installed, true));
    EXPECT_EQ(files.items.value(installed), QStringLiteral("old")) << "failures leave the installed copy";
    EXPECT_EQ(files.items.size(), 2) << "nothing left over beside it";
}

TEST(LocalMoveFileSystem, CopiesFoldersWithTheirLinksAndSwapsThemIn) {
    QTemporaryDir root;
    const QString source = root.filePath("Downloads/Tessaron.app");
    const QString destination = root.filePath("apps/Tessaron.app");
    QDir().mkpath(source + "/lib");
    QDir().mkpath(destination);
    QFile program(source + "/tessaron");
    ASSERT_TRUE(program.open(QIODevice::WriteOnly) && program.write("new") == 3);
    program.close();
    ASSERT_TRUE(QFile::link("../tessaron", source + "/lib/current"));
    ASSERT_TRUE(QFile(destination + "/stale").open(QIODevice::WriteOnly));

    LocalMoveFileSystem files;
    ASSERT_TRUE(copyIntoApplications(files, source, destination, true));
    const QFileInfo link(destination + "/lib/current");
    EXPECT_EQ(std::tuple(link.isSymLink(), link.symLinkTarget(), QFileInfo::exists(destination + "/stale")),
              std::tuple(true, destination + "/tessaron", false));
    EXPECT_EQ(QDir(root.filePath("apps")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"Tessaron.app"});
}

TEST(ApplicationMover, ASuccessfulCopyStartsItAndQuitsFailuresRevealTheRunningCopy) {
    FakeMoveFileSystem files;
    files.items.insert(downloaded, QStringLiteral("new"));
    FakeWorkspace workspace;
    TessaronApplicationMover mover{files, workspace, applications, QStringLiteral("tessaron")};
    int followUps = 0;
    const auto move = [&] {
        QSignalSpy finished(&mover, &TessaronApplicationMover::finished);
        mover.moveOrReveal(downloaded, [&] { ++followUps; });
        EXPECT_TRUE(mover.moveInProgress());
        // A second click while the copy runs does nothing.
        mover.moveOrReveal(downloaded, [&] { ++followUps; });
        EXPECT_TRUE(finished.wait(5000));
        return std::pair(finished.value(0).value(0).toBool(), mover.moveInProgress());
    };
    files.failCopy = true;
    EXPECT_EQ(move(), std::pair(false, false));
    EXPECT_EQ(workspace.revealed, QStringList{downloaded});
    EXPECT_EQ(followUps, 1);

    files.failCopy = false;
    workspace.launchSucceeds = false;
    EXPECT_EQ(move(), std::pair(true, false));
    EXPECT_EQ(std::pair(workspace.quits, followUps), std::pair(0, 2));

    workspace.launchSucceeds = true;
    EXPECT_TRUE(move().first);
    EXPECT_EQ(workspace.launched.last(), installed + QStringLiteral("/tessaron"));
    EXPECT_EQ(std::pair(workspace.quits, followUps), std::pair(1, 2));
}

} // namespace
} // namespace tessaron::testing
