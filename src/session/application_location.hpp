#pragma once

#include <QString>

namespace tessaron {

// Where the application runs from, against the one applications folder fixed when it was built.
struct ApplicationLocation {
    QString applicationPath;
    QString applicationsFolder;

    // True when the application lies anywhere below the applications folder.
    bool isInApplicationsFolder() const;

    // The running executable and the built-in applications folder, with symbolic links resolved where
    // the folder exists, as they are in the executable's path.
    static ApplicationLocation running();
};

} // namespace tessaron
