#include "session/application_location.hpp"

#include <gtest/gtest.h>

TEST(ApplicationLocationTest, AcceptsOnlyPathsBelowTheApplicationsFolder) {
    struct Case {
        const char* application;
        const char* folder;
        bool inside;
    };
    const Case cases[] = {
        {"/home/ann/.local/opt/tessaron/bin/tessaron", "/home/ann/.local/opt", true},
        {"/home/ann/.local/opt/Utilities/tessaron/tessaron", "/home/ann/.local/opt", true},
        {"/home/ann/.local/opt/tessaron", "/home/ann/.local/opt/", true},
        {"/opt/tessaron/tessaron", "/", true},
        // A folder that merely starts with the same letters is another folder.
        {"/home/ann/.local/opt-old/tessaron/tessaron", "/home/ann/.local/opt", false},
        {"/home/ann/.local/opt", "/home/ann/.local/opt", false},
        {"/home/ann/src/tessaron/build/bin/tessaron", "/home/ann/.local/opt", false},
        {"/home/ann/.local/opt/../../src/tessaron", "/home/ann/.local/opt", false},
        {"/home/ann/.local/opt/tessaron", "", false},
        {"/home/ann/.local/opt/tessaron", ".local/opt", false},
    };
    for (const auto& [application, folder, inside] : cases) {
        const tessaron::ApplicationLocation location{QString::fromUtf8(application),
                                                     QString::fromUtf8(folder)};
        EXPECT_EQ(location.isInApplicationsFolder(), inside) << application << " in " << folder;
    }
}
