// Where orvex.ini is kept, from what is seen of the program's folder: on POSIX systems a file
// that cannot be written is still the user's; on Windows, in a folder that takes no new file (an
// installed program's), it is passed over for the user's own folder.
#include <gtest/gtest.h>

#include "store/SettingsFolder.h"

namespace {

SettingsFileView File(bool readable, bool writable, bool folderTakesFile) {
    return {true, readable, writable, folderTakesFile};
}

TEST(SettingsFolderRule, MissingFileGoesWhereItCanBeCreated) {
    for (const UnwritableSettings rule :
         {UnwritableSettings::Kept, UnwritableSettings::PassedOver}) {
        EXPECT_TRUE(KeepsSettings({false, false, false, true}, rule));
        EXPECT_FALSE(KeepsSettings({false, false, false, false}, rule));
    }
}

TEST(SettingsFolderRule, UnreadableFileIsNeverTaken) {
    for (const UnwritableSettings rule :
         {UnwritableSettings::Kept, UnwritableSettings::PassedOver}) {
        EXPECT_FALSE(KeepsSettings(File(false, true, true), rule));
        EXPECT_FALSE(KeepsSettings(File(false, false, false), rule));
    }
}

TEST(SettingsFolderRule, WritableFileWinsEvenInAFolderThatTakesNoFile) {
    for (const UnwritableSettings rule :
         {UnwritableSettings::Kept, UnwritableSettings::PassedOver}) {
        EXPECT_TRUE(KeepsSettings(File(true, true, false), rule));
        EXPECT_TRUE(KeepsSettings(File(true, true, true), rule));
    }
}

TEST(SettingsFolderRule, UnwritableFileCountsByThePlatformsRule) {
    // A write-protected file beside a portable copy: the user's choice on both systems.
    EXPECT_TRUE(KeepsSettings(File(true, false, true), UnwritableSettings::Kept));
    EXPECT_TRUE(KeepsSettings(File(true, false, true), UnwritableSettings::PassedOver));
    // The same file in a folder that takes no file (Program Files on Windows).
    EXPECT_TRUE(KeepsSettings(File(true, false, false), UnwritableSettings::Kept));
    EXPECT_FALSE(KeepsSettings(File(true, false, false), UnwritableSettings::PassedOver));
}

}  // namespace
