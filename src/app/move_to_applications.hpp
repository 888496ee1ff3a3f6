#pragma once

#include <QObject>
#include <QString>

#include <functional>

namespace tessaron {

class Workspace;

// What the move needs of the file system; tests substitute their own.
class TessaronMoveFileSystem {
public:
    virtual ~TessaronMoveFileSystem() = default;
    virtual bool fileExists(const QString& path) const = 0;
    virtual bool isWritableFile(const QString& path) const = 0;
    // Empty when the path does not exist.
    virtual QString canonicalPath(const QString& path) const = 0;
    // Copies a folder tree; symbolic links are copied as links. May run off the main thread.
    virtual bool copyRecursively(const QString& source, const QString& destination) = 0;
    virtual bool rename(const QString& from, const QString& to) = 0;
    virtual bool removeRecursively(const QString& path) = 0;
};

// The real file system.
class LocalMoveFileSystem final : public TessaronMoveFileSystem {
public:
    bool fileExists(const QString& path) const override;
    bool isWritableFile(const QString& path) const override;
    QString canonicalPath(const QString& path) const override;
    bool copyRecursively(const QString& source, const QString& destination) override;
    bool rename(const QString& from, const QString& to) override;
    bool removeRecursively(const QString& path) override;
};

// Where the application should be installed and whether it can put itself there.
struct TessaronMoveDecision {
    enum class Action { copyAndRelaunch, revealAndInstruct };

    QString sourcePath;
    QString destinationPath;
    Action action = Action::revealAndInstruct;
    bool replacesExisting = false;
    bool translocated = false;

    static TessaronMoveDecision evaluate(const QString& bundlePath, const QString& applicationsFolder,
                                         const TessaronMoveFileSystem& fileSystem);

    friend bool operator==(const TessaronMoveDecision&, const TessaronMoveDecision&) = default;
};

// Copies the running program folder into the applications folder and starts the copy; where it cannot,
// shows the folder for the user to move. One move at a time.
class TessaronApplicationMover final : public QObject {
    Q_OBJECT
public:
    // `executableName` is the program inside the folder that the relaunch starts.
    TessaronApplicationMover(TessaronMoveFileSystem& fileSystem, Workspace& workspace,
                             QString applicationsFolder, QString executableName, QObject* parent = nullptr);

    bool moveInProgress() const { return moveInProgress_; }
    // `followUp` runs once the move ends without a relaunch.
    void moveOrReveal(const QString& bundlePath, std::function<void()> followUp);

Q_SIGNALS:
    // The copy job ended; the relaunch or the reveal has been started.
    void finished(bool copied);

private:
    // Copies `source` over to `destination` off the main thread, then relaunches from the copy or, when
    // the copy failed, reveals the source. `completion` runs when the move ends without a relaunch.
    void perform(const QString& destination, const QString& source, bool replacesExisting,
                 std::function<void()> completion);
    // Starts the copy as a new instance and ends this one; reveals the source when the copy does not start.
    void relaunchFromApplications(const QString& destination, const QString& source,
                                  const std::function<void()>& completion);
    void revealInFinder(const QString& path, const std::function<void()>& completion);

    TessaronMoveFileSystem& fileSystem_;
    Workspace& workspace_;
    QString applicationsFolder_;
    QString executableName_;
    bool moveInProgress_ = false;
};

// The copy itself: into a staging folder beside the destination, then swapped in by rename, so that a
// failure leaves any installed copy as it was. A source that already is the destination is refused.
bool copyIntoApplications(TessaronMoveFileSystem& fileSystem, const QString& source,
                          const QString& destination, bool replacesExisting);

} // namespace tessaron
